#include "app/recorded_run.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "game/engine.h"
#include "kelvora/io/filesystem.h"
#include "game/globals.h"
#include "game/host_hooks.h"
#include "app/input_script.h"
#include "app/platform.h"
#include "game/mainloop.h"
#include "game/player.h"
#include "game/qvdraw.h"
#include "game/saved_values.h"
#include "app/script_feed.h"
#include "app/session_recording.h"
#include "kelvora/system/event.h"
#include "kelvora/system/hook.h"
#include "kelvora/system/joystick.h"
#include "system/paced_clock.h"
#include "system/scripted_joystick.h"
#include "system/scripted_system_driver.h"
#include "runtime/utf8_path.h"

using namespace kelvora;

namespace {

// Replaying: the game reads the scripted driver, while the window's own
// events are pumped and kept from it; Escape or the close button there
// asks the replay to stop.
bool stop_asked = false;
bool swallowing = false;

THookData swallow_event(int, THookData data, THookData)
{
    auto* ev = static_cast<TEvent*>(data.get());
    if (!swallowing || !ev)
        return data;
    if (ev->id == EVENT_APPTERMINATE || (ev->id == EVENT_KEYDOWN && ev->data == 27))
        stop_asked = true;
    return nullptr;
}

// The script's input; the window's own services (message boxes and the like).
class TReplayDriver : public TSystemDriverWrapper {
public:
    TReplayDriver(std::shared_ptr<TScriptedSystemDriver> script, std::shared_ptr<TSystemDriver> window)
        : TSystemDriverWrapper(std::move(window)), script_(std::move(script))
    {
    }
    void Poll() override
    {
        swallowing = true;
        inner_->Poll();
        swallowing = false;
        script_->Poll();
    }
    void Wait() override { Poll(); }
    void MoveMouse(int x, int y) override { script_->MoveMouse(x, y); }
    void SetMouseVisible(int visible) override
    {
        script_->SetMouseVisible(visible);
        inner_->SetMouseVisible(visible);
    }

private:
    std::shared_ptr<TScriptedSystemDriver> script_;
};

// Removes the replay's scratch folder however the replay ends: a return,
// a refusal or an error on its way out.
struct scratch_folder {
    std::string path;
    ~scratch_folder()
    {
        std::error_code ec;
        if (!path.empty())
            std::filesystem::remove_all(Utf8Path(path), ec);
    }
};

}  // namespace

std::map<std::string, double> game_state_values(int frame)
{
    std::map<std::string, double> v;
    v["frame"] = frame;
    v["game_state"] = game_state;
    v["quit_game"] = quit_game;
    v["mode3d"] = mode3d;
    v["retro_fx"] = retro_fx;
    v["sound_step"] = sound_step;
    v["music_step"] = music_step;
    v["score"] = player ? player->score : 0;
    v["best_sc"] = player ? player->best_sc : 0;
    v["new_bs"] = player ? player->new_bs : 0;
    v["aliens_left"] = aliens_left;
    v["aliens_killed"] = aliens_killed;
    v["aliens_escaped"] = aliens_escaped;
    v["shots_fired"] = shots_fired;
    v["shots_wasted"] = shots_wasted;
    v["wasted_penalty"] = wasted_penalty;
    v["escaped_penalty"] = escaped_penalty;
    v["final_score"] = final_score;
    v["survival_chance"] = survival_chance;
    v["results_delay"] = results_delay;
    v["spawn_delay"] = spawn_delay;
    v["spawn_tmr"] = spawn_tmr;
    v["mount_x1"] = mount_x1;
    v["mount_x2"] = mount_x2;
    v["scroll_dir"] = scroll_dir;
    v["shot_list"] = static_cast<double>(shot_list.size());
    v["alien_list"] = static_cast<double>(alien_list.size());
    v["part_list"] = static_cast<double>(part_list.size());
    v["points_list"] = static_cast<double>(points_list.size());
    v["surface_list"] = static_cast<double>(surface_list.size());
    v["leye_r"] = qvdraw ? qvdraw->leye_r : 0;
    v["leye_g"] = qvdraw ? qvdraw->leye_g : 0;
    v["leye_b"] = qvdraw ? qvdraw->leye_b : 0;
    v["reye_r"] = qvdraw ? qvdraw->reye_r : 0;
    v["reye_g"] = qvdraw ? qvdraw->reye_g : 0;
    v["reye_b"] = qvdraw ? qvdraw->reye_b : 0;
    v["rnd_seed"] = rnd_seed;
    return v;
}

int run_recorded_game(const std::string& file, std::function<void(const std::string&, int)> on_game_end)
{
    // Fail before playing, not after a whole game.
    std::ofstream out;
    if (!file.empty()) {
        out.open(Utf8Path(file), std::ios::binary | std::ios::trunc);
        if (!out) {
            std::fprintf(stderr, "kelvora3d: cannot write the recording %s: %s\n", SystemPathText(file).c_str(),
                         std::strerror(errno));
            return 2;
        }
    }
    // The game reads time only through Delay on this clock, as it does on
    // the harness's virtual clock: the same clock start gives the same seed.
    const int clock_ms = TRealClock().Millisecs();
    SetClock(std::make_shared<TPacedClock>(clock_ms));
    session_recording session(CreateSDLSystemDriver(), CreateSDLJoystickSystem(), clock_ms);
    session.on_game_end = std::move(on_game_end);
    if (file.empty())
        return run_game();
    const int status = run_game([&] { session.note_end(); });
    const std::string text = session.at_end();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "kelvora3d: could not write the recording %s: %s\n", SystemPathText(file).c_str(),
                     std::strerror(errno));
        return status != 0 ? status : 1;
    }
    return status;
}

int replay_recorded_game(const std::string& file)
{
    recording_info info;
    std::vector<replay_event> events;
    {
        std::string text;
        try {
            text = read_script_file(file);
        } catch (const std::runtime_error& e) {
            std::fprintf(stderr, "kelvora3d: %s\n", e.what());
            return 2;
        }
        try {
            info = check_recording(text);
            events = parse_replay_script(text);
        } catch (const std::runtime_error& e) {
            std::fprintf(stderr, "kelvora3d: %s: %s\n", SystemPathText(file).c_str(), e.what());
            return 2;
        }
    }

    // The run starts from the values it was recorded with, kept in a
    // scratch folder so the player's own are neither read nor changed.
    std::string why;
    const scratch_folder scratch{make_scratch_folder(why)};
    if (scratch.path.empty()) {
        std::fprintf(stderr, "kelvora3d: cannot make a scratch folder for the replay: %s\n", why.c_str());
        return 1;
    }
    if (!save_int_file((scratch.path + "/hiscore.dat").c_str(), info.best_score) ||
        !save_int_file((scratch.path + "/anaglyph3d.dat").c_str(), info.mode3d))
        return 1;  // said on stderr; a run from other values would only end differently
    use_saved_values_place({scratch.path, ""});

    SetClock(std::make_shared<TPacedClock>(info.clock_ms));
    auto script = std::make_shared<TScriptedSystemDriver>();
    SetSystemDriver(std::make_shared<TReplayDriver>(script, CreateSDLSystemDriver()));
    auto joysticks = std::make_shared<TScriptedJoystickSystem>();
    const int pad = joysticks->AddDevice(2, 4);
    SetJoystickSystem(joysticks);
    script_feed feed(std::move(events), *script, *joysticks, pad);

    int frame = 0;
    game_hooks.frame_start = [&, host = std::move(game_hooks.frame_start)] {
        if (host)
            host();
        ++frame;
        feed.frame_start(frame);
        // Stopped by the viewer, or past the recorded end (both at most
        // MAX_SCRIPT_FRAMES, so nothing here overflows).
        if (stop_asked || frame > info.frames + 1)
            quit_game = 1;
    };
    game_hooks.idle = [&] {
        if (!feed.idle() || stop_asked) {
            // As in the harness: nothing left could end the wait.
            script->QueueFocus(true);
            joysticks->Dev(feed.joy_id()).state.buttons = 0;
        }
    };
    // The hooks refer to the locals here: they go with them, however the
    // replay ends (an error from the game included).
    AddHook(EmitEventHook(), swallow_event, nullptr, INT_MAX);
    struct unhook {
        ~unhook()
        {
            game_hooks = {};
            RemoveHook(EmitEventHook(), swallow_event, nullptr);
        }
    } unhook_on_exit;
    std::map<std::string, double> final_state;
    const int status = run_game([&] { final_state = game_state_values(frame); });
    if (status != 0 || stop_asked)
        return status;

    std::string differences;
    for (const auto& [name, value] : info.final_state) {
        if (name == "sound_step" || name == "music_step")
            continue;  // --mute may differ
        const auto it = final_state.find(name);
        if (it == final_state.end() || static_cast<float>(it->second) != static_cast<float>(value))
            differences += " " + name;
    }
    if (!differences.empty()) {
        std::fprintf(stderr, "kelvora3d: the replay of %s ended differently from the recorded run:%s\n",
                     SystemPathText(file).c_str(),
                     differences.c_str());
        return 1;
    }
    return 0;
}
