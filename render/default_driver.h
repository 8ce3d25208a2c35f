// The 2D driver the game's start-up installs: the platform's OpenGL one.
#pragma once

// Installs it as the current graphics driver (GFX_BACKBUFFER by default).
void InitDefault2DDriver();
