// The OpenGL graphics driver: windows, full screen and OpenGL contexts. Two
// backends implement it: render/sdl/ on the desktop, render/web/ in a page.
//
// Every context draws into an offscreen framebuffer of exactly the size asked
// for. Flip presents it by the rules of render/picture_placement.h - centred
// with black bars; sharp at whole scales; between them filtered, or at the
// largest whole scale on a software rasteriser; scaled down to fit below 1 -
// swaps, and binds the offscreen framebuffer again for drawing and reading.
// Alt+Enter moves a context's window between full screen and a window; the
// picture stays as it is. So:
//   - the driver keeps the offscreen framebuffer bound between flips; code
//     drawing through this driver must never bind framebuffer 0 nor select
//     GL_BACK/GL_FRONT as draw or read buffer;
//   - reading pixels right after Flip gives the frame just presented, since
//     the offscreen picture is never cleared by the driver;
//   - the viewport and projection a context needs are width x height of the
//     request, whatever the size of the window on screen.
// Where OpenGL has no framebuffer objects, drawing goes straight into the
// window's back buffer at its bottom-left corner, read back from there too;
// Flip keeps the frame in a texture, draws it to the centre at the largest
// whole scale that fits, and after the swap draws it back into the corner,
// so that the frame just presented is there to read until the next is drawn.
// Such a picture cannot be scaled down: its window is not resizable. Only a
// compatibility context goes without them; a core or ES context is refused.
// Where the driver reports resets (robust contexts), Flip notices one and
// makes every context again in its window: hooks hear lost=true,
// GraphicsSeq changes and the current graphics are set again, so the game
// draws on; in a page the same follows a lost and restored WebGL context.
// Every context shares textures with one hidden context made on first use, so
// textures outlive any one window; SwapSharedContext switches to it and back.
#pragma once

#include <cstdint>

#include "kelvora/render/graphics.h"

namespace kelvora {

class TGLGraphicsDriver;
struct TGLContext;  // the platform record behind one context

// What a context was opened with; every backend's record holds it.
struct TGLContextSettings {
    int width = 0, height = 0;  // the picture, as asked for
    int depth = 0, hertz = 0, flags = 0;
};
// Each backend gives its record's settings and takes the record apart
// (render/gl/gl_graphics_record.cpp closes TGLGraphics with them).
const TGLContextSettings& GLContextSettings(const TGLContext& context);
void DestroyGLContext(TGLContext* context);

// Drivers that keep objects of their own in a context (vertex arrays, and
// the programs and buffers they made there) hear of its end: with lost
// false, just before the context is destroyed, with it current, so they can
// delete them; with lost true, after the context lost everything it held
// (a reset), so they forget the names. gl_context is the SDL context.
using TGLContextHook = void (*)(void* gl_context, bool lost);
void AddGLContextHook(TGLContextHook hook);
// Tells every hook (the backends call this).
void NotifyGLContextHooks(void* gl_context, bool lost);

// The kind of OpenGL context made: the fixed-function driver's default
// (compatibility) context, an OpenGL 3.3 core profile, or OpenGL ES 3.0
// (through EGL under X11).
enum class TGLProfile { Legacy, Core, ES };

class TGLGraphics : public TGraphics {
public:
    explicit TGLGraphics(TGLContext* context) : _context(context) {}
    ~TGLGraphics() override;
    TGraphicsDriver* Driver() override;
    void GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) override;
    void Close() override;

    TGLContext* _context;  // null once closed
};

class TGLGraphicsDriver : public TGraphicsDriver {
public:
    std::vector<TGraphicsMode> GraphicsModes() override;
    std::shared_ptr<TGraphics> AttachGraphics(void* widget, int flags) override;
    std::shared_ptr<TGraphics> CreateGraphics(int width, int height, int depth, int hertz, int flags) override;
    void SetGraphics(const std::shared_ptr<TGraphics>& g) override;
    void Flip(int sync) override;
    // Flip, for a picture cleared whole to rgb and not drawn on since: the
    // window shows the same, the colour filled in where the picture goes
    // rather than the picture copied there.
    void FlipCleared(int sync, const uint8_t rgb[3]);

    // Called in pairs around creating and deleting textures so they belong
    // to the shared context and outlive every window. With one of our
    // contexts current the work stays in it (all share their objects) and
    // its texture bindings are put back by the second call; otherwise the
    // hidden shared context is current in between.
    void SwapSharedContext();

    // Contexts made from now on are of this kind. Only while none is open;
    // false (and LastGraphicsError says why) otherwise. Under X11, once ES
    // has been asked for, SDL keeps EGL for the rest of the run: the other
    // kinds are then asked of EGL too.
    bool SetProfile(TGLProfile profile);
    TGLProfile Profile() const;
    // Whether textures made under GraphicsSeq seq still exist: they go with
    // the shared context when the profile changes or it ends, and none is
    // touched once the program is ending.
    bool TexturesAlive(int seq) const;
    // Ends the shared context, and every texture with it, once no context
    // is open (Shutdown); the next context makes another.
    void EndSharedContext();

    // False where OpenGL lacks framebuffer objects and contexts draw
    // straight into their windows; known once a context has been made.
    bool DrawsOffscreen() const;
    // True when the current context's pixels are drawn by the CPU.
    bool DrawsInSoftware() const;
};

// The one OpenGL graphics driver.
TGLGraphicsDriver* GLGraphicsDriver();

}  // namespace kelvora
