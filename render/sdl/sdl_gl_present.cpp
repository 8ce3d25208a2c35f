// Flip's present: the offscreen picture blitted into the window, centred
// with black bars, then the swap. Runs in contexts of every kind, so every
// call goes through the context's own entry points.
#include "render/gl/foreign_egl_surface.h"
#include "render/sdl/sdl_gl_state.h"

namespace kelvora {

namespace {

// Core and ES contexts have no attribute stack: what the present touches is
// read before and put back after.
struct TSavedPresentState {
    GLboolean scissor = GL_FALSE, mask[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
    GLint box[4] = {0, 0, 0, 0};
    GLfloat clear[4] = {0, 0, 0, 0};
    void Save(const TGLProcs& gl)
    {
        scissor = gl.IsEnabled(GL_SCISSOR_TEST);
        gl.GetBooleanv(GL_COLOR_WRITEMASK, mask);
        gl.GetIntegerv(GL_SCISSOR_BOX, box);
        gl.GetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    }
    void Restore(const TGLProcs& gl)
    {
        gl.ColorMask(mask[0], mask[1], mask[2], mask[3]);
        gl.Scissor(box[0], box[1], box[2], box[3]);
        if (scissor) gl.Enable(GL_SCISSOR_TEST);
        gl.ClearColor(clear[0], clear[1], clear[2], clear[3]);
    }
};

}  // namespace

// Clears what lies around the picture (bottom-left origin), nothing else.
void ClearBars(const TPlacement& p, int dw, int dh)
{
    const TGLProcs& gl = Driver().gl;
    int y0 = dh - p.y - p.h;
    const int bars[4][4] = {{0, 0, p.x, dh},
                            {p.x + p.w, 0, dw - p.x - p.w, dh},
                            {p.x, 0, p.w, y0},
                            {p.x, y0 + p.h, p.w, dh - y0 - p.h}};
    gl.ClearColor(0, 0, 0, 1);
    gl.Enable(GL_SCISSOR_TEST);
    for (const auto& b : bars) {
        if (b[2] <= 0 || b[3] <= 0) continue;
        gl.Scissor(b[0], b[1], b[2], b[3]);
        gl.Clear(GL_COLOR_BUFFER_BIT);
    }
    gl.Disable(GL_SCISSOR_TEST);
}

void Swap(TGLContext* rec)
{
    if (rec->egl_surface)
        SwapForeignEglSurface(rec->egl_surface);
    else if (rec->flags & GFX_BACKBUFFER)
        SDL_GL_SwapWindow(rec->window);
    else
        Driver().gl.Flush();
}

// The offscreen picture blitted into the window; the drawing state kept
// between frames is saved and restored without asking GL for it where the
// context has an attribute stack.
void PresentOffscreen(TGLContext* rec, const TPlacement& p, int /*dw*/, int dh, const uint8_t* cleared)
{
    const TGLProcs& gl = Driver().gl;
    const bool stack = Driver().profile == TGLProfile::Legacy;
    TSavedPresentState saved;
    if (stack)
        glPushAttrib(GL_COLOR_BUFFER_BIT | GL_SCISSOR_BIT | GL_ENABLE_BIT);  // compatibility contexts only
    else
        saved.Save(gl);
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, rec->fbo);
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    // The whole window cleared, then the picture blitted over it: the same
    // bars as clearing around it, but a full clear needs no draw, where a
    // clipped one is a quad drawn with a shader of its own (compiled at the
    // first present on a software rasteriser).
    gl.Disable(GL_SCISSOR_TEST);
    gl.ClearColor(0, 0, 0, 1);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    if (p.w > 0 && p.h > 0 && cleared) {
        // A picture of one colour scales to that colour: no copy, and on a
        // software rasteriser no pixel of it worked through.
        gl.Enable(GL_SCISSOR_TEST);
        gl.Scissor(p.x, dh - p.y - p.h, p.w, p.h);
        gl.ClearColor(cleared[0] / 255.0f, cleared[1] / 255.0f, cleared[2] / 255.0f, 1);
        gl.Clear(GL_COLOR_BUFFER_BIT);
        gl.Disable(GL_SCISSOR_TEST);
    } else if (p.w > 0 && p.h > 0) {
        int y0 = dh - p.y - p.h;  // bottom-left origin
        gl.BlitFramebuffer(0, 0, rec->width, rec->height, p.x, y0, p.x + p.w, y0 + p.h, GL_COLOR_BUFFER_BIT,
                           p.filtered ? GL_LINEAR : GL_NEAREST);
    }
    Swap(rec);
    gl.BindFramebuffer(GL_FRAMEBUFFER, rec->fbo);
    if (stack)
        glPopAttrib();
    else
        saved.Restore(gl);
}

}  // namespace kelvora
