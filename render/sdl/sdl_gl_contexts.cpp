// Context kinds, the hidden shared context, and each window's context with
// its offscreen picture.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "render/gl/foreign_egl_surface.h"
#include "render/gl/software_renderer.h"
#include "render/sdl/sdl_gl_state.h"

namespace kelvora {

namespace {

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

// A robust context reports a reset (a driver update, a hung GPU) instead
// of going on with undefined contents. Every context of a share group must
// be of the same kind, so the shared context decides for all.
void SetRobustAttributes(bool robust)
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, robust ? SDL_GL_CONTEXT_ROBUST_ACCESS_FLAG : 0);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_RESET_NOTIFICATION,
                        robust ? SDL_GL_CONTEXT_RESET_LOSE_CONTEXT : SDL_GL_CONTEXT_RESET_NO_NOTIFICATION);
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
        auto get_string = reinterpret_cast<const GLubyte*(APIENTRY*)(GLenum)>(SDL_GL_GetProcAddress("glGetString"));
        if (c && get_string) {
            const char* version = reinterpret_cast<const char*>(get_string(GL_VERSION));
            int major = 0, minor = 0;
            if (version && std::strstr(version, "Mesa") && std::sscanf(version, "%d.%d", &major, &minor) == 2 &&
                major * 10 + minor < 33)
                why = std::string("MESA_EXTENSION_OVERRIDE leaves Mesa at OpenGL ") + version +
                      ", below the 3.3 core profile";
        }
        if (c) {
            SDL_GL_MakeCurrent(nullptr, nullptr);
            SDL_GL_DeleteContext(c);
        }
        if (w) SDL_DestroyWindow(w);
        return why;
    }();
    return verdict;
}

// The shared context's attributes: robust while robust is true.
void SetSharedAttributes(bool robust)
{
    SDL_GL_ResetAttributes();
    SetProfileAttributes(Driver().profile);
    SetRobustAttributes(robust);
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
}

// Pixel format wishes of the flags, for the window's own framebuffer.
void SetAttributes(int flags, bool accum)
{
    SDL_GL_ResetAttributes();
    SetProfileAttributes(Driver().profile);
    SetRobustAttributes(Driver().robust);
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

const char* ProfileName(TGLProfile profile)
{
    return profile == TGLProfile::Core ? "OpenGL 3.3 core" : profile == TGLProfile::ES ? "OpenGL ES 3.0" : "OpenGL";
}

// With rec's context current: the offscreen picture, cleared to black.
// Without framebuffer objects the window's own buffers are the picture.
bool CreateFramebuffer(TGLContext* rec)
{
    const TGLProcs& p = Driver().gl;
    if (!p.fbo) {
        rec->direct = true;
        p.Viewport(0, 0, rec->width, rec->height);
        p.ClearColor(0, 0, 0, 1);
        p.Clear(GL_COLOR_BUFFER_BIT);
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
    p.Viewport(0, 0, rec->width, rec->height);
    p.ClearColor(0, 0, 0, 1);
    p.Clear(GL_COLOR_BUFFER_BIT | ((rec->flags & GFX_DEPTHBUFFER) ? GL_DEPTH_BUFFER_BIT : 0) |
            ((rec->flags & GFX_STENCILBUFFER) ? GL_STENCIL_BUFFER_BIT : 0));
    return true;
}

// With rec's new context current: what OpenContext sets up after making it.
bool SetUpContext(TGLContext* rec)
{
    rec->software = GLRendersInSoftware();
    if (!CreateFramebuffer(rec)) {
        SetLastGraphicsError("Unable to create the offscreen framebuffer");
        return false;
    }
    // Without swap control no flip ever waits (Xvfb, some remote displays).
    rec->swap_control = SDL_GL_SetSwapInterval(0) == 0;
    rec->swap_interval = rec->swap_control ? 0 : -1;
    return true;
}

// Runs before the OpenGL libraries tear themselves down at exit (it is
// registered after they were loaded): what the program's statics release
// later (images in globals) must not call into them.
void FinishAtExit() { Driver().finished = true; }

}  // namespace

void DropSharedContext()
{
    TDriverState& d = Driver();
    SDL_GL_MakeCurrent(nullptr, nullptr);
    if (d.shared_gl) SDL_GL_DeleteContext(d.shared_gl);
    if (d.shared_window) SDL_DestroyWindow(d.shared_window);
    d.shared_gl = nullptr;
    d.shared_window = nullptr;
    d.gl = TGLProcs{};
}

void MakeCurrent(TGLContext* rec)
{
    if (rec) {
        SDL_GL_MakeCurrent(rec->window, rec->gl);
        BindForeignEglSurface(rec->egl_surface);
    } else
        SDL_GL_MakeCurrent(nullptr, nullptr);
}

// Under EGL SDL makes a context for the configuration it chose for the
// window it made last, whichever window the context is for: the hidden
// window is made again with the context, and a stand-in window of the
// same attributes comes before each window's context.
bool RemakeSharedContext()
{
    TDriverState& d = Driver();
    SetSharedAttributes(d.robust);
    // The new window first: with the last OpenGL window SDL unloads the library.
    SDL_Window* window = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) return false;
    SDL_DestroyWindow(d.shared_window);
    d.shared_window = window;
    d.shared_gl = SDL_GL_CreateContext(d.shared_window);
    if (!d.shared_gl) return false;
    // Entry points of the same library: only the reset status is the new context's.
    TGLProcs procs;
    if (!LoadGLProcs(procs) || procs.fbo != d.gl.fbo) return false;
    d.gl = procs;
    return true;
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
    SetSharedAttributes(true);
    d.shared_window = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!d.shared_window) {
        SetLastGraphicsError(std::string("Unable to create an OpenGL window: ") + SDL_GetError());
        return false;
    }
    // Robust where the driver makes such contexts, an ordinary one otherwise.
    for (bool robust : {true, false}) {
        SetSharedAttributes(robust);
        d.shared_gl = SDL_GL_CreateContext(d.shared_window);
        d.robust = robust;
        if (d.shared_gl) break;
    }
    if (!d.shared_gl) {
        SetLastGraphicsError(std::string("Unable to create an OpenGL context: ") + SDL_GetError());
        DropSharedContext();
        return false;
    }
    if (!LoadGLProcs(d.gl)) {
        SetLastGraphicsError("Unable to create an OpenGL context: OpenGL entry points are missing");
        DropSharedContext();
        return false;
    }
    // A core or ES context has no fixed-function present to fall back on.
    if (d.profile != TGLProfile::Legacy && !d.gl.fbo) {
        SetLastGraphicsError(std::string("Unable to create an OpenGL context: the ") + ProfileName(d.profile) +
                             " context offers no framebuffer objects");
        DropSharedContext();
        return false;
    }
    if (d.shared_ended) {
        // Textures made under this GraphicsSeq went with the last one.
        d.shared_ended = false;
        GraphicsObjectsLost();
    }
    d.shared_since = GraphicsSeq();
    // The OpenGL library stays loaded to the end of the run, whatever
    // Shutdown ends: unloaded with the last window, it would take the code
    // of its own lasting allocations with it (reported at exit as leaks in
    // unknown code, as EGL's on Wayland are), and a later Init would load it
    // anew.
    if (!d.library_kept) {
        d.library_kept = SDL_GL_LoadLibrary(nullptr) == 0;
        // Registered once the library and its driver have loaded, so it
        // runs before their own teardown at exit; once, as they load once.
        std::atexit(FinishAtExit);
    }
    MakeCurrent(d.current);
    return true;
}

void DeleteContextObjects(TGLContext* rec)
{
    const TGLProcs& p = Driver().gl;
    if (rec->fbo) p.BindFramebuffer(GL_FRAMEBUFFER, 0);
    if (rec->fbo) p.DeleteFramebuffers(1, &rec->fbo);
    if (rec->color_rb) p.DeleteRenderbuffers(1, &rec->color_rb);
    if (rec->depth_rb) p.DeleteRenderbuffers(1, &rec->depth_rb);
    if (rec->kept) p.DeleteTextures(1, &rec->kept);
    rec->fbo = rec->color_rb = rec->depth_rb = rec->kept = 0;
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
            DeleteContextObjects(rec);
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

bool OpenContext(TGLContext* rec, SDL_Window* foreign)
{
    TDriverState& d = Driver();
    Uint32 wflags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    rec->direct = !d.gl.fbo;  // decides the window's size below
    if (rec->kind == KIND_FULLSCREEN) wflags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
    // The window's pixel format only needs what the flags ask for; an
    // accumulation buffer is dropped when no format offers one.
    for (bool accum : {true, false}) {
        if (!accum && !(rec->flags & GFX_ACCUMBUFFER)) break;
        SetAttributes(rec->flags, accum);
        rec->accum = accum;
        SDL_GL_MakeCurrent(d.shared_window, d.shared_gl);
        rec->window = foreign ? foreign : CreateWindowFor(rec, wflags);
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
    if (rec->kind != KIND_ATTACHED) ApplyMinimumSize(rec);
    if (!SetUpContext(rec)) return false;
    ApplyWindowOptions(rec);
    MakeCurrent(d.current);
    return true;
}

bool RemakeContext(TGLContext* rec)
{
    SetAttributes(rec->flags, rec->accum);
    SDL_Window* stand_in = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!stand_in) return false;
    SDL_DestroyWindow(stand_in);
    rec->gl = SDL_GL_CreateContext(rec->window);
    SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, 0);
    if (!rec->gl) return false;
    MakeCurrent(rec);
    const int interval = rec->swap_interval;
    if (!SetUpContext(rec)) return false;
    // Flip sets the interval it wants again.
    if (interval != rec->swap_interval) rec->swap_interval = -1;
    return true;
}

}  // namespace kelvora
