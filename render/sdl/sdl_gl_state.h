// What the desktop backend's files share: the record of one context, the
// driver's state, and what each file offers the others. The backend:
//   sdl_video.cpp              video start
//   sdl_gl_procs.cpp           the OpenGL calls, taken from the context
//   sdl_gl_contexts.cpp        context kinds, the hidden shared context,
//                              each window's context and its framebuffer
//   sdl_windows.cpp            windows, full screen, focus, pointer mapping
//   sdl_gl_present.cpp         Flip's present of the offscreen picture
//   sdl_gl_present_legacy.cpp  the present without framebuffer objects
//                              (fixed function: compatibility contexts only)
//   sdl_gl_reset.cpp           contexts made again after a reset
//   sdl_gl_driver.cpp          TGLGraphicsDriver, the interface of gl_graphics.h
#pragma once

#include <SDL.h>

#include <vector>

#include "render/gl/gl_graphics.h"
#include "render/picture_placement.h"
#include "render/sdl/sdl_gl_procs.h"
#include "system/pointer_mapping.h"

namespace kelvora {

constexpr int KIND_ATTACHED = 1;
constexpr int KIND_WINDOW = 2;
constexpr int KIND_FULLSCREEN = 3;

extern const char* const DISPLAY_MODE_ERROR;

// One OpenGL context: its window, and the offscreen picture it draws into.
struct TGLContext : TGLContextSettings {
    int kind = 0;
    SDL_Window* window = nullptr;
    SDL_GLContext gl = nullptr;
    void* egl_surface = nullptr;  // attached under EGL: the surface SDL does not make
    bool accum = true;            // the pixel format asked for an accumulation buffer
    GLuint fbo = 0, color_rb = 0, depth_rb = 0;
    GLuint kept = 0;         // without framebuffer objects: the picture across the swap
    int kept_w = 0, kept_h = 0;
    bool direct = false;     // no offscreen picture: drawing goes to the back buffer
    bool software = false;   // a software rasteriser draws (pixels cost CPU)
    int options_serial = -1; // window wishes last applied
    int swap_interval = -1;  // last set, -1 none yet
    bool swap_control = false;  // the swap interval can be set at all
    bool owner = false;      // full screen and holding the display
    bool display_failed = false;
    TPointerMapping mapping;  // as last reported
    TGLContext* next = nullptr;
};

struct TDriverState {
    TGLContext* contexts = nullptr;  // newest first
    TGLContext* current = nullptr;
    SDL_Window* shared_window = nullptr;
    SDL_GLContext shared_gl = nullptr;
    bool video_ours = false;
    bool events_hooked = false;
    TGLProcs gl;                 // of the shared context's library
    TGLProfile profile = TGLProfile::Legacy;
    bool robust = false;         // contexts are made robust, told of resets
    bool reset_simulated = false;
    int shared_since = 0;        // GraphicsSeq when the shared context was made
    bool pair_open = false;      // inside a SwapSharedContext pair
    bool pair_switched = false;  // and the pair went to the shared context
    GLuint pair_binding = 0;     // else the texture bound when it began
    bool shared_ended = false;   // ended on purpose: the next one starts a new GraphicsSeq
    bool library_kept = false;   // the OpenGL library held loaded for the rest of the run
    bool finished = false;       // the program is ending: OpenGL is called no more
};

// Never destroyed: images and graphics held in the program's statics go
// after it, at exit.
TDriverState& Driver();

// sdl_video.cpp
// SDL's video is up, and the program is not ending (the driver's exit
// handler has not run).
bool VideoUp();
bool EnsureVideo();

// sdl_gl_contexts.cpp
void MakeCurrent(TGLContext* rec);
bool EnsureSharedContext();
// Deletes the shared context and its hidden window (the current context
// is none afterwards); its textures go with it.
void DropSharedContext();
// Makes window and context for rec (kind, size, flags set); on failure
// everything made so far is undone and the reason recorded.
bool OpenContext(TGLContext* rec, SDL_Window* foreign);
void DestroyRecord(TGLContext* rec);
// rec's context again in its window, after the old one went; the shared
// context must be current.
bool RemakeContext(TGLContext* rec);
// The shared context again in its hidden window.
bool RemakeSharedContext();
// Deletes rec's framebuffer objects and kept picture, with its context current.
void DeleteContextObjects(TGLContext* rec);

// sdl_windows.cpp
TPlacement Place(const TGLContext* rec, int dw, int dh);
void ReportMapping(TGLContext* rec);
void ForgetMapping(TGLContext* rec);
bool IsFullScreen(SDL_Window* w);
int WindowScale(const TGLContext* rec, int scale);
bool WindowResizable(const TGLContext* rec);
void ApplyMinimumSize(const TGLContext* rec);
void ApplyWindowOptions(TGLContext* rec);
void HookEvents();
bool ChooseMode(const std::vector<TGraphicsMode>& modes, int width, int height, int depth, int hertz,
                TGraphicsMode& chosen);
// The window a new context of rec's kind draws into, with these SDL flags.
SDL_Window* CreateWindowFor(TGLContext* rec, Uint32 wflags);

// sdl_gl_present.cpp
void ClearBars(const TPlacement& p, int dw, int dh);
void Swap(TGLContext* rec);
// cleared: the colour the whole picture holds (filled in rather than
// copied), or null.
void PresentOffscreen(TGLContext* rec, const TPlacement& p, int dw, int dh, const uint8_t* cleared = nullptr);

// sdl_gl_present_legacy.cpp
void PresentDirect(TGLContext* rec, const TPlacement& p, int dw, int dh);

// sdl_gl_reset.cpp
// Whether the current context reports a reset (or one was simulated); if
// so every context of the group is made again and the game told.
bool RecoverFromReset();

}  // namespace kelvora
