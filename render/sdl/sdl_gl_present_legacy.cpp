// The present where OpenGL has no framebuffer objects: the picture was
// drawn straight into the window's back buffer. Fixed-function OpenGL, so
// compatibility contexts only (a core or ES context without framebuffer
// objects is refused when made); it calls libGL directly.
#include "render/sdl/sdl_gl_state.h"

namespace kelvora {

namespace {

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

// Without an offscreen picture the frame was drawn at the window's
// bottom-left corner; where it belongs elsewhere, it is copied there at its
// whole scale before the swap. Used where the picture cannot be kept.
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

}  // namespace

void PresentDirect(TGLContext* rec, const TPlacement& p, int dw, int dh)
{
    if ((rec->flags & GFX_BACKBUFFER) && EnsureKeptPicture(rec))
        PresentDirectKept(rec, p, dw, dh);
    else
        PresentDirectInPlace(rec, p, dw, dh);
}

}  // namespace kelvora
