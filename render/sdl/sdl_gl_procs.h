// The OpenGL calls the desktop backend makes in a context of any kind, taken
// from the current context through SDL: a core or ES context may come from a
// library other than the one linked (a vendor's GLES stack beside Mesa's
// libGL), where a call through libGL would reach another driver or none.
// Only the fixed-function present (compatibility contexts) calls libGL.
#pragma once

#include <SDL_opengl.h>

namespace kelvora {

struct TGLProcs {
    // Framebuffer objects: core/ARB names, or the older EXT ones.
    bool fbo = false;
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

    // What every kind of context has.
    bool basic = false;
    void(APIENTRY* BindTexture)(GLenum, GLuint) = nullptr;
    void(APIENTRY* Clear)(GLbitfield) = nullptr;
    void(APIENTRY* ClearColor)(GLfloat, GLfloat, GLfloat, GLfloat) = nullptr;
    void(APIENTRY* ColorMask)(GLboolean, GLboolean, GLboolean, GLboolean) = nullptr;
    void(APIENTRY* DeleteTextures)(GLsizei, const GLuint*) = nullptr;
    void(APIENTRY* Disable)(GLenum) = nullptr;
    void(APIENTRY* Enable)(GLenum) = nullptr;
    void(APIENTRY* Flush)() = nullptr;
    void(APIENTRY* GetBooleanv)(GLenum, GLboolean*) = nullptr;
    void(APIENTRY* GetFloatv)(GLenum, GLfloat*) = nullptr;
    void(APIENTRY* GetIntegerv)(GLenum, GLint*) = nullptr;
    const GLubyte*(APIENTRY* GetString)(GLenum) = nullptr;
    GLboolean(APIENTRY* IsEnabled)(GLenum) = nullptr;
    GLboolean(APIENTRY* IsTexture)(GLuint) = nullptr;
    void(APIENTRY* Scissor)(GLint, GLint, GLsizei, GLsizei) = nullptr;
    void(APIENTRY* Viewport)(GLint, GLint, GLsizei, GLsizei) = nullptr;

    // Where the context tells of resets (robustness, reset notification
    // on): null otherwise.
    GLenum(APIENTRY* GetGraphicsResetStatus)() = nullptr;
};

// With a context current: the whole table. False when a call every
// context needs is missing; fbo tells whether framebuffer objects can be
// used, GetGraphicsResetStatus whether resets are reported.
bool LoadGLProcs(TGLProcs& procs);

// The major version of the current context (OpenGL or OpenGL ES), 0 unknown.
int GLMajorVersion(const TGLProcs& procs);
// Whether the current context is OpenGL ES.
bool GLIsES(const TGLProcs& procs);

}  // namespace kelvora
