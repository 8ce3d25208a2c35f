// Recordings and input scripts as players share them: the checker and the
// parser on any bytes, and what they accept delivered as a replay delivers
// it, through the event translation into the game's input tables and pads.
// A recording's check is a plain hash, so anyone can seal a crafted one: an
// input that starts like a recording is also tried sealed, which opens its
// header and footer to the fuzzer.
#include <cinttypes>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/input_script.h"
#include "app/script_feed.h"
#include "game/saved_values.h"
#include "kelvora/system/input.h"
#include "kelvora/system/joystick.h"
#include "system/pointer_mapping.h"
#include "system/scripted_joystick.h"
#include "system/scripted_system_driver.h"
#include "fuzz/sealed_recording.h"

using namespace kelvora;

namespace {

void expect(bool holds)
{
    if (!holds)
        __builtin_trap();
}

void replay(const std::string& text)
{
    try {
        const recording_info info = check_recording(text);
        expect(info.frames >= 0 && info.frames <= MAX_SCRIPT_FRAMES);
        expect(info.best_score >= 0 && info.best_score <= MAX_GAME_SCORE);
        expect(info.mode3d >= 0 && info.mode3d <= 4);
    } catch (const std::runtime_error&) {
    }
    std::vector<replay_event> events;
    try {
        events = parse_replay_script(text);
    } catch (const std::runtime_error&) {
        return;
    }
    for (const replay_event& e : events) {
        expect(e.frame >= 1 && e.frame <= MAX_SCRIPT_FRAMES);
        if (e.what == "mouse move")
            expect(e.a >= -MAX_SCRIPT_POINTER && e.a <= MAX_SCRIPT_POINTER && e.b >= -MAX_SCRIPT_POINTER &&
                   e.b <= MAX_SCRIPT_POINTER);
        if (e.what == "joy axis")
            expect(e.a >= 0 && e.a <= 1 && e.value >= -1.0 && e.value <= 1.0);
    }

    // The largest scale a display gives, so pointer positions meet the
    // widest conversion to window pixels.
    SetPointerMapping({nullptr, 32.0, 160.0, 0.0});
    auto system = std::make_shared<TScriptedSystemDriver>();
    auto pads = std::make_shared<TScriptedJoystickSystem>();
    SetSystemDriver(system);
    SetJoystickSystem(pads);
    FlushKeys();
    FlushMouse();
    std::vector<int> frames;  // those with events: the frames between give nothing
    for (const replay_event& e : events)
        if (frames.empty() || frames.back() != e.frame)
            frames.push_back(e.frame);
    script_feed feed(std::move(events), *system, *pads, pads->AddDevice(2, 4));
    long long seen = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (i % 3 == 2)
            feed.idle();  // a wait that draws nothing: the next frame's events at once
        else
            feed.frame_start(frames[i]);
        JoyCount();
        seen += MouseX() + MouseY() + MouseZ() + KeyHit(KEY_SPACE) + MouseHit(1) + JoyHit(0) + GetChar();
        seen += static_cast<long long>(JoyX() * 100);
    }
    expect(feed.done());
    (void)seen;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    EnablePolledInput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    replay(text);
    if (is_recording(text)) {
        const std::string again = sealed_recording(text);
        if (again != text)
            replay(again);
    }
    return 0;
}
