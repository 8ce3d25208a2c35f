// Audio drivers: named makers of sounds and channels, one of them current.
// The first audio call selects "SoftMix" and falls back to the silent
// "Null" driver when no output can be opened.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kelvora/audio/channel.h"
#include "kelvora/audio/sample.h"
#include "kelvora/audio/sound.h"

namespace kelvora {

class TAudioDriver;
using TAudioDriverPtr = std::shared_ptr<TAudioDriver>;

// The base driver is complete and silent: the "Null" driver.
class TAudioDriver {
public:
    virtual ~TAudioDriver() = default;
    virtual std::string Name() { return "Null"; }
    // 1 when started.
    virtual int Startup() { return 1; }
    virtual void Shutdown() {}
    virtual TSoundPtr CreateSound(const TAudioSamplePtr& sample, int flags);
    // The same for a sample no one else holds: a driver may take its bytes
    // over instead of copying them.
    virtual TSoundPtr AdoptSound(TAudioSamplePtr sample, int flags) { return CreateSound(sample, flags); }
    virtual TChannelPtr AllocChannel();

    TAudioDriverPtr _succ;  // next in the driver list
};

// Links a driver at the head of the driver list: the newest is found first.
void RegisterAudioDriver(const TAudioDriverPtr& driver);
// Head of the driver list; the built-in drivers are registered on first use.
TAudioDriverPtr AudioDriverList();

// The current driver; selects "SoftMix", or "Null" when that cannot start.
TAudioDriverPtr AudioDriver();
// Shuts the current driver down and starts the named one (ASCII case
// ignored). 1 on success; 0 leaves the "Null" driver current.
int SetAudioDriver(const std::string& name);
// Names of the registered drivers in list order, at most 100.
std::vector<std::string> AudioDrivers();
int AudioDriverExists(const std::string& name);
// Shuts the current driver down and leaves none current (done at exit).
void ShutdownAudioDriver();

}  // namespace kelvora
