#include "app/session_recording.h"

#include "app/recorded_run.h"
#include "game/globals.h"
#include "game/host_hooks.h"
#include "game/player.h"

using namespace kelvora;

session_recording::session_recording(std::shared_ptr<TSystemDriver> system, std::shared_ptr<TJoystickSystem> joysticks,
                                     int clock_ms)
    : recorder_(std::move(system), std::move(joysticks))
{
    info_.version = program_version();
    info_.system = program_system();
    info_.clock_ms = clock_ms;
    SetSystemDriver(recorder_.SystemDriver());
    SetJoystickSystem(recorder_.JoystickSystem());
    // The program's own frame hook (the state log, the page's) runs first.
    game_hooks.frame_start = [this, host = std::move(game_hooks.frame_start)] {
        if (host)
            host();
        if (!started_) {
            // Loaded before the first frame, as the harness loads them.
            started_ = true;
            info_.best_score = player ? player->best_sc : 0;
            info_.mode3d = mode3d;
        }
        // The game that ended in the last frame is in the recording so far.
        const bool in_results = game_state == STATE_RESULTS;
        if (in_results && !in_results_ && on_game_end)
            on_game_end(so_far(), final_score);
        in_results_ = in_results;
        recorder_.BeginFrame();
    };
    game_hooks.idle = [this, host = std::move(game_hooks.idle)] {
        if (host)
            host();
        recorder_.IdleTurn();
    };
}

session_recording::~session_recording() { game_hooks = {}; }

std::string session_recording::make(int frames) const
{
    recording_info info = info_;
    info.frames = frames;
    info.final_state = game_state_values(frames);
    return make_recording(info, recorder_.Lines());
}

std::string session_recording::so_far() const { return make(recorder_.Frame()); }

void session_recording::note_end() { ended_ = make(recorder_.Frame()); }
