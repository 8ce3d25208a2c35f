// Replays the game from a script, deterministically: the real start-up and
// main loop on virtual time, scripted input, a chosen 2D driver and captured
// audio (tools/replay/harness.h). Writes screenshots, the mixed audio, a
// final state dump and, when asked, the run as a recording the program and
// the score server replay.
#if __has_include(<sys/resource.h>)
#include <sys/resource.h>
#define KV_HAVE_RUSAGE 1
#endif
#include <time.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/recorded_run.h"
#include "game/engine.h"
#include "game/globals.h"
#include "game/player.h"
#include "game/qvdraw.h"
#include "runtime/program.h"
#include "runtime/utf8_path.h"
#include "tools/replay/harness.h"
#include "tools/replay/replay_draw_log.h"
#include "tools/replay/replay_png.h"
#include "tools/replay/replay_script.h"

using namespace kelvora;

namespace {

struct options {
    int frames = 0;
    std::string script;
    int clock_ms = 0;
    std::string driver = "gl";
    std::string dir;
    std::map<int, std::vector<std::string>> shots;
    std::string audio;
    std::string state;
    std::map<int, std::vector<std::string>> states_at;
    int timing_from = 0;  // 0: no timing figures
    std::map<int, std::vector<std::string>> draw_logs;
    std::string recording;
};

using steady = std::chrono::steady_clock;
const steady::time_point program_start = steady::now();

double thread_cpu_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

const char* const USAGE =
    "usage: replay --frames N [--script FILE] [--clock MS] [--driver gl|record|core|es] [--dir DIR]\n"
    "              [--shot FRAME:FILE.png]... [--audio FILE.wav] [--state FILE.json]\n"
    "              [--state-at FRAME:FILE.json]... [--timing FROM_FRAME]\n"
    "              [--draw-log FRAME:FILE.txt]... [--recording FILE]\n";

[[noreturn]] void usage_error(const std::string& text)
{
    throw std::runtime_error(text + "\n" + USAGE);
}

int to_int(const std::string& s, const char* what)
{
    try {
        size_t used = 0;
        const int v = std::stoi(s, &used);
        if (used == s.size())
            return v;
    } catch (const std::exception&) {
    }
    usage_error(std::string("bad ") + what + ": \"" + s + "\"");
}

options parse_args(int argc, char** argv)
{
    options o;
    bool have_frames = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage_error(arg + " needs a value");
            return argv[++i];
        };
        // FRAME:FILE options, repeatable.
        auto add_frame_file = [&](std::map<int, std::vector<std::string>>& to, const char* file) {
            const std::string v = value();
            const size_t colon = v.find(':');
            if (colon == std::string::npos || colon + 1 >= v.size())
                usage_error(arg + " is FRAME:" + file);
            to[to_int(v.substr(0, colon), "frame")].push_back(v.substr(colon + 1));
        };
        if (arg == "--frames") {
            o.frames = to_int(value(), "frame count");
            have_frames = o.frames >= 1;
        } else if (arg == "--script") {
            o.script = value();
        } else if (arg == "--clock") {
            o.clock_ms = to_int(value(), "clock");
        } else if (arg == "--driver") {
            o.driver = value();
            if (o.driver != "gl" && o.driver != "record" && o.driver != "core" && o.driver != "es")
                usage_error("--driver is gl, record, core or es");
        } else if (arg == "--dir") {
            o.dir = value();
        } else if (arg == "--shot") {
            add_frame_file(o.shots, "FILE.png");
        } else if (arg == "--audio") {
            o.audio = value();
        } else if (arg == "--state") {
            o.state = value();
        } else if (arg == "--state-at") {
            add_frame_file(o.states_at, "FILE.json");
        } else if (arg == "--draw-log") {
            add_frame_file(o.draw_logs, "FILE.txt");
        } else if (arg == "--recording") {
            o.recording = value();
        } else if (arg == "--timing") {
            o.timing_from = to_int(value(), "timing frame");
        } else {
            usage_error("unknown argument " + arg);
        }
    }
    if (!have_frames)
        usage_error("--frames N (1 or more) is needed");
    if (!o.shots.empty() && o.driver == "record")
        usage_error("screenshots need an OpenGL driver (gl, core or es)");
    if (!o.draw_logs.empty() && o.driver != "record")
        usage_error("draw logs need --driver record");
    return o;
}

// Paths given on the command line stay relative to where the tool started,
// even though the game runs in --dir.
std::string absolute(const std::string& path, const std::string& base)
{
    if (path.empty() || path[0] == '/' || (path.size() > 2 && path[1] == ':'))
        return path;
    return base + "/" + path;
}

struct replay_run;
void write_state(const replay_run& run, const std::string& path);

struct replay_run {
    options opt;
    std::unique_ptr<game_harness> harness;
    int frame = 0;  // frames presented so far
    replay_draw_log draw_log;

    // Timing: wall and main-thread CPU time of the frames from timing_from on.
    double first_frame_ms = -1;
    steady::time_point first_frame_at;
    steady::time_point timed_start;
    double timed_cpu_start = 0;
    int timed_frames = 0;

    // For --recording: the saved values the game started from, as it read them.
    bool started = false;
    int start_best = 0;
    int start_mode3d = 0;

    void timing_mark()
    {
        if (opt.timing_from > 0 && frame + 1 == opt.timing_from) {
            timed_start = steady::now();
            timed_cpu_start = thread_cpu_ms();
        }
        if (opt.timing_from > 0 && frame >= opt.timing_from)
            ++timed_frames;
    }

    void print_timing() const
    {
        if (opt.timing_from <= 0)
            return;
        const double wall = std::chrono::duration<double, std::milli>(steady::now() - timed_start).count();
        const double cpu = thread_cpu_ms() - timed_cpu_start;
        std::printf("start_to_first_frame_ms %.1f\n", first_frame_ms);
        // On the monotonic clock, for a parent timing from before the launch.
        std::printf("first_frame_at_ms %.1f\n",
                    std::chrono::duration<double, std::milli>(first_frame_at.time_since_epoch()).count());
        std::printf("timed_frames %d\n", timed_frames);
        if (timed_frames > 0) {
            std::printf("wall_us_per_frame %.1f\n", wall * 1000 / timed_frames);
            std::printf("main_thread_cpu_us_per_frame %.1f\n", cpu * 1000 / timed_frames);
        }
#ifdef KV_HAVE_RUSAGE
        rusage ru{};
        getrusage(RUSAGE_SELF, &ru);
        std::printf("peak_rss_mb %.1f\n", ru.ru_maxrss / 1024.0);
#endif
    }

    void between_frames(int presented)
    {
        frame = presented;
        if (!started) {
            // Loaded before the first frame, as a recording run notes them.
            started = true;
            start_best = player ? player->best_sc : 0;
            start_mode3d = mode3d;
        }
        timing_mark();
        if (frame == 1 && first_frame_ms < 0) {
            // Frame 1 has been presented.
            first_frame_at = steady::now();
            first_frame_ms = std::chrono::duration<double, std::milli>(first_frame_at - program_start).count();
        }
        const auto due = opt.states_at.find(frame);
        if (due != opt.states_at.end())
            for (const auto& file : due->second)
                write_state(*this, file);
        if (frame < opt.frames && harness->recorder()) {
            // What the recorder holds now is the frame just presented.
            const auto logs = opt.draw_logs.find(frame);
            if (logs != opt.draw_logs.end())
                for (const auto& file : logs->second)
                    draw_log.append(*harness->recorder(), frame, file);
        }
    }

    void presenting(int presented)
    {
        const auto it = opt.shots.find(presented);
        if (it != opt.shots.end()) {
            auto pixmap = GrabPixmap(0, 0, 640, 480);
            for (const auto& file : it->second)
                write_png(pixmap, file);
        }
    }
};

void write_state(const replay_run& run, const std::string& path)
{
    std::ofstream out(Utf8Path(path), std::ios::binary);  // "\n" alone on every system
    if (!out)
        throw std::runtime_error("cannot write " + path);
    auto num = [&](const char* name, double v, bool last = false) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.9g", v);
        out << "  \"" << name << "\": " << buf << (last ? "\n" : ",\n");
    };
    out << "{\n";
    num("frame", run.frame);
    num("game_state", game_state);
    num("quit_game", quit_game);
    num("mode3d", mode3d);
    num("retro_fx", retro_fx);
    num("sound_step", sound_step);
    num("music_step", music_step);
    num("score", player ? player->score : 0);
    num("best_sc", player ? player->best_sc : 0);
    num("new_bs", player ? player->new_bs : 0);
    num("aliens_left", aliens_left);
    num("aliens_killed", aliens_killed);
    num("aliens_escaped", aliens_escaped);
    num("shots_fired", shots_fired);
    num("shots_wasted", shots_wasted);
    num("wasted_penalty", wasted_penalty);
    num("escaped_penalty", escaped_penalty);
    num("final_score", final_score);
    num("survival_chance", survival_chance);
    num("results_delay", results_delay);
    num("spawn_delay", spawn_delay);
    num("spawn_tmr", spawn_tmr);
    num("mount_x1", mount_x1);
    num("mount_x2", mount_x2);
    num("scroll_dir", scroll_dir);
    num("shot_list", shot_list.size());
    num("alien_list", alien_list.size());
    num("part_list", part_list.size());
    num("points_list", points_list.size());
    num("surface_list", surface_list.size());
    num("leye_r", qvdraw ? qvdraw->leye_r : 0);
    num("leye_g", qvdraw ? qvdraw->leye_g : 0);
    num("leye_b", qvdraw ? qvdraw->leye_b : 0);
    num("reye_r", qvdraw ? qvdraw->reye_r : 0);
    num("reye_g", qvdraw ? qvdraw->reye_g : 0);
    num("reye_b", qvdraw ? qvdraw->reye_b : 0);
    num("rnd_seed", rnd_seed, true);
    out << "}\n";
}

// The script's event lines in the order they play, as a recording holds them.
std::vector<std::string> event_lines(const std::string& script, const std::vector<replay_event>& events)
{
    std::vector<std::string_view> lines;
    std::string_view rest(script);
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        lines.push_back(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    std::vector<std::string> out;
    out.reserve(events.size());
    for (const auto& e : events) {
        std::string_view line = lines.at(static_cast<size_t>(e.line - 1));
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
            line.remove_suffix(1);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front())))
            line.remove_prefix(1);
        out.emplace_back(line);
    }
    return out;
}

int run_replay(int argc, char** argv)
{
    replay_run run;
    run.opt = parse_args(argc, argv);
    std::error_code ec;
    const std::string here = PathUtf8(std::filesystem::current_path(ec));
    const std::string cwd = here.empty() ? std::string(".") : here;
    for (auto& [frame, files] : run.opt.shots)
        for (auto& f : files)
            f = absolute(f, cwd);
    for (auto* per_frame : {&run.opt.states_at, &run.opt.draw_logs})
        for (auto& [frame, files] : *per_frame)
            for (auto& f : files)
                f = absolute(f, cwd);
    run.opt.audio = absolute(run.opt.audio, cwd);
    run.opt.state = absolute(run.opt.state, cwd);
    run.opt.recording = absolute(run.opt.recording, cwd);
    std::string script;
    std::vector<replay_event> events;
    if (!run.opt.script.empty()) {
        script = read_script_file(absolute(run.opt.script, cwd), "script");
        events = parse_replay_script(script);
    }
    // The recording is written at the end; a place it cannot go fails now.
    std::ofstream recording;
    std::vector<std::string> lines;
    std::vector<int> line_frames;
    if (!run.opt.recording.empty()) {
        recording.open(Utf8Path(run.opt.recording), std::ios::binary | std::ios::trunc);
        if (!recording)
            throw std::runtime_error("cannot write " + run.opt.recording);
        lines = event_lines(script, events);
        for (const auto& e : events)
            line_frames.push_back(e.frame);
    }
    if (!run.opt.dir.empty() && !SetWorkingDirectory(run.opt.dir))
        throw std::runtime_error("cannot enter " + run.opt.dir);

    harness_setup setup;
    setup.frames = run.opt.frames;
    setup.clock_ms = run.opt.clock_ms;
    setup.driver = run.opt.driver;
    setup.audio = run.opt.audio;
    run.harness = std::make_unique<game_harness>(setup, std::move(events));
    run.harness->between_frames = [&run](int frame) { run.between_frames(frame); };
    run.harness->presenting = [&run](int frame) { run.presenting(frame); };
    recording_info info;
    run.harness->at_end = [&](int frame) {
        run.frame = frame;
        run.print_timing();
        if (!run.opt.state.empty())
            write_state(run, run.opt.state);
        if (recording.is_open()) {
            info.version = program_version();
            info.system = program_system();
            info.clock_ms = run.opt.clock_ms;
            info.best_score = run.start_best;
            info.mode3d = run.start_mode3d;
            info.frames = frame;
            info.final_state = game_state_values(frame);
        }
    };
    const int status = run.harness->run();
    if (recording.is_open()) {
        // What the script held for frames the run never reached, it never played.
        size_t played = 0;
        while (played < lines.size() && line_frames[played] <= info.frames)
            ++played;
        lines.resize(played);
        const std::string text = make_recording(info, lines);
        recording.write(text.data(), static_cast<std::streamsize>(text.size()));
        recording.close();
        if (!recording)
            throw std::runtime_error("could not write " + run.opt.recording);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    return RunGuarded([&] {
        try {
            return run_replay(argc, argv);
        } catch (const std::runtime_error& e) {
            if (dynamic_cast<const TRuntimeException*>(&e))
                throw;
            std::fprintf(stderr, "replay: %s\n", e.what());
            return 2;
        }
    });
}
