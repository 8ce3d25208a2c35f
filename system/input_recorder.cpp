#include "system/input_recorder.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "kelvora/system/event.h"
#include "kelvora/system/hook.h"

namespace kelvora {

namespace {

TInputRecorder* recording = nullptr;

// Sees every event before anyone else; logs those the polled input acts on.
THookData log_event(int, THookData data, THookData)
{
    auto* ev = static_cast<TEvent*>(data.get());
    if (!recording || !ev)
        return data;
    switch (ev->id) {
    case EVENT_KEYDOWN: recording->Log("key down " + std::to_string(ev->data)); break;
    case EVENT_KEYUP: recording->Log("key up " + std::to_string(ev->data)); break;
    case EVENT_KEYCHAR: recording->Log("char " + std::to_string(ev->data)); break;
    case EVENT_MOUSEDOWN: recording->Log("mouse down " + std::to_string(ev->data)); break;
    case EVENT_MOUSEUP: recording->Log("mouse up " + std::to_string(ev->data)); break;
    case EVENT_MOUSEMOVE:
        recording->Log("mouse move " + std::to_string(ev->x) + " " + std::to_string(ev->y));
        break;
    case EVENT_MOUSEWHEEL: recording->Log("wheel " + std::to_string(ev->data)); break;
    case EVENT_APPTERMINATE: recording->Log("close"); break;
    case EVENT_APPSUSPEND: recording->Log("suspend"); break;
    case EVENT_APPRESUME: recording->Log("resume"); break;
    default: break;  // key repeats, enter and leave: the game's input ignores them
    }
    return data;
}

class TOncePerFrameDriver : public TSystemDriverWrapper {
public:
    TOncePerFrameDriver(std::shared_ptr<TInputRecorder::gate> gate, std::shared_ptr<TSystemDriver> real)
        : TSystemDriverWrapper(std::move(real)), gate_(std::move(gate))
    {
    }

    void Poll() override
    {
        if (gate_->recording && !gate_->may_pump)
            return;
        gate_->may_pump = false;
        inner_->Poll();
    }
    // Waiting would let events in between frames; a frame's poll is all there is.
    void Wait() override { Poll(); }

private:
    std::shared_ptr<TInputRecorder::gate> gate_;
};

// The devices taken in once per frame, and port 0's device (the game reads
// no other) read once per frame; changes logged in the harness's terms. Its
// scripted pad starts centred with no button down, range 0..65535; "joy
// plug" gives it a new pad, read afresh as a device that arrives, and "joy
// unplug" takes it away.
class TOncePerFrameJoysticks : public TJoystickSystem {
public:
    TOncePerFrameJoysticks(std::shared_ptr<TInputRecorder::gate> gate, std::shared_ptr<TJoystickSystem> real)
        : gate_(std::move(gate)), real_(std::move(real))
    {
    }
    std::vector<int> Devices() override
    {
        if (!gate_->recording)
            return real_->Devices();
        if (gate_->devices_fresh) {
            gate_->devices_fresh = false;
            devices_ = real_->Devices();
            if (port0_ >= 0 && std::find(devices_.begin(), devices_.end(), port0_) == devices_.end()) {
                log("joy unplug");
                port0_ = -1;
            }
        }
        return devices_;
    }
    bool Caps(int id, TJoyCaps& caps) override { return real_->Caps(id, caps); }
    bool Read(int id, TJoyReading& reading) override
    {
        if (!gate_->recording || JoyPortDevice(0) != id)
            return real_->Read(id, reading);
        if (id != port0_) {  // a device new on port 0, its first reading fresh
            port0_ = id;
            log("joy plug");
            logged_ = TJoyReading{};
            logged_.axes[0] = logged_.axes[1] = 32767;
            gate_->joystick_fresh = true;
        }
        if (gate_->joystick_fresh) {
            gate_->joystick_fresh = false;
            ok_ = real_->Read(id, frame_reading_);
            if (ok_)
                log_changes();
        }
        reading = frame_reading_;
        return ok_;
    }

private:
    void log_changes()
    {
        for (int a = 0; a < 2; ++a) {
            if (frame_reading_.axes[a] == logged_.axes[a])
                continue;
            logged_.axes[a] = frame_reading_.axes[a];
            // Exact both ways: the harness turns it back into this position.
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.17g", frame_reading_.axes[a] / 32767.5 - 1.0);
            log("joy axis " + std::to_string(a) + " " + buf);
        }
        for (int b = 0; b < 32; ++b) {
            const uint32_t bit = 1u << b;
            if ((frame_reading_.buttons & bit) != (logged_.buttons & bit))
                log("joy button " + std::to_string(b) + ((frame_reading_.buttons & bit) ? " down" : " up"));
        }
        logged_.buttons = frame_reading_.buttons;
    }

    static void log(const std::string& what)
    {
        if (recording)
            recording->Log(what);
    }

    std::shared_ptr<TInputRecorder::gate> gate_;
    std::shared_ptr<TJoystickSystem> real_;
    std::vector<int> devices_;
    int port0_ = -1;  // the device the game's port holds, as logged
    bool ok_ = false;
    TJoyReading frame_reading_;
    TJoyReading logged_;
};

}  // namespace

TInputRecorder::TInputRecorder(std::shared_ptr<TSystemDriver> real, std::shared_ptr<TJoystickSystem> real_joysticks)
    : system_(std::make_shared<TOncePerFrameDriver>(gate_, std::move(real))),
      joysticks_(std::make_shared<TOncePerFrameJoysticks>(gate_, std::move(real_joysticks)))
{
    recording = this;
    AddHook(EmitEventHook(), log_event, nullptr, INT_MAX);
}

TInputRecorder::~TInputRecorder()
{
    RemoveHook(EmitEventHook(), log_event, nullptr);
    recording = nullptr;
    gate_->recording = false;
}

void TInputRecorder::BeginFrame()
{
    ++frame_;
    idle_ = false;
    gate_->may_pump = true;
    gate_->joystick_fresh = true;
    gate_->devices_fresh = true;
}

void TInputRecorder::IdleTurn()
{
    idle_ = true;
    gate_->may_pump = true;
}

void TInputRecorder::Log(const std::string& what)
{
    // Before the first frame the pump is shut, so only events made outside
    // a pump could arrive here: the harness can deliver them at frame 1.
    lines_.push_back(std::to_string(LogFrame() < 1 ? 1 : LogFrame()) + " " + what);
}

}  // namespace kelvora
