// The 2D driver the game's start-up installs: the platform's OpenGL one.
#pragma once

namespace kelvora {

// Installs it as the current graphics driver (GFX_BACKBUFFER by default).
void InitDefault2DDriver();

}  // namespace kelvora
