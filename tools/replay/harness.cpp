#include "tools/replay/harness.h"

#include <utility>

#include "app/script_feed.h"
#include "game/engine.h"
#include "game/globals.h"
#include "game/host_hooks.h"
#include "game/mainloop.h"
#include "kelvora/system/hook.h"
#include "render/recording_rast2d_driver.h"
#include "render/renderer_choice.h"
#include "system/scripted_joystick.h"
#include "system/scripted_system_driver.h"
#include "tools/replay/replay_audio.h"

struct game_harness::parts {
    std::shared_ptr<TVirtualClock> clock;
    std::shared_ptr<TScriptedSystemDriver> system;
    std::shared_ptr<TScriptedJoystickSystem> joystick;
    std::unique_ptr<script_feed> feed;  // the same delivery as the program's --replay
    std::unique_ptr<replay_audio> audio;
    std::vector<replay_event> events;
};

namespace {

// Raised by the frame hook when the frames asked for have been presented.
struct frames_done {};

game_harness* current_harness = nullptr;

}  // namespace

// The flip hook reaches the running harness through current_harness.
struct harness_flip {
    static THookData hook(int, THookData data, THookData)
    {
        if (current_harness)
            current_harness->on_flip();
        return data;
    }
};

game_harness::game_harness(harness_setup setup, std::vector<replay_event> events)
    : setup_(std::move(setup)), parts_(std::make_unique<parts>())
{
    parts_->events = std::move(events);
}

game_harness::~game_harness() = default;

void game_harness::frame_start()
{
    parts_->audio->pull_until_now();
    // The state after a frame is the state before the next one begins.
    if (between_frames)
        between_frames(frame_);
    if (frame_ >= setup_.frames)
        throw frames_done{};
    ++frame_;
    flip_armed_ = true;
    if (recorder_)
        recorder_->ClearCalls();  // the log would otherwise grow with every frame
    parts_->feed->frame_start(frame_);
}

// While the game waits suspended no frame is drawn, so the next scripted
// frame's events are delivered at once (or the wait would never end).
void game_harness::idle()
{
    parts_->audio->pull(5);
    if (!parts_->feed->idle()) {
        // Nothing scripted could end this wait: the focus comes back and
        // the joystick's buttons are let go, so the run never hangs.
        parts_->system->QueueFocus(true);
        parts_->joystick->Dev(parts_->feed->joy_id()).state.buttons = 0;
    }
}

void game_harness::on_flip()
{
    if (!flip_armed_)
        return;
    flip_armed_ = false;
    if (presenting)
        presenting(frame_);
}

int game_harness::run()
{
    parts& p = *parts_;
    p.clock = std::make_shared<TVirtualClock>(setup_.clock_ms);
    SetClock(p.clock);
    p.system = std::make_shared<TScriptedSystemDriver>();
    SetSystemDriver(p.system);
    p.joystick = std::make_shared<TScriptedJoystickSystem>();
    const int pad = p.joystick->AddDevice(2, 4);
    SetJoystickSystem(p.joystick);
    p.feed = std::make_unique<script_feed>(std::move(p.events), *p.system, *p.joystick, pad);
    p.audio = std::make_unique<replay_audio>(*p.clock, setup_.audio);

    start_engine_services();
    p.audio->install();
    // gl is the fixed-function driver; core and es the shader driver on
    // those contexts; each forced, whatever the environment says.
    if (setup_.driver == "gl")
        InitRast2DDriver({TRenderer::Legacy});
    else if (setup_.driver == "core")
        InitRast2DDriver({TRenderer::Core});
    else if (setup_.driver == "es")
        InitRast2DDriver({TRenderer::ES});
    if (setup_.driver == "record") {
        // Its grabs read the sprite sheet start-up draws, so masks and hits are the real ones.
        recorder_ = new TRecordingRast2DDriver();
        SetGraphicsDriver(recorder_, GFX_BACKBUFFER);
    }

    // The hooks refer to this harness: they go however the run ends.
    struct unhook {
        bool done = false;
        void now()
        {
            if (done)
                return;
            done = true;
            game_hooks = {};
            RemoveHook(FlipHook(), harness_flip::hook, nullptr);
            current_harness = nullptr;
        }
        ~unhook() { now(); }
    } hooks;
    current_harness = this;
    AddHook(FlipHook(), harness_flip::hook, nullptr, 0);
    game_hooks.frame_start = [this] { frame_start(); };
    game_hooks.idle = [this] { idle(); };

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
    p.audio->pull_until_now();
    hooks.now();

    if (at_end)
        at_end(frame_);
    p.audio->finish();
    // Images and sounds go while their drivers still exist.
    reset_globals();
    return status;
}
