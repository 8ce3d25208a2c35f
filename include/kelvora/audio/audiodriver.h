/// @file
/// Audio drivers: named makers of sounds and channels, one of them current.
/// The first audio call selects "SoftMix" and falls back to the silent
/// "Null" driver when no output can be opened.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kelvora/audio/channel.h"
#include "kelvora/audio/sample.h"
#include "kelvora/audio/sound.h"

namespace kelvora {

class TAudioDriver;
/// A driver, shared by the driver list and whoever asked for it.
using TAudioDriverPtr = std::shared_ptr<TAudioDriver>;

/// A maker of sounds and channels. The base driver is complete and silent:
/// the "Null" driver. The built-in drivers are "SoftMix" (the software mixer
/// on the platform's sound output; "SoftMix Multimedia" is the same output
/// by its full name) and "Null".
class TAudioDriver {
public:
    virtual ~TAudioDriver() = default;
    /// The name SetAudioDriver knows it by.
    virtual std::string Name() { return "Null"; }
    /// Opens the output; 1 when started.
    virtual int Startup() { return 1; }
    /// Closes the output. Sounds and channels it made stay safe to hold, use
    /// and release.
    virtual void Shutdown() {}
    /// A sound over a copy of the sample's frames; null when it cannot be
    /// played.
    virtual TSoundPtr CreateSound(const TAudioSamplePtr& sample, int flags);
    /// The same for a sample no one else holds: a driver may take its bytes
    /// over instead of copying them.
    virtual TSoundPtr AdoptSound(TAudioSamplePtr sample, int flags) { return CreateSound(sample, flags); }
    /// A channel of this driver; null when none is free.
    virtual TChannelPtr AllocChannel();

    TAudioDriverPtr _succ;  ///< The next driver in the list
};

/// Links a driver at the head of the driver list: the newest is found first.
void RegisterAudioDriver(const TAudioDriverPtr& driver);
/// Head of the driver list; the built-in drivers are registered on first use.
TAudioDriverPtr AudioDriverList();

/// The current driver; selects "SoftMix", or "Null" when that cannot start.
TAudioDriverPtr AudioDriver();
/// Shuts the current driver down and starts the named one (ASCII case
/// ignored). 1 on success; 0 leaves the "Null" driver current.
int SetAudioDriver(const std::string& name);
/// Names of the registered drivers in list order, at most 100.
std::vector<std::string> AudioDrivers();
/// 1 when a driver of that name (ASCII case ignored) is registered.
int AudioDriverExists(const std::string& name);
/// Shuts the current driver down and leaves none current; the next audio call
/// selects one again. Shutdown and the end of the program do this.
void ShutdownAudioDriver();

}  // namespace kelvora
