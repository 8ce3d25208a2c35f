// Replaying a recorded run in this process: the harness's headless game on
// the recording's virtual clock, from the saved values its header names.
#include "server/verify/verify.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <system_error>

#include "app/platform.h"
#include "app/recorded_run.h"
#include "game/globals.h"
#include "game/saved_values.h"
#include "tools/replay/harness.h"

namespace fs = std::filesystem;

namespace {

// The sounds the game loads (game/mainloop.cpp, game/cues.cpp): a replay
// without them would not be the game the player played.
const char* const GAME_SOUNDS[] = {"alienhit.ogg", "alienmiss.ogg", "endgame.ogg", "kelvora.ogg",
                                   "laserfire.ogg", "moontitle.ogg", "newgame.ogg"};

// Text from an error for a reason: no control characters, cut short.
std::string shown(const std::string& s, size_t most = 200) { return shown_text(s, most); }

std::string minutes(int frames)
{
    return std::to_string(static_cast<int>(std::lround(frames / 3600.0)));
}

// Removes the scratch folder and puts back the working directory and the
// saved values' place, however the replay ends.
struct replay_place {
    std::string scratch;
    fs::path cwd;
    saved_values_place values = current_saved_values_place();
    ~replay_place()
    {
        std::error_code ec;
        if (!cwd.empty())
            fs::current_path(cwd, ec);
        use_saved_values_place(values);
        if (!scratch.empty())
            fs::remove_all(scratch, ec);
    }
};

// Sets up the scratch folder and plays; throws on the worker's own failures
// (worker_error) and lets the game's errors through.
struct worker_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void play(const std::string& text, const std::string& data_dir, const verify_limits& limits, run_verdict& v)
{
    recording_info info;
    v.reason = precheck_recording(text, limits, &info);
    v.version = info.version;
    v.system = info.system;
    v.frames = info.frames;
    if (!v.reason.empty())
        return;
    const std::string data_problem = check_game_data(data_dir);
    if (!data_problem.empty())
        throw worker_error(data_problem);
    std::error_code ec;
    const fs::path sounds = fs::absolute(data_dir, ec);
    if (ec)
        throw worker_error("cannot find the game's data folder " + data_dir + ": " + ec.message());

    replay_place place;
    std::string why;
    place.scratch = make_scratch_folder(why);
    if (place.scratch.empty())
        throw worker_error("cannot make a scratch folder: " + why);
    const fs::path data = fs::path(place.scratch) / "data";
    fs::create_directory(data);
    for (const auto& entry : fs::directory_iterator(sounds))
        if (entry.path().extension() == ".ogg" && entry.is_regular_file())
            fs::create_symlink(entry.path(), data / entry.path().filename());
    // The values the run started from, as the game reads them.
    if (!save_int_file((data / "hiscore.dat").c_str(), info.best_score) ||
        !save_int_file((data / "anaglyph3d.dat").c_str(), info.mode3d))
        throw worker_error("cannot write the saved values into " + data.string());
    place.cwd = fs::current_path();
    fs::current_path(place.scratch);
    use_saved_values_place({"data", ""});

    harness_setup setup;
    setup.frames = info.frames;  // stops when frame frames + 1 would begin
    setup.clock_ms = info.clock_ms;
    setup.driver = "record";
    game_harness harness(setup, parse_replay_script(text));
    // A game completed when the results screen comes up.
    bool in_results = false;
    auto note_results = [&] {
        const bool now = game_state == STATE_RESULTS;
        if (now && !in_results)
            v.scores.push_back(final_score);
        in_results = now;
    };
    harness.between_frames = [&](int) { note_results(); };
    std::map<std::string, double> end;
    harness.at_end = [&](int frame) {
        note_results();
        end = game_state_values(frame);
    };
    if (harness.run() != 0)
        throw worker_error("the game could not start");

    std::string differences;
    for (const auto& [name, value] : info.final_state) {
        if (name == "sound_step" || name == "music_step")
            continue;  // a run played with --mute starts them at Off, the replay does not
        const auto it = end.find(name);
        if (it == end.end() || static_cast<float>(it->second) != static_cast<float>(value))
            differences += " " + name;
    }
    if (!differences.empty()) {
        v.reason = "the replay ended differently from the recorded run";
        v.detail = "differs:" + shown(differences, 400);
        v.scores.clear();
        return;
    }
    v.verified = true;
}

}  // namespace

std::string precheck_recording(const std::string& text, const verify_limits& limits, recording_info* info)
{
    try {
        if (text.empty())
            return "this recording cannot be replayed: it is empty";
        const recording_info got = check_recording(text);  // its size too
        if (info)
            *info = got;
        if (got.frames > limits.max_frames)
            return "this run is " + std::to_string(got.frames) + " frames long (about " + minutes(got.frames) +
                   " minutes) and the table takes runs of at most " + std::to_string(limits.max_frames) +
                   " frames (about " + minutes(limits.max_frames) + " minutes)";
        if (got.final_state.empty())
            return "this recording cannot be replayed: its footer lacks the state the run ended in";
        parse_replay_script(text);
        return {};
    } catch (const std::bad_alloc&) {
        return "this recording is too large to read";
    } catch (const std::exception& e) {
        const std::string what = e.what();
        if (what.rfind("this recording", 0) == 0)
            return shown(what);
        return "this recording cannot be replayed: " + shown(what);
    }
}

std::string check_game_data(const std::string& data_dir)
{
    std::error_code ec;
    if (!fs::is_directory(data_dir, ec))
        return "the game's data folder " + data_dir + " does not exist";
    std::string missing;
    for (const char* name : GAME_SOUNDS)
        if (!fs::is_regular_file(fs::path(data_dir) / name, ec))
            missing += std::string(missing.empty() ? "" : ", ") + name;
    if (!missing.empty())
        return "the game's data folder " + data_dir + " lacks its sounds (" + missing + ")";
    return {};
}

run_verdict replay_recording(const std::string& text, const std::string& data_dir, const verify_limits& limits)
{
    run_verdict v;
    const auto reject = [&v](const std::string& reason) {
        v.verified = false;
        v.scores.clear();
        v.reason = reason;
    };
    try {
        play(text, data_dir, limits, v);
    } catch (const worker_error& e) {
        reject("the server could not replay it");
        v.worker_fault = true;
        v.detail = shown(e.what(), 400);
    } catch (const fs::filesystem_error& e) {
        reject("the server could not replay it");
        v.worker_fault = true;
        v.detail = shown(e.what(), 400);
    } catch (const std::bad_alloc&) {
        reject("replaying it took more memory than the server allows");
    } catch (const std::exception& e) {
        reject("the game stopped with an error while replaying it");
        v.detail = shown(e.what(), 400);
    } catch (...) {
        reject("the game stopped with an error while replaying it");
    }
    return v;
}
