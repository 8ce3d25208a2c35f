// A context reset (the GPU hung, the driver was updated) takes every object
// of the share group with it. Robust contexts report it; then every context
// is made again in its own window, and the game goes on drawing into them.
#include "render/sdl/sdl_gl_reset.h"

#include <climits>
#include <string>

#include "render/sdl/sdl_gl_state.h"
#include "kelvora/runtime/errors.h"

namespace kelvora {

void SimulateGLContextReset() { Driver().reset_simulated = true; }

bool RecoverFromReset()
{
    TDriverState& d = Driver();
    const bool reset = d.reset_simulated || (d.gl.GetGraphicsResetStatus && d.gl.GetGraphicsResetStatus() != GL_NO_ERROR);
    if (!reset || !d.shared_gl) return false;
    d.reset_simulated = false;
    // The drivers forget what they made: those names mean nothing now, and
    // nothing can be deleted in a lost context.
    for (TGLContext* c = d.contexts; c; c = c->next)
        if (c->gl) NotifyGLContextHooks(c->gl, true);
    NotifyGLContextHooks(d.shared_gl, true);
    MakeCurrent(nullptr);
    for (TGLContext* c = d.contexts; c; c = c->next) {
        if (c->gl) SDL_GL_DeleteContext(c->gl);
        c->gl = nullptr;
        c->fbo = c->color_rb = c->depth_rb = c->kept = 0;
    }
    SDL_GL_DeleteContext(d.shared_gl);
    d.shared_gl = nullptr;
    d.pair_open = false;
    bool ok = RemakeSharedContext();
    for (TGLContext* c = d.contexts; c && ok; c = c->next) {
        SDL_GL_MakeCurrent(d.shared_window, d.shared_gl);
        ok = RemakeContext(c);
    }
    if (!ok) {
        MakeCurrent(nullptr);
        throw TRuntimeException(std::string("The OpenGL contexts were reset and cannot be made again: ") +
                                SDL_GetError());
    }
    MakeCurrent(d.current);
    // Textures made before went with the old contexts: none may be deleted
    // by name (the name may be a new texture's) and images make theirs again.
    d.shared_since = INT_MAX;
    GraphicsObjectsLost();
    d.shared_since = GraphicsSeq();
    // The 2D driver sets up its state in the new context.
    if (std::shared_ptr<TGraphics> g = CurrentGraphics()) SetGraphics(g);
    return true;
}

}  // namespace kelvora
