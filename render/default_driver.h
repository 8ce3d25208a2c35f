// The 2D driver the engine's Init installs: the platform's OpenGL one.
#pragma once

#include <string>

namespace kelvora {

// Installs it as the current graphics driver (GFX_BACKBUFFER by default).
// On the desktop the renderers are tried in the order the program chose
// (PreferRenderers), else with the one the environment variable names
// first; a bad value there is said on stderr and the default order kept.
void InitDefault2DDriver(const std::string& renderer_variable);
// Removes it and ends what it keeps between windows: the hidden context
// every window shares its textures with, once no window is open (images
// make their textures again in the next one).
void ShutdownDefault2DDriver();

}  // namespace kelvora
