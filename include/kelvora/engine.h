/// @file
/// Starting and stopping the engine as a whole.
#pragma once

#include <string>

namespace kelvora {

/// What the program tells the engine about itself at start.
struct TEngineSettings {
    /// The program's name: the window caption.
    std::string app_name;
};

/// Starts the engine's services in order: the font loader, the pads and the
/// platform's graphics driver. Call it once, on the main thread, before any
/// other engine call.
void Init(const TEngineSettings& settings = {});

/// Stops them in the reverse order: graphics closed, the sound output
/// stopped.
void Shutdown();

}  // namespace kelvora
