#include "render/gl/foreign_egl_surface.h"

#include <SDL_syswm.h>

#if __has_include(<EGL/egl.h>) && defined(SDL_VIDEO_DRIVER_X11) && !defined(__EMSCRIPTEN__)
#define EGL_NO_PROTOTYPES 1
#include <EGL/egl.h>
#include <dlfcn.h>
#endif

namespace kelvora {

#if __has_include(<EGL/egl.h>) && defined(SDL_VIDEO_DRIVER_X11) && !defined(__EMSCRIPTEN__)

namespace {

// Taken from the EGL library SDL has loaded, if it has: no link-time EGL
// library. (Asked of SDL, a GLX library may hand out stubs for these names.)
struct TEglProcs {
    PFNEGLGETCURRENTDISPLAYPROC GetCurrentDisplay = nullptr;
    PFNEGLGETCURRENTCONTEXTPROC GetCurrentContext = nullptr;
    PFNEGLQUERYCONTEXTPROC QueryContext = nullptr;
    PFNEGLCHOOSECONFIGPROC ChooseConfig = nullptr;
    PFNEGLCREATEWINDOWSURFACEPROC CreateWindowSurface = nullptr;
    PFNEGLDESTROYSURFACEPROC DestroySurface = nullptr;
    PFNEGLMAKECURRENTPROC MakeCurrent = nullptr;
    PFNEGLSWAPBUFFERSPROC SwapBuffers = nullptr;
};

template <class F>
bool Load(F& f, void* library, const char* name)
{
    f = reinterpret_cast<F>(dlsym(library, name));
    return f != nullptr;
}

bool LoadEgl(TEglProcs& e)
{
    void* library = dlopen("libEGL.so.1", RTLD_LAZY | RTLD_NOLOAD);  // loaded by SDL, or not at all
    if (!library) return false;
    const bool loaded =
        Load(e.GetCurrentDisplay, library, "eglGetCurrentDisplay") &
        Load(e.GetCurrentContext, library, "eglGetCurrentContext") & Load(e.QueryContext, library, "eglQueryContext") &
        Load(e.ChooseConfig, library, "eglChooseConfig") &
        Load(e.CreateWindowSurface, library, "eglCreateWindowSurface") &
        Load(e.DestroySurface, library, "eglDestroySurface") & Load(e.MakeCurrent, library, "eglMakeCurrent") &
        Load(e.SwapBuffers, library, "eglSwapBuffers");
    dlclose(library);  // SDL holds it open while its context lives
    return loaded;
}

struct TForeignSurface {
    TEglProcs egl;
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLSurface surface = EGL_NO_SURFACE;
};

}  // namespace

void* CreateForeignEglSurface(SDL_Window* window, const char** error)
{
    *error = nullptr;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
    auto* s = new TForeignSurface;
    EGLContext context = EGL_NO_CONTEXT;
    if (LoadEgl(s->egl)) {
        s->display = s->egl.GetCurrentDisplay();
        context = s->egl.GetCurrentContext();
    }
    if (s->display == EGL_NO_DISPLAY || context == EGL_NO_CONTEXT) {  // not an EGL context
        delete s;
        return nullptr;
    }
    // The surface takes the context's own configuration.
    EGLint id = 0, count = 0;
    EGLConfig config = nullptr;
    s->egl.QueryContext(s->display, context, EGL_CONFIG_ID, &id);
    const EGLint attributes[] = {EGL_CONFIG_ID, id, EGL_NONE};
    if (id && s->egl.ChooseConfig(s->display, attributes, &config, 1, &count) && count == 1)
        s->surface = s->egl.CreateWindowSurface(s->display, config,
                                                static_cast<EGLNativeWindowType>(info.info.x11.window), nullptr);
    if (s->surface == EGL_NO_SURFACE) {
        *error = "EGL cannot draw into the window";
        delete s;
        return nullptr;
    }
    BindForeignEglSurface(s);
    return s;
}

void BindForeignEglSurface(void* surface)
{
    auto* s = static_cast<TForeignSurface*>(surface);
    if (s) s->egl.MakeCurrent(s->display, s->surface, s->surface, s->egl.GetCurrentContext());
}

void SwapForeignEglSurface(void* surface)
{
    auto* s = static_cast<TForeignSurface*>(surface);
    if (s) s->egl.SwapBuffers(s->display, s->surface);
}

void DestroyForeignEglSurface(void* surface)
{
    auto* s = static_cast<TForeignSurface*>(surface);
    if (!s) return;
    s->egl.DestroySurface(s->display, s->surface);
    delete s;
}

#else

void* CreateForeignEglSurface(SDL_Window*, const char** error)
{
    *error = nullptr;
    return nullptr;
}
void BindForeignEglSurface(void*) {}
void SwapForeignEglSurface(void*) {}
void DestroyForeignEglSurface(void*) {}

#endif

}  // namespace kelvora
