// SDL makes no EGL surface for a window it did not create (attached
// graphics): its context on that window is current without one and draws
// into nothing. Under X11 with EGL the surface is made here instead, bound
// after SDL makes the context current and swapped in SDL's place.
#pragma once

#include <SDL.h>

namespace kelvora {

// With the window's context current: its surface, or nullptr where EGL is
// not in use or the surface cannot be made (the reason in SDL_GetError's
// style is returned in error).
void* CreateForeignEglSurface(SDL_Window* window, const char** error);
// Binds the surface to the current context.
void BindForeignEglSurface(void* surface);
void SwapForeignEglSurface(void* surface);
// With the surface's context no longer current.
void DestroyForeignEglSurface(void* surface);

}  // namespace kelvora
