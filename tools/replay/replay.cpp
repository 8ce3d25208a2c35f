// Replays the game from a script, deterministically: the real start-up and
// main loop on virtual time, scripted input, a chosen 2D driver and captured
// audio. Writes screenshots, the mixed audio and a final state dump.
#if __has_include(<sys/resource.h>)
#include <sys/resource.h>
#define KV_HAVE_RUSAGE 1
#endif
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "game/engine.h"
#include "render/recording_rast2d_driver.h"
#include "render/renderer_choice.h"
#include "kelvora/system/hook.h"
#include "system/scripted_joystick.h"
#include "system/scripted_system_driver.h"
#include "game/globals.h"
#include "game/host_hooks.h"
#include "game/mainloop.h"
#include "game/player.h"
#include "game/qvdraw.h"
#include "app/script_feed.h"
#include "runtime/program.h"
#include "runtime/utf8_path.h"
#include "tools/replay/replay_audio.h"
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
};

using steady = std::chrono::steady_clock;
const steady::time_point program_start = steady::now();

double thread_cpu_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Raised by the frame hook when the frames asked for have been presented.
struct frames_done {};

const char* const USAGE =
    "usage: replay --frames N [--script FILE] [--clock MS] [--driver gl|record|core|es] [--dir DIR]\n"
    "              [--shot FRAME:FILE.png]... [--audio FILE.wav] [--state FILE.json]\n"
    "              [--state-at FRAME:FILE.json]... [--timing FROM_FRAME]\n"
    "              [--draw-log FRAME:FILE.txt]...\n";

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
    std::vector<replay_event> events;
    std::unique_ptr<script_feed> feed;  // the same delivery as the program's --replay
    int frame = 0;           // frames begun so far
    bool flip_armed = false; // the next Flip is the one of `frame`
    std::shared_ptr<TVirtualClock> clock;
    std::shared_ptr<TScriptedSystemDriver> system;
    std::shared_ptr<TScriptedJoystickSystem> joystick;
    std::unique_ptr<replay_audio> audio;
    TRecordingRast2DDriver* recorder = nullptr;  // lives to program exit, like any driver
    replay_draw_log draw_log;

    // Timing: wall and main-thread CPU time of the frames from timing_from on.
    double first_frame_ms = -1;
    steady::time_point first_frame_at;
    steady::time_point timed_start;
    double timed_cpu_start = 0;
    int timed_frames = 0;

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

    void on_frame_start()
    {
        timing_mark();
        if (frame == 1 && first_frame_ms < 0) {
            // Frame 1 has been presented.
            first_frame_at = steady::now();
            first_frame_ms = std::chrono::duration<double, std::milli>(first_frame_at - program_start).count();
        }
        // The state after a frame is the state before the next one begins.
        const auto due = opt.states_at.find(frame);
        if (due != opt.states_at.end())
            for (const auto& file : due->second)
                write_state(*this, file);
        if (frame >= opt.frames)
            throw frames_done{};
        if (recorder) {
            // What the recorder holds now is the frame just presented.
            const auto logs = opt.draw_logs.find(frame);
            if (logs != opt.draw_logs.end())
                for (const auto& file : logs->second)
                    draw_log.append(*recorder, frame, file);
        }
        ++frame;
        flip_armed = true;
        if (recorder)
            recorder->ClearCalls();  // the log would otherwise grow with every frame
        feed->frame_start(frame);
    }

    // While the game waits suspended no frame is drawn, so the next scripted
    // frame's events are delivered at once (or the wait would never end).
    void on_idle()
    {
        audio->pull(5);
        if (!feed->idle()) {
            // Nothing scripted could end this wait: the focus comes back and
            // the joystick's buttons are let go, so the run never hangs.
            system->QueueFocus(true);
            joystick->Dev(feed->joy_id()).state.buttons = 0;
        }
    }

    void on_flip()
    {
        if (!flip_armed)
            return;
        flip_armed = false;
        const auto it = opt.shots.find(frame);
        if (it != opt.shots.end()) {
            auto pixmap = GrabPixmap(0, 0, 640, 480);
            for (const auto& file : it->second)
                write_png(pixmap, file);
        }
    }
};

replay_run* current_run = nullptr;

THookData flip_hook(int, THookData data, THookData)
{
    if (current_run)
        current_run->on_flip();
    return data;
}

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
    if (!run.opt.script.empty())
        run.events = parse_replay_script(read_script_file(absolute(run.opt.script, cwd), "script"));
    if (!run.opt.dir.empty() && !SetWorkingDirectory(run.opt.dir))
        throw std::runtime_error("cannot enter " + run.opt.dir);

    run.clock = std::make_shared<TVirtualClock>(run.opt.clock_ms);
    SetClock(run.clock);
    run.system = std::make_shared<TScriptedSystemDriver>();
    SetSystemDriver(run.system);
    run.joystick = std::make_shared<TScriptedJoystickSystem>();
    const int pad = run.joystick->AddDevice(2, 4);
    SetJoystickSystem(run.joystick);
    run.feed = std::make_unique<script_feed>(run.events, *run.system, *run.joystick, pad);
    run.audio = std::make_unique<replay_audio>(*run.clock, run.opt.audio);

    start_engine_services();
    run.audio->install();
    // gl is the fixed-function driver; core and es the shader driver on
    // those contexts; each forced, whatever the environment says.
    if (run.opt.driver == "gl")
        InitRast2DDriver({TRenderer::Legacy});
    else if (run.opt.driver == "core")
        InitRast2DDriver({TRenderer::Core});
    else if (run.opt.driver == "es")
        InitRast2DDriver({TRenderer::ES});
    if (run.opt.driver == "record") {
        // Its grabs read the sprite sheet start-up draws, so masks and hits are the real ones.
        run.recorder = new TRecordingRast2DDriver();
        SetGraphicsDriver(run.recorder, GFX_BACKBUFFER);
    }
    current_run = &run;
    AddHook(FlipHook(), flip_hook, nullptr, 0);
    game_hooks.frame_start = [&run] {
        run.audio->pull_until_now();
        run.on_frame_start();
    };
    game_hooks.idle = [&run] { run.on_idle(); };

    int status = 0;
    try {
        if (!game_startup()) {
            status = 1;
        } else {
            do {
                game_frame();
            } while (quit_game == 0);
            game_shutdown();
        }
    } catch (const frames_done&) {
        // The frames asked for are presented; the run stops like a killed program.
    }
    run.audio->pull_until_now();
    run.print_timing();
    game_hooks = {};
    RemoveHook(FlipHook(), flip_hook, nullptr);
    current_run = nullptr;

    if (!run.opt.state.empty())
        write_state(run, run.opt.state);
    run.audio->finish();
    // Images and sounds go while their drivers still exist.
    reset_globals();
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
