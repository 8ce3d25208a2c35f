#include "render/gl/software_renderer.h"

#include <SDL.h>
#include <SDL_opengl.h>

#include <cstring>
#include <initializer_list>

#if __has_include(<GL/glx.h>)
#include <GL/glx.h>
#include <GL/glxext.h>
#define KV_HAVE_GLX 1
#endif

namespace kelvora {

int GLRendererAccelerated()
{
#ifdef KV_HAVE_GLX
    const char* video = SDL_GetCurrentVideoDriver();
    if (!video || std::strcmp(video, "x11") != 0) return -1;
    Display* display = glXGetCurrentDisplay();
    GLXContext context = glXGetCurrentContext();
    if (!display || !context) return -1;
    int screen = 0;
    if (glXQueryContext(display, context, GLX_SCREEN, &screen) != Success) return -1;
    // Whole-word match: one extension's name can start another's.
    const char* list = glXQueryExtensionsString(display, screen);
    const char* name = "GLX_MESA_query_renderer";
    const size_t len = std::strlen(name);
    bool offered = false;
    for (const char* at = list; at && (at = std::strstr(at, name)) != nullptr; at += len) {
        if ((at == list || at[-1] == ' ') && (at[len] == ' ' || at[len] == '\0')) {
            offered = true;
            break;
        }
    }
    if (!offered) return -1;
    auto query = reinterpret_cast<PFNGLXQUERYCURRENTRENDERERINTEGERMESAPROC>(
        glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXQueryCurrentRendererIntegerMESA")));
    unsigned value = 0;
    if (!query || !query(GLX_RENDERER_ACCELERATED_MESA, &value)) return -1;
    return value ? 1 : 0;
#else
    return -1;
#endif
}

bool SoftwareRendererName(const char* renderer)
{
    if (!renderer) return false;
    for (const char* known : {"llvmpipe", "softpipe", "swrast", "Software", "SwiftShader", "GDI Generic",
                              "Basic Render Driver"})
        if (std::strstr(renderer, known)) return true;
    return false;
}

bool GLRendersInSoftware()
{
    int accelerated = GLRendererAccelerated();
    if (accelerated >= 0) return accelerated == 0;
    // From the context's own library: a core or ES context need not be libGL's.
    auto get_string = reinterpret_cast<const GLubyte*(APIENTRY*)(GLenum)>(SDL_GL_GetProcAddress("glGetString"));
    return get_string && SoftwareRendererName(reinterpret_cast<const char*>(get_string(GL_RENDERER)));
}

}  // namespace kelvora
