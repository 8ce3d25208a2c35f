#include "render/sdl/sdl_gl_procs.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

namespace kelvora {

namespace {

template <class F>
bool Load(F& f, const char* name)
{
    f = reinterpret_cast<F>(SDL_GL_GetProcAddress(name));
    return f != nullptr;
}

const char* Version(const TGLProcs& p) { return reinterpret_cast<const char*>(p.GetString(GL_VERSION)); }

bool LoadBasic(TGLProcs& p)
{
    bool ok = true;
#define KV_GL_LOAD(name) ok = Load(p.name, "gl" #name) && ok
    KV_GL_LOAD(BindTexture);
    KV_GL_LOAD(Clear);
    KV_GL_LOAD(ClearColor);
    KV_GL_LOAD(ColorMask);
    KV_GL_LOAD(DeleteTextures);
    KV_GL_LOAD(Disable);
    KV_GL_LOAD(Enable);
    KV_GL_LOAD(Flush);
    KV_GL_LOAD(GetBooleanv);
    KV_GL_LOAD(GetFloatv);
    KV_GL_LOAD(GetIntegerv);
    KV_GL_LOAD(GetString);
    KV_GL_LOAD(IsEnabled);
    KV_GL_LOAD(IsTexture);
    KV_GL_LOAD(Scissor);
    KV_GL_LOAD(Viewport);
#undef KV_GL_LOAD
    return ok;
}

bool LoadFbo(TGLProcs& p)
{
    // OpenGL ES has them from 2.0, OpenGL from 3.0 or with the ARB extension.
    const bool core = GLIsES(p) || GLMajorVersion(p) >= 3 || SDL_GL_ExtensionSupported("GL_ARB_framebuffer_object");
    const bool ext = !core && SDL_GL_ExtensionSupported("GL_EXT_framebuffer_object") &&
                     SDL_GL_ExtensionSupported("GL_EXT_framebuffer_blit");
    if (!core && !ext) return false;
    auto pick = [core](const char* a, const char* b) { return core ? a : b; };
    return Load(p.GenFramebuffers, pick("glGenFramebuffers", "glGenFramebuffersEXT")) &&
           Load(p.DeleteFramebuffers, pick("glDeleteFramebuffers", "glDeleteFramebuffersEXT")) &&
           Load(p.BindFramebuffer, pick("glBindFramebuffer", "glBindFramebufferEXT")) &&
           Load(p.GenRenderbuffers, pick("glGenRenderbuffers", "glGenRenderbuffersEXT")) &&
           Load(p.DeleteRenderbuffers, pick("glDeleteRenderbuffers", "glDeleteRenderbuffersEXT")) &&
           Load(p.BindRenderbuffer, pick("glBindRenderbuffer", "glBindRenderbufferEXT")) &&
           Load(p.RenderbufferStorage, pick("glRenderbufferStorage", "glRenderbufferStorageEXT")) &&
           Load(p.FramebufferRenderbuffer, pick("glFramebufferRenderbuffer", "glFramebufferRenderbufferEXT")) &&
           Load(p.CheckFramebufferStatus, pick("glCheckFramebufferStatus", "glCheckFramebufferStatusEXT")) &&
           Load(p.BlitFramebuffer, pick("glBlitFramebuffer", "glBlitFramebufferEXT"));
}

// Reset notification is a property of the context; without it the status
// never changes, so it is not asked for.
void LoadResetStatus(TGLProcs& p)
{
    constexpr GLenum RESET_NOTIFICATION_STRATEGY = 0x8256, LOSE_CONTEXT_ON_RESET = 0x8252;
    GLint strategy = 0;
    p.GetIntegerv(RESET_NOTIFICATION_STRATEGY, &strategy);
    if (strategy != GLint(LOSE_CONTEXT_ON_RESET)) return;
    // Desktop OpenGL names the KHR calls without a suffix, OpenGL ES with one.
    if (SDL_GL_ExtensionSupported("GL_ARB_robustness")) {
        Load(p.GetGraphicsResetStatus, "glGetGraphicsResetStatusARB");
    } else if (SDL_GL_ExtensionSupported("GL_KHR_robustness")) {
        if (!Load(p.GetGraphicsResetStatus, "glGetGraphicsResetStatus"))
            Load(p.GetGraphicsResetStatus, "glGetGraphicsResetStatusKHR");
    } else if (SDL_GL_ExtensionSupported("GL_EXT_robustness")) {
        Load(p.GetGraphicsResetStatus, "glGetGraphicsResetStatusEXT");
    }
}

}  // namespace

bool LoadGLProcs(TGLProcs& p)
{
    p = TGLProcs{};
    if (!LoadBasic(p)) {
        p = TGLProcs{};
        return false;
    }
    p.basic = true;
    TGLProcs fbo = p;
    if (LoadFbo(fbo)) {
        p = fbo;  // never half a set
        p.fbo = true;
    }
    LoadResetStatus(p);
    return true;
}

int GLMajorVersion(const TGLProcs& p)
{
    const char* version = Version(p);
    if (version && std::strncmp(version, "OpenGL ES ", 10) == 0) version += 10;
    return version ? std::atoi(version) : 0;
}

bool GLIsES(const TGLProcs& p)
{
    const char* version = Version(p);
    return version && std::strncmp(version, "OpenGL ES", 9) == 0;
}

}  // namespace kelvora
