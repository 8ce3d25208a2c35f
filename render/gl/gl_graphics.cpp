#include "render/gl/gl_graphics.h"

#include <SDL.h>
#include <SDL_opengl.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "render/gl/display_loss.h"
#include "render/gl/foreign_egl_surface.h"
#include "render/gl/software_renderer.h"
#include "render/picture_placement.h"
#include "render/pixmap.h"
#include "runtime/errors.h"
#include "system/app_title.h"
#include "system/platform_events.h"
#include "system/pointer_mapping.h"

namespace {

constexpr int KIND_ATTACHED = 1;
constexpr int KIND_WINDOW = 2;
constexpr int KIND_FULLSCREEN = 3;

constexpr int MAX_MODES = 1024;
const char* const DISPLAY_MODE_ERROR = "GLGraphicsDriver failed to set display mode";

}  // namespace

// One OpenGL context: its window, and the offscreen picture it draws into.
struct TGLContext : TGLContextSettings {
    int kind = 0;
    SDL_Window* window = nullptr;
    SDL_GLContext gl = nullptr;
    void* egl_surface = nullptr;  // attached under EGL: the surface SDL does not make
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

namespace {

// Framebuffer entry points: core/ARB names, or the older EXT ones.
struct TFboProcs {
    bool loaded = false;
    PFNGLGENFRAMEBUFFERSPROC GenFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC BindFramebuffer = nullptr;
    PFNGLGENRENDERBUFFERSPROC GenRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC DeleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC BindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC RenderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC FramebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus = nullptr;
    PFNGLBLITFRAMEBUFFERPROC BlitFramebuffer = nullptr;
};

struct TDriverState {
    TGLContext* contexts = nullptr;  // newest first
    TGLContext* current = nullptr;
    SDL_Window* shared_window = nullptr;
    SDL_GLContext shared_gl = nullptr;
    bool video_ours = false;
    bool events_hooked = false;
    TFboProcs fbo;
    bool fbo_checked = false;
    TGLProfile profile = TGLProfile::Legacy;
    int shared_since = 0;        // GraphicsSeq when the shared context was made
    bool pair_open = false;      // inside a SwapSharedContext pair
    bool pair_switched = false;  // and the pair went to the shared context
    GLuint pair_binding = 0;     // else the texture bound when it began
};

TDriverState& Driver()
{
    static TDriverState state;
    return state;
}

bool VideoUp() { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }

// SDL falls back to drawing nowhere (its offscreen and dummy video drivers)
// when there is no display; that counts as no display unless asked for by
// name in SDL_VIDEODRIVER.
bool InvisibleVideo()
{
    const char* name = SDL_GetCurrentVideoDriver();
    if (!name) return true;
    if (std::strcmp(name, "offscreen") != 0 && std::strcmp(name, "dummy") != 0) return false;
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    return !asked || std::strstr(asked, name) == nullptr;
}

bool EnsureVideo()
{
    TDriverState& d = Driver();
    if (!VideoUp()) {
        if (d.video_ours) return false;  // was ours and someone shut it down
        // Our own full-screen handling decides about minimising.
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
        // SDL takes the window class (X11) and app id (Wayland) from the
        // environment when video starts; a player's own setting stays.
        const std::string& app_id = GraphicsWindowOptions().app_id;
        if (!app_id.empty()) {
            SDL_setenv("SDL_VIDEO_X11_WMCLASS", app_id.c_str(), 0);
            SDL_setenv("SDL_VIDEO_WAYLAND_WMCLASS", app_id.c_str(), 0);
        }
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            SetLastGraphicsError(std::string("No display available (") + SDL_GetError() + ")");
            return false;
        }
        if (InvisibleVideo()) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            SetLastGraphicsError("No display available (no X11 or Wayland display to open)");
            return false;
        }
        d.video_ours = true;
        WatchForDisplayLoss();
    }
    if (InvisibleVideo()) {
        SetLastGraphicsError("No display available (no X11 or Wayland display to open)");
        return false;
    }
    return true;
}

void MakeCurrent(TGLContext* rec)
{
    if (rec) {
        SDL_GL_MakeCurrent(rec->window, rec->gl);
        BindForeignEglSurface(rec->egl_surface);
    } else
        SDL_GL_MakeCurrent(nullptr, nullptr);
}

template <class F>
bool Load(F& f, const char* core, const char* ext)
{
    f = reinterpret_cast<F>(SDL_GL_GetProcAddress(core));
    if (!f && ext) f = reinterpret_cast<F>(SDL_GL_GetProcAddress(ext));
    return f != nullptr;
}

// With a context current: finds the framebuffer entry points once.
bool LoadFboProcs()
{
    TFboProcs& p = Driver().fbo;
    if (Driver().fbo_checked) return p.loaded;
    Driver().fbo_checked = true;
    int major = 0;
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (version && std::strncmp(version, "OpenGL ES ", 10) == 0) version += 10;
    if (version) major = std::atoi(version);
    bool core = major >= 3 || SDL_GL_ExtensionSupported("GL_ARB_framebuffer_object");
    bool ext = SDL_GL_ExtensionSupported("GL_EXT_framebuffer_object") &&
               SDL_GL_ExtensionSupported("GL_EXT_framebuffer_blit");
    if (!core && !ext) return false;
    auto pick = [core](const char* a, const char* b) { return core ? a : b; };
    bool ok = Load(p.GenFramebuffers, pick("glGenFramebuffers", "glGenFramebuffersEXT"), nullptr) &&
              Load(p.DeleteFramebuffers, pick("glDeleteFramebuffers", "glDeleteFramebuffersEXT"), nullptr) &&
              Load(p.BindFramebuffer, pick("glBindFramebuffer", "glBindFramebufferEXT"), nullptr) &&
              Load(p.GenRenderbuffers, pick("glGenRenderbuffers", "glGenRenderbuffersEXT"), nullptr) &&
              Load(p.DeleteRenderbuffers, pick("glDeleteRenderbuffers", "glDeleteRenderbuffersEXT"), nullptr) &&
              Load(p.BindRenderbuffer, pick("glBindRenderbuffer", "glBindRenderbufferEXT"), nullptr) &&
              Load(p.RenderbufferStorage, pick("glRenderbufferStorage", "glRenderbufferStorageEXT"), nullptr) &&
              Load(p.FramebufferRenderbuffer,
                   pick("glFramebufferRenderbuffer", "glFramebufferRenderbufferEXT"), nullptr) &&
              Load(p.CheckFramebufferStatus,
                   pick("glCheckFramebufferStatus", "glCheckFramebufferStatusEXT"), nullptr) &&
              Load(p.BlitFramebuffer, pick("glBlitFramebuffer", "glBlitFramebufferEXT"), nullptr);
    if (!ok) p = TFboProcs{};  // never half a set
    p.loaded = ok;
    return ok;
}

// The context version the profile asks for (none: the default one, which
// Mesa and most drivers make a compatibility context).
void SetProfileAttributes(TGLProfile profile)
{
    if (profile == TGLProfile::Core) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    } else if (profile == TGLProfile::ES) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    }
}

// Mesa computes its OpenGL version from its extensions, and an extension
// override (MESA_EXTENSION_OVERRIDE, e.g. hiding framebuffer objects) can
// bring it below 3.1; asked for a core context then, Mesa 22 crashes
// instead of refusing. Where such an override is set, the version of a
// default context is read first and a core context only asked for at 3.3.
// The reason when core must not be asked for; empty when it may.
std::string MesaOverrideRefusesCore()
{
    const char* override = std::getenv("MESA_EXTENSION_OVERRIDE");
    if (!override || !*override) return "";
    static std::string verdict = [] {
        SDL_GL_ResetAttributes();
        SDL_Window* w = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        SDL_GLContext c = w ? SDL_GL_CreateContext(w) : nullptr;
        std::string why;
        if (c) {
            const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
            int major = 0, minor = 0;
            if (version && std::strstr(version, "Mesa") && std::sscanf(version, "%d.%d", &major, &minor) == 2 &&
                major * 10 + minor < 33)
                why = std::string("MESA_EXTENSION_OVERRIDE leaves Mesa at OpenGL ") + version +
                      ", below the 3.3 core profile";
            SDL_GL_MakeCurrent(nullptr, nullptr);
            SDL_GL_DeleteContext(c);
        }
        if (w) SDL_DestroyWindow(w);
        return why;
    }();
    return verdict;
}

// The hidden 1x1 context every other context shares its textures with.
bool EnsureSharedContext()
{
    TDriverState& d = Driver();
    if (d.shared_gl) return true;
    if (d.profile == TGLProfile::Core) {
        const std::string refused = MesaOverrideRefusesCore();
        if (!refused.empty()) {
            SetLastGraphicsError("Unable to create an OpenGL context: " + refused);
            return false;
        }
    }
    SDL_GL_ResetAttributes();
    SetProfileAttributes(d.profile);
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
    d.shared_window = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!d.shared_window) {
        SetLastGraphicsError(std::string("Unable to create an OpenGL window: ") + SDL_GetError());
        return false;
    }
    d.shared_gl = SDL_GL_CreateContext(d.shared_window);
    if (!d.shared_gl) {
        SetLastGraphicsError(std::string("Unable to create an OpenGL context: ") + SDL_GetError());
        SDL_DestroyWindow(d.shared_window);
        d.shared_window = nullptr;
        return false;
    }
    d.shared_since = GraphicsSeq();
    // Without framebuffer objects contexts draw straight into their windows.
    LoadFboProcs();
    MakeCurrent(d.current);
    return true;
}

// Pixel format wishes of the flags, for the window's own framebuffer.
void SetAttributes(int flags, bool accum)
{
    SDL_GL_ResetAttributes();
    SetProfileAttributes(Driver().profile);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 1);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, (flags & GFX_BACKBUFFER) ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, (flags & GFX_ALPHABUFFER) ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, (flags & GFX_DEPTHBUFFER) ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, (flags & GFX_STENCILBUFFER) ? 1 : 0);
    int a = (accum && (flags & GFX_ACCUMBUFFER)) ? 1 : 0;
    SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, a);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, a);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, a);
    SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, a);
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 1);
}

// With rec's context current: the offscreen picture, cleared to black.
// Without framebuffer objects the window's own buffers are the picture.
bool CreateFramebuffer(TGLContext* rec)
{
    TFboProcs& p = Driver().fbo;
    if (!p.loaded) {
        rec->direct = true;
        glViewport(0, 0, rec->width, rec->height);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        return true;
    }
    p.GenFramebuffers(1, &rec->fbo);
    p.BindFramebuffer(GL_FRAMEBUFFER, rec->fbo);
    p.GenRenderbuffers(1, &rec->color_rb);
    p.BindRenderbuffer(GL_RENDERBUFFER, rec->color_rb);
    p.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, rec->width, rec->height);
    p.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rec->color_rb);
    if (rec->flags & (GFX_DEPTHBUFFER | GFX_STENCILBUFFER)) {
        p.GenRenderbuffers(1, &rec->depth_rb);
        p.BindRenderbuffer(GL_RENDERBUFFER, rec->depth_rb);
        p.RenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, rec->width, rec->height);
        p.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, rec->depth_rb);
        p.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, rec->depth_rb);
    }
    p.BindRenderbuffer(GL_RENDERBUFFER, 0);
    if (p.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;
    glViewport(0, 0, rec->width, rec->height);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | ((rec->flags & GFX_DEPTHBUFFER) ? GL_DEPTH_BUFFER_BIT : 0) |
            ((rec->flags & GFX_STENCILBUFFER) ? GL_STENCIL_BUFFER_BIT : 0));
    return true;
}

TPlacementRule PlacementRule(const TGLContext* rec)
{
    if (rec->direct) return TPlacementRule::WHOLE_ONLY;
    return rec->software ? TPlacementRule::SOFTWARE : TPlacementRule::ANY_SCALE;
}

TPlacement Place(const TGLContext* rec, int dw, int dh)
{
    return PlacePicture(rec->width, rec->height, dw, dh, PlacementRule(rec));
}

// Tells the pointer code where the picture of the current context sits.
void ReportMapping(TGLContext* rec)
{
    int ww = 0, wh = 0, dw = 0, dh = 0;
    SDL_GetWindowSize(rec->window, &ww, &wh);
    SDL_GL_GetDrawableSize(rec->window, &dw, &dh);
    TPointerMapping m;
    m.window = rec->window;
    if (ww > 0 && wh > 0) m = MappingFor(Place(rec, dw, dh), rec->width, ww, dw, rec->window);
    if (m.window != rec->mapping.window || m.scale != rec->mapping.scale || m.offset_x != rec->mapping.offset_x ||
        m.offset_y != rec->mapping.offset_y) {
        rec->mapping = m;
        SetPointerMapping(m);
    }
}

void ForgetMapping(TGLContext* rec)
{
    if (GetPointerMapping().window == rec->window) SetPointerMapping(TPointerMapping{});
    rec->mapping = TPointerMapping{};
}

bool IsFullScreen(SDL_Window* w)
{
    return (SDL_GetWindowFlags(w) & SDL_WINDOW_FULLSCREEN_DESKTOP) == SDL_WINDOW_FULLSCREEN_DESKTOP;
}

TGLContext* FindByWindowId(Uint32 id)
{
    for (TGLContext* c = Driver().contexts; c; c = c->next)
        if (c->window && SDL_GetWindowID(c->window) == id) return c;
    return nullptr;
}

// The whole scale a window shows its picture at: 1 unless asked otherwise;
// 0 asks for the largest that fits the desktop's usable area, and a larger
// one than fits gets that, said once (a window bigger than the desktop
// would start off screen).
int WindowScale(const TGLContext* rec, int scale)
{
    if (scale < 0 || rec->direct) return 1;
    SDL_Rect r{0, 0, 0, 0};
    if (SDL_GetDisplayUsableBounds(0, &r) != 0) r.w = r.h = 0;
    const int s = FittingWindowScale(scale, rec->width, rec->height, r.w, r.h);
    static int told = 0;
    if (s < scale && scale != told) {
        told = scale;
        std::fprintf(stderr,
                     "Kelvora 3D: a window at scale %d (%dx%d) does not fit the desktop (%dx%d usable); "
                     "scale %d instead\n",
                     scale, rec->width * scale, rec->height * scale, r.w, r.h, s);
    }
    return s;
}

bool WindowResizable(const TGLContext* rec) { return GraphicsWindowOptions().scale >= 0 && !rec->direct; }

// Below this a picture would be too small to play on; drawn straight into
// the window it cannot be scaled down at all.
void ApplyMinimumSize(const TGLContext* rec)
{
    int w = 0, h = 0;
    MinimumWindowSize(rec->width, rec->height, !rec->direct, w, h);
    SDL_SetWindowMinimumSize(rec->window, w, h);
}

void ApplyIcon(SDL_Window* window, const TPixmapPtr& icon)
{
    if (!icon) return;
    TPixmapPtr rgba = icon->Convert(PIXFMT_RGBA8888);
    if (!rgba) return;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(rgba->pixels, rgba->width, rgba->height, 32,
                                                              rgba->pitch, SDL_PIXELFORMAT_RGBA32);
    if (!surface) return;
    SDL_SetWindowIcon(window, surface);  // SDL keeps its own copy
    SDL_FreeSurface(surface);
}

// Brings the window in line with the wishes set since it was last looked at.
void ApplyWindowOptions(TGLContext* rec)
{
    const TGraphicsWindowOptions& o = GraphicsWindowOptions();
    if (rec->options_serial == o.serial) return;
    bool first = rec->options_serial < 0;
    rec->options_serial = o.serial;
    if (rec->kind == KIND_ATTACHED) return;
    ApplyIcon(rec->window, o.icon);
    if (!first && rec->kind == KIND_WINDOW && o.scale >= 0) {
        int s = WindowScale(rec, o.scale);
        SDL_SetWindowResizable(rec->window, WindowResizable(rec) ? SDL_TRUE : SDL_FALSE);
        SDL_SetWindowSize(rec->window, rec->width * s, rec->height * s);
    }
}

// Alt+Enter: the same window and context go from full screen to a window
// and back; the picture, offscreen, is untouched.
void ToggleFullScreen(TGLContext* rec)
{
    if (rec->kind == KIND_WINDOW) {
        SDL_Rect r{0, 0, rec->width, rec->height};
        SDL_GetDisplayBounds(0, &r);
        SDL_SetWindowBordered(rec->window, SDL_FALSE);
        SDL_SetWindowResizable(rec->window, SDL_FALSE);
        SDL_SetWindowPosition(rec->window, r.x, r.y);
        SDL_SetWindowSize(rec->window, r.w, r.h);
        if (SDL_SetWindowFullscreen(rec->window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) return;
        rec->kind = KIND_FULLSCREEN;
        rec->owner = true;
        SDL_RaiseWindow(rec->window);
    } else if (rec->kind == KIND_FULLSCREEN) {
        if (SDL_SetWindowFullscreen(rec->window, 0) != 0) return;
        rec->kind = KIND_WINDOW;
        rec->owner = false;
        // Leaving full screen without a scale asked for: the largest that
        // fits, not a tiny 1:1 window on a big desktop.
        int wish = GraphicsWindowOptions().scale;
        int s = WindowScale(rec, wish < 0 ? 0 : wish);
        SDL_SetWindowBordered(rec->window, SDL_TRUE);
        SDL_SetWindowResizable(rec->window, rec->direct ? SDL_FALSE : SDL_TRUE);
        SDL_SetWindowSize(rec->window, rec->width * s, rec->height * s);
        SDL_SetWindowPosition(rec->window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
    rec->swap_interval = -1;
}

// A full-screen context holds the display while its window has the focus:
// gaining it takes the display (again), losing it gives it back and
// minimises the window so the desktop is usable.
void OnPlatformEvent(const void* platform_event, void*)
{
    const SDL_Event* e = static_cast<const SDL_Event*>(platform_event);
    if (!e) return;
    if (e->type == SDL_KEYDOWN && !e->key.repeat && (e->key.keysym.mod & KMOD_ALT) &&
        (e->key.keysym.sym == SDLK_RETURN || e->key.keysym.sym == SDLK_KP_ENTER)) {
        TGLContext* rec = FindByWindowId(e->key.windowID);
        if (!rec) rec = Driver().current;
        if (rec) ToggleFullScreen(rec);
        return;
    }
    if (e->type != SDL_WINDOWEVENT) return;
    TGLContext* rec = FindByWindowId(e->window.windowID);
    if (!rec || rec->kind != KIND_FULLSCREEN) return;
    if (e->window.event == SDL_WINDOWEVENT_FOCUS_GAINED && !rec->owner) {
        if (!IsFullScreen(rec->window) && SDL_SetWindowFullscreen(rec->window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
            // Raised from the next Flip: the event pump is no place to unwind through.
            rec->display_failed = true;
            return;
        }
        rec->owner = true;
        rec->swap_interval = -1;
    } else if (e->window.event == SDL_WINDOWEVENT_FOCUS_LOST && rec->owner) {
        rec->owner = false;
        rec->swap_interval = -1;
        SDL_MinimizeWindow(rec->window);
    }
}

void HookEvents()
{
    TDriverState& d = Driver();
    if (d.events_hooked) return;
    AddPlatformEventHandler(OnPlatformEvent, nullptr);
    d.events_hooked = true;
}

// Full-screen mode choice: exactly width x height at the depth asked for (else
// 32, 24, 16 bits), the rate nearest to hertz, the first of equals.
bool ChooseMode(const std::vector<TGraphicsMode>& modes, int width, int height, int depth, int hertz,
                TGraphicsMode& chosen)
{
    for (int want : {depth, 32, 24, 16}) {
        const TGraphicsMode* best = nullptr;
        for (const TGraphicsMode& m : modes) {
            if (m.width != width || m.height != height || m.depth != want) continue;
            if (!best || std::abs(m.hertz - hertz) < std::abs(best->hertz - hertz)) best = &m;
        }
        if (best) {
            chosen = *best;
            return true;
        }
    }
    return false;
}

void DestroyRecord(TGLContext* rec)
{
    TDriverState& d = Driver();
    for (TGLContext** link = &d.contexts; *link; link = &(*link)->next) {
        if (*link == rec) {
            *link = rec->next;
            break;
        }
    }
    if (VideoUp()) {
        if (rec == d.current) {
            MakeCurrent(nullptr);
            d.current = nullptr;
        }
        ForgetMapping(rec);
        if (rec->gl) {
            MakeCurrent(rec);
            NotifyGLContextHooks(rec->gl, false);
            if (rec->fbo || rec->color_rb || rec->depth_rb || rec->kept) {
                TFboProcs& p = d.fbo;
                if (rec->fbo) p.BindFramebuffer(GL_FRAMEBUFFER, 0);
                if (rec->fbo) p.DeleteFramebuffers(1, &rec->fbo);
                if (rec->color_rb) p.DeleteRenderbuffers(1, &rec->color_rb);
                if (rec->depth_rb) p.DeleteRenderbuffers(1, &rec->depth_rb);
                if (rec->kept) glDeleteTextures(1, &rec->kept);
            }
            MakeCurrent(d.current);
            DestroyForeignEglSurface(rec->egl_surface);
            SDL_GL_DeleteContext(rec->gl);
        }
        // A foreign window stays; SDL only lets go of it.
        if (rec->window) SDL_DestroyWindow(rec->window);
    } else if (rec == d.current) {
        d.current = nullptr;
    }
    delete rec;
}

// Makes window and context for rec (kind, size, flags set); on failure
// everything made so far is undone and the reason recorded.
bool OpenContext(TGLContext* rec, SDL_Window* foreign)
{
    TDriverState& d = Driver();
    Uint32 wflags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    rec->direct = !d.fbo.loaded;  // decides the window's size below
    if (rec->kind == KIND_FULLSCREEN) wflags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
    // The window's pixel format only needs what the flags ask for; an
    // accumulation buffer is dropped when no format offers one.
    for (bool accum : {true, false}) {
        if (!accum && !(rec->flags & GFX_ACCUMBUFFER)) break;
        SetAttributes(rec->flags, accum);
        SDL_GL_MakeCurrent(d.shared_window, d.shared_gl);
        if (foreign) {
            rec->window = foreign;
        } else if (rec->kind == KIND_WINDOW) {
            const TGraphicsWindowOptions& o = GraphicsWindowOptions();
            int s = WindowScale(rec, o.scale);
            int pos = o.scale >= 0 ? int(SDL_WINDOWPOS_CENTERED) : 32;
            Uint32 resizable = WindowResizable(rec) ? SDL_WINDOW_RESIZABLE : 0;
            rec->window = SDL_CreateWindow(AppTitle().c_str(), pos, pos, rec->width * s, rec->height * s,
                                           wflags | resizable);
        } else {
            // Desktop-sized from the start, so the window covers the screen
            // even where no window manager acts on the full-screen request.
            SDL_Rect r{0, 0, rec->width, rec->height};
            SDL_GetDisplayBounds(0, &r);
            rec->window = SDL_CreateWindow(AppTitle().c_str(), r.x, r.y, r.w, r.h, wflags);
        }
        if (rec->window) rec->gl = SDL_GL_CreateContext(rec->window);
        if (rec->gl) break;
        if (rec->window && !foreign) SDL_DestroyWindow(rec->window);
        rec->window = nullptr;
    }
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
    if (!rec->gl) {
        SetLastGraphicsError(std::string("No OpenGL pixel format matches: ") + SDL_GetError());
        MakeCurrent(d.current);
        return false;
    }
    if (foreign && d.profile == TGLProfile::ES) {
        const char* why = nullptr;
        rec->egl_surface = CreateForeignEglSurface(foreign, &why);
        if (why) {
            SetLastGraphicsError(std::string("Unable to attach to the window: ") + why);
            return false;
        }
    }
    rec->software = GLRendersInSoftware();
    if (rec->kind != KIND_ATTACHED) ApplyMinimumSize(rec);
    if (!CreateFramebuffer(rec)) {
        SetLastGraphicsError("Unable to create the offscreen framebuffer");
        return false;
    }
    // Without swap control no flip ever waits (Xvfb, some remote displays).
    rec->swap_control = SDL_GL_SetSwapInterval(0) == 0;
    rec->swap_interval = rec->swap_control ? 0 : -1;
    ApplyWindowOptions(rec);
    MakeCurrent(d.current);
    return true;
}

// Clears what lies around the picture (bottom-left origin), nothing else.
void ClearBars(const TPlacement& p, int dw, int dh)
{
    int y0 = dh - p.y - p.h;
    const int bars[4][4] = {{0, 0, p.x, dh},
                            {p.x + p.w, 0, dw - p.x - p.w, dh},
                            {p.x, 0, p.w, y0},
                            {p.x, y0 + p.h, p.w, dh - y0 - p.h}};
    glClearColor(0, 0, 0, 1);
    glEnable(GL_SCISSOR_TEST);
    for (const auto& b : bars) {
        if (b[2] <= 0 || b[3] <= 0) continue;
        glScissor(b[0], b[1], b[2], b[3]);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glDisable(GL_SCISSOR_TEST);
}

void Swap(TGLContext* rec)
{
    if (rec->egl_surface)
        SwapForeignEglSurface(rec->egl_surface);
    else if (rec->flags & GFX_BACKBUFFER)
        SDL_GL_SwapWindow(rec->window);
    else
        glFlush();
}

// Core and ES contexts have no attribute stack: what the present touches is
// read before and put back after.
struct TSavedPresentState {
    GLboolean scissor = GL_FALSE, mask[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
    GLint box[4] = {0, 0, 0, 0};
    GLfloat clear[4] = {0, 0, 0, 0};
    void Save()
    {
        scissor = glIsEnabled(GL_SCISSOR_TEST);
        glGetBooleanv(GL_COLOR_WRITEMASK, mask);
        glGetIntegerv(GL_SCISSOR_BOX, box);
        glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    }
    void Restore()
    {
        glColorMask(mask[0], mask[1], mask[2], mask[3]);
        glScissor(box[0], box[1], box[2], box[3]);
        if (scissor) glEnable(GL_SCISSOR_TEST);
        glClearColor(clear[0], clear[1], clear[2], clear[3]);
    }
};

// The offscreen picture blitted into the window; the drawing state kept
// between frames is saved and restored without asking GL for it.
void PresentOffscreen(TGLContext* rec, const TPlacement& p, int dw, int dh)
{
    TFboProcs& f = Driver().fbo;
    const bool stack = Driver().profile == TGLProfile::Legacy;
    TSavedPresentState saved;
    if (stack)
        glPushAttrib(GL_COLOR_BUFFER_BIT | GL_SCISSOR_BIT | GL_ENABLE_BIT);
    else
        saved.Save();
    f.BindFramebuffer(GL_READ_FRAMEBUFFER, rec->fbo);
    f.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    ClearBars(p, dw, dh);
    if (p.w > 0 && p.h > 0) {
        int y0 = dh - p.y - p.h;  // bottom-left origin
        f.BlitFramebuffer(0, 0, rec->width, rec->height, p.x, y0, p.x + p.w, y0 + p.h, GL_COLOR_BUFFER_BIT,
                          p.filtered ? GL_LINEAR : GL_NEAREST);
    }
    Swap(rec);
    f.BindFramebuffer(GL_FRAMEBUFFER, rec->fbo);
    if (stack)
        glPopAttrib();
    else
        saved.Restore();
}

// Without an offscreen picture the frame was drawn at the window's
// bottom-left corner; where it belongs elsewhere, it is copied there at its
// whole scale before the swap. Used where the picture cannot be kept.
// Window pixels (origin bottom-left) for the presents that copy the picture
// straight into the window, with none of the game's state in the way:
// attributes beyond those pushed here are the caller's. EndWindowPixels puts
// the game's matrices and state back.
void BeginWindowPixels(GLbitfield attributes, int dw, int dh)
{
    glPushAttrib(attributes | GL_COLOR_BUFFER_BIT | GL_SCISSOR_BIT | GL_ENABLE_BIT | GL_VIEWPORT_BIT |
                 GL_TRANSFORM_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, dw, 0, dh, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glViewport(0, 0, dw, dh);
    for (GLenum cap : {GL_SCISSOR_TEST, GL_TEXTURE_2D, GL_BLEND, GL_ALPHA_TEST, GL_DEPTH_TEST, GL_STENCIL_TEST,
                       GL_FOG, GL_LIGHTING, GL_COLOR_LOGIC_OP, GL_DITHER, GL_CULL_FACE})
        glDisable(cap);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

void EndWindowPixels()
{
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
}

void PresentDirectInPlace(TGLContext* rec, const TPlacement& p, int dw, int dh)
{
    int y0 = dh - p.y - p.h;
    if (p.w > 0 && (p.x != 0 || y0 != 0 || p.scale != 1)) {
        BeginWindowPixels(GL_PIXEL_MODE_BIT | GL_CURRENT_BIT, dw, dh);
        glPixelZoom(GLfloat(p.scale), GLfloat(p.scale));
        glRasterPos2i(p.x, y0);
        glCopyPixels(0, 0, rec->width, rec->height, GL_COLOR);  // overlapping copies are defined
        ClearBars(p, dw, dh);
        EndWindowPixels();
    } else if (p.w > 0 && (dw > p.w || dh > p.h)) {
        glPushAttrib(GL_COLOR_BUFFER_BIT | GL_SCISSOR_BIT | GL_ENABLE_BIT);
        ClearBars(p, dw, dh);
        glPopAttrib();
    }
    Swap(rec);
}

// The texture that keeps a context's picture across the swap, made on
// first use: false where OpenGL cannot hold a texture that large.
bool EnsureKeptPicture(TGLContext* rec)
{
    if (rec->kept) return true;
    int w = 1, h = 1;
    while (w < rec->width) w *= 2;  // no reliance on sizes other than powers of two
    while (h < rec->height) h *= 2;
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    if (w > max || h > max) return false;
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGenTextures(1, &rec->kept);
    glBindTexture(GL_TEXTURE_2D, rec->kept);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, GLuint(bound));
    rec->kept_w = w;
    rec->kept_h = h;
    return true;
}

// The kept picture drawn at (x, y) (bottom-left origin), at a whole scale.
void DrawKeptPicture(const TGLContext* rec, int x, int y, int scale)
{
    const float u = float(rec->width) / float(rec->kept_w), v = float(rec->height) / float(rec->kept_h);
    const float x1 = float(x + rec->width * scale), y1 = float(y + rec->height * scale);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(float(x), float(y));
    glTexCoord2f(u, 0);
    glVertex2f(x1, float(y));
    glTexCoord2f(u, v);
    glVertex2f(x1, y1);
    glTexCoord2f(0, v);
    glVertex2f(float(x), y1);
    glEnd();
}

// Without an offscreen picture, double-buffered: the frame drawn at the
// window's bottom-left corner is kept in a texture, drawn from there to its
// place, and drawn back to the corner of the new back buffer after the swap,
// which leaves the back buffer undefined. So reading right after Flip gives
// the frame just presented, as with an offscreen picture, and the grab the
// game makes for its pause backdrop is the frame, not the present.
void PresentDirectKept(TGLContext* rec, const TPlacement& p, int dw, int dh)
{
    BeginWindowPixels(GL_CURRENT_BIT | GL_TEXTURE_BIT | GL_POLYGON_BIT, dw, dh);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glBindTexture(GL_TEXTURE_2D, rec->kept);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, rec->width, rec->height);
    int y0 = dh - p.y - p.h;
    if (p.w > 0 && (p.x != 0 || y0 != 0 || p.scale != 1)) {
        glEnable(GL_TEXTURE_2D);
        DrawKeptPicture(rec, p.x, y0, p.scale);
        glDisable(GL_TEXTURE_2D);
    }
    if (p.w > 0) ClearBars(p, dw, dh);  // else the window shows what fits of the corner
    Swap(rec);
    glEnable(GL_TEXTURE_2D);
    DrawKeptPicture(rec, 0, 0, 1);
    EndWindowPixels();
}

void PresentDirect(TGLContext* rec, const TPlacement& p, int dw, int dh)
{
    if ((rec->flags & GFX_BACKBUFFER) && EnsureKeptPicture(rec))
        PresentDirectKept(rec, p, dw, dh);
    else
        PresentDirectInPlace(rec, p, dw, dh);
}

}  // namespace

const TGLContextSettings& GLContextSettings(const TGLContext& context) { return context; }

void DestroyGLContext(TGLContext* context) { DestroyRecord(context); }

std::vector<TGraphicsMode> TGLGraphicsDriver::GraphicsModes()
{
    std::vector<TGraphicsMode> modes;
    if (!EnsureVideo()) return modes;
    int n = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < n && int(modes.size()) < MAX_MODES; ++i) {
        SDL_DisplayMode dm;
        if (SDL_GetDisplayMode(0, i, &dm) != 0) continue;
        int bpp = int(SDL_BITSPERPIXEL(dm.format));
        if (bpp < 16) continue;
        modes.push_back(TGraphicsMode{dm.w, dm.h, bpp, dm.refresh_rate});
    }
    return modes;
}

std::shared_ptr<TGraphics> TGLGraphicsDriver::AttachGraphics(void* widget, int flags)
{
    if (!widget) {
        SetLastGraphicsError("No window to attach to");
        return nullptr;
    }
    if (!EnsureVideo() || !EnsureSharedContext()) return nullptr;
    SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
    SDL_Window* foreign = SDL_CreateWindowFrom(widget);
    if (!foreign) {
        SetLastGraphicsError(std::string("Unable to attach to the window: ") + SDL_GetError());
        return nullptr;
    }
    auto* rec = new TGLContext;
    rec->kind = KIND_ATTACHED;
    SDL_GetWindowSize(foreign, &rec->width, &rec->height);
    rec->flags = flags;
    if (rec->width <= 0 || rec->height <= 0 || !OpenContext(rec, foreign)) {
        if (!rec->window) SDL_DestroyWindow(foreign);
        DestroyRecord(rec);
        return nullptr;
    }
    rec->next = Driver().contexts;
    Driver().contexts = rec;
    HookEvents();
    return std::make_shared<TGLGraphics>(rec);
}

std::shared_ptr<TGraphics> TGLGraphicsDriver::CreateGraphics(int width, int height, int depth, int hertz, int flags)
{
    if (width <= 0 || height <= 0) {
        SetLastGraphicsError("Graphics size must be positive");
        return nullptr;
    }
    if (!EnsureVideo() || !EnsureSharedContext()) return nullptr;

    auto* rec = new TGLContext;
    rec->kind = depth ? KIND_FULLSCREEN : KIND_WINDOW;
    rec->width = width;
    rec->height = height;
    rec->flags = flags;
    rec->hertz = hertz;
    if (depth) {
        // The display is not switched (the picture is scaled instead), but
        // the mode the display would take still decides what is recorded.
        TGraphicsMode chosen;
        if (!ChooseMode(GraphicsModes(), width, height, depth, hertz, chosen)) {
            SDL_DisplayMode desk;
            if (SDL_GetDesktopDisplayMode(0, &desk) == 0) {
                chosen.depth = int(SDL_BITSPERPIXEL(desk.format));
                chosen.hertz = desk.refresh_rate ? desk.refresh_rate : hertz;
            } else {
                chosen.depth = 32;
                chosen.hertz = hertz;
            }
        }
        rec->depth = chosen.depth;
        rec->hertz = chosen.hertz;
    }
    if (!OpenContext(rec, nullptr)) {
        DestroyRecord(rec);
        return nullptr;
    }
    SDL_Rect screen{0, 0, width, height};
    if (rec->direct && SDL_GetDisplayBounds(0, &screen) == 0 && (screen.w < width || screen.h < height)) {
        // Drawn straight into the window, the picture cannot be scaled down.
        SetLastGraphicsError("OpenGL here has no framebuffer objects, so the " + std::to_string(width) + "x" +
                             std::to_string(height) + " picture needs a screen at least that large (the screen is " +
                             std::to_string(screen.w) + "x" + std::to_string(screen.h) + ")");
        DestroyRecord(rec);
        return nullptr;
    }
    rec->next = Driver().contexts;
    Driver().contexts = rec;
    HookEvents();
    SetGraphicsVerticalBlankAvailable(rec->swap_control);
    SDL_ShowWindow(rec->window);
    if (rec->kind == KIND_FULLSCREEN) {
        if (!IsFullScreen(rec->window) && SDL_SetWindowFullscreen(rec->window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
            DestroyRecord(rec);
            throw TRuntimeException(DISPLAY_MODE_ERROR);
        }
        rec->owner = true;
        SDL_RaiseWindow(rec->window);
    }
    return std::make_shared<TGLGraphics>(rec);
}

void TGLGraphicsDriver::SetGraphics(const std::shared_ptr<TGraphics>& g)
{
    TDriverState& d = Driver();
    auto* gl = dynamic_cast<TGLGraphics*>(g.get());
    TGLContext* rec = gl ? gl->_context : nullptr;
    if (rec == d.current) return;
    d.current = rec;
    if (!VideoUp()) return;
    MakeCurrent(rec);
    if (rec) ReportMapping(rec);
}

void TGLGraphicsDriver::Flip(int sync)
{
    TDriverState& d = Driver();
    TGLContext* rec = d.current;
    if (!rec || !VideoUp()) return;
    if (rec->display_failed) {
        rec->display_failed = false;
        throw TRuntimeException(DISPLAY_MODE_ERROR);
    }
    int interval = sync != 0 ? 1 : 0;
    if (interval != rec->swap_interval) {
        SDL_GL_SetSwapInterval(interval);  // quietly ignored without the extension
        rec->swap_interval = interval;
    }

    ApplyWindowOptions(rec);
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(rec->window, &dw, &dh);
    TPlacement p = Place(rec, dw, dh);
    if (rec->direct)
        PresentDirect(rec, p, dw, dh);
    else
        PresentOffscreen(rec, p, dw, dh);
    ReportMapping(rec);
}

void TGLGraphicsDriver::SwapSharedContext()
{
    TDriverState& d = Driver();
    if (!d.shared_gl || !VideoUp()) return;
    if (!d.pair_open) {
        d.pair_open = true;
        // Every context shares the shared context's objects, so a texture made
        // in the current one outlives its window just the same; staying put
        // spares two context switches and the flushes they imply, which break
        // up a software rasteriser's frame. Only the texture bindings the 2D
        // driver caches need keeping (read once per texture, never per frame).
        d.pair_switched = !d.current || SDL_GL_GetCurrentContext() != d.current->gl;
        if (d.pair_switched) {
            SDL_GL_MakeCurrent(d.shared_window, d.shared_gl);
        } else {
            GLint bound = 0;
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
            d.pair_binding = GLuint(bound);
        }
        return;
    }
    d.pair_open = false;
    if (!d.pair_switched) {
        // A deleted texture's name is free again and must not be revived.
        if (d.pair_binding && glIsTexture(d.pair_binding)) glBindTexture(GL_TEXTURE_2D, d.pair_binding);
        return;
    }
    // Another context uses the objects next: the work must be finished.
    glFlush();
    MakeCurrent(d.current);
}

bool TGLGraphicsDriver::SetProfile(TGLProfile profile)
{
    TDriverState& d = Driver();
    if (profile == d.profile) return true;
    if (d.contexts) {
        SetLastGraphicsError("OpenGL contexts of another kind are still open");
        return false;
    }
    // The shared context is of the old kind: it goes, and with the last
    // OpenGL window SDL unloads the library it took for it.
    if (d.shared_gl && VideoUp()) {
        SDL_GL_MakeCurrent(nullptr, nullptr);
        SDL_GL_DeleteContext(d.shared_gl);
        SDL_DestroyWindow(d.shared_window);
    }
    d.shared_gl = nullptr;
    d.shared_window = nullptr;
    d.current = nullptr;
    // The entry points belong to the library of the old kind.
    d.fbo = TFboProcs{};
    d.fbo_checked = false;
    d.profile = profile;
    // Under X11 SDL asks GLX for an ES context where GLX offers one, and
    // EGL otherwise (SDL_VIDEO_X11_FORCE_EGL=1 makes it EGL always): with
    // Mesa's software rasteriser an EGL present costs several GLX ones.
    return true;
}

TGLProfile TGLGraphicsDriver::Profile() const { return Driver().profile; }

bool TGLGraphicsDriver::TexturesAlive(int seq) const { return Driver().shared_gl && seq >= Driver().shared_since; }

bool TGLGraphicsDriver::DrawsOffscreen() const { return Driver().fbo.loaded; }

bool TGLGraphicsDriver::DrawsInSoftware() const { return Driver().current && Driver().current->software; }

TGLGraphicsDriver* GLGraphicsDriver()
{
    static TGLGraphicsDriver driver;
    return &driver;
}
