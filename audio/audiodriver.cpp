#include "kelvora/audio/audiodriver.h"

#include "audio/mixer.h"
#include "audio/softmixdriver.h"
#include "kelvora/system/clock.h"

namespace kelvora {

namespace {

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

struct DriverState {
    DriverState()
    {
        // What a running driver uses must outlive this state, which shuts
        // the driver down at exit: make sure those exist first.
        (void)CurrentClock();
        (void)MixerRunning();
    }
    ~DriverState()
    {
        if (current) current->Shutdown();
    }
    TAudioDriverPtr head;
    TAudioDriverPtr current;
    TAudioDriverPtr null_driver;
    bool started = false;
};

DriverState& State()
{
    static DriverState state;
    if (!state.started) {
        // The module's start-up: the silent driver, then the mixer's.
        state.started = true;
        state.null_driver = std::make_shared<TAudioDriver>();
        RegisterAudioDriver(state.null_driver);
        RegisterSoftMixDrivers();
    }
    return state;
}

}  // namespace

TSoundPtr TAudioDriver::CreateSound(const TAudioSamplePtr&, int) { return std::make_shared<TSound>(); }

TChannelPtr TAudioDriver::AllocChannel() { return std::make_shared<TChannel>(); }

void RegisterAudioDriver(const TAudioDriverPtr& driver)
{
    if (!driver) return;
    DriverState& s = State();
    driver->_succ = s.head;
    s.head = driver;
}

TAudioDriverPtr AudioDriverList() { return State().head; }

TAudioDriverPtr AudioDriver()
{
    DriverState& s = State();
    if (!s.current && !SetAudioDriver("SoftMix")) SetAudioDriver("Null");
    return s.current;
}

int SetAudioDriver(const std::string& name)
{
    DriverState& s = State();
    const std::string wanted = Lower(name);
    if (s.current) {
        TAudioDriverPtr old = std::move(s.current);
        old->Shutdown();
    }
    s.current = s.null_driver;  // a failed choice leaves the silent driver
    for (TAudioDriverPtr d = s.head; d; d = d->_succ) {
        if (Lower(d->Name()) != wanted) continue;
        if (!d->Startup()) return 0;
        s.current = d;
        return 1;
    }
    return 0;
}

std::vector<std::string> AudioDrivers()
{
    std::vector<std::string> names;
    for (TAudioDriverPtr d = State().head; d && names.size() < 100; d = d->_succ) names.push_back(d->Name());
    return names;
}

int AudioDriverExists(const std::string& name)
{
    const std::string wanted = Lower(name);
    for (TAudioDriverPtr d = State().head; d; d = d->_succ)
        if (Lower(d->Name()) == wanted) return 1;
    return 0;
}

void ShutdownAudioDriver()
{
    DriverState& s = State();
    if (!s.current) return;
    TAudioDriverPtr old = std::move(s.current);
    old->Shutdown();
}

}  // namespace kelvora
