// The OpenGL graphics driver in a browser page: the page's one canvas with a
// WebGL 2 context (OpenGL ES 3.0), through SDL. As on the desktop the game
// draws into an offscreen framebuffer of exactly the size asked for, kept
// bound between flips, and Flip copies it into the canvas, so that the frame
// just presented can still be read after it (WebGL clears the canvas once the
// browser has shown it). The canvas holds the picture at 1:1; the page scales
// it to the tab (4:3 with bars) and goes full screen itself, so pointer
// positions arrive in the picture's pixels. There is one context: every
// texture belongs to it, and there is no other to share with.
// The browser may take the context away (a GPU reset, too many contexts in
// other tabs) and give it back with nothing in it: meanwhile frames run
// without being shown; once it is back, what the context held is made again.
#include "render/gl/gl_graphics.h"

#include <GLES3/gl3.h>
#include <SDL.h>
#include <emscripten/html5.h>

#include <climits>
#include <string>

#include "kelvora/render/graphics.h"
#include "kelvora/system/app_title.h"
#include "system/pointer_mapping.h"

namespace kelvora {

// The canvas and its context.
struct TGLContext : TGLContextSettings {
    SDL_Window* window = nullptr;
    SDL_GLContext gl = nullptr;
    GLuint fbo = 0, color_rb = 0, depth_rb = 0;
    int seq = 0;  // GraphicsSeq when it was made
};

namespace {

struct TDriverState {
    TGLContext* context = nullptr;  // the one open
    bool current = false;           // and current
    GLuint pair_binding = 0;        // the texture bound when a SwapSharedContext pair began
    bool pair_open = false;
    bool lost = false;              // the browser took the context away
    bool restored = false;          // and gave it back, empty
};

TDriverState& Driver()
{
    static TDriverState& state = *new TDriverState;
    return state;
}

bool EnsureVideo()
{
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        SetLastGraphicsError(std::string("No display available (") + SDL_GetError() + ")");
        return false;
    }
    return true;
}

void Report(TGLContext* rec)
{
    TPointerMapping m;
    if (rec) m.window = rec->window;
    SetPointerMapping(m);
}

// With rec's context current: the offscreen picture, cleared to black.
bool CreateFramebuffer(TGLContext* rec)
{
    glGenFramebuffers(1, &rec->fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, rec->fbo);
    glGenRenderbuffers(1, &rec->color_rb);
    glBindRenderbuffer(GL_RENDERBUFFER, rec->color_rb);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, rec->width, rec->height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rec->color_rb);
    if (rec->flags & (GFX_DEPTHBUFFER | GFX_STENCILBUFFER)) {
        glGenRenderbuffers(1, &rec->depth_rb);
        glBindRenderbuffer(GL_RENDERBUFFER, rec->depth_rb);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, rec->width, rec->height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, rec->depth_rb);
    }
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;
    glViewport(0, 0, rec->width, rec->height);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    return true;
}

// Told by the browser between frames: Flip acts on it at the next frame.
EM_BOOL OnContextLost(int, const void*, void*)
{
    Driver().lost = true;
    Driver().restored = false;
    return EM_TRUE;  // the default would be never to give it back
}

EM_BOOL OnContextRestored(int, const void*, void*)
{
    Driver().restored = true;
    return EM_TRUE;
}

void WatchForLoss()
{
    static bool watching = false;
    if (watching) return;
    watching = true;
    emscripten_set_webglcontextlost_callback("#canvas", nullptr, EM_FALSE, OnContextLost);
    emscripten_set_webglcontextrestored_callback("#canvas", nullptr, EM_FALSE, OnContextRestored);
}

// The context back, empty: the picture is made again, the 2D driver forgets
// what it made (the names belong to the lost context, and deleting them
// would only raise errors), images make their textures again, and the 2D
// driver sets up its state anew.
void Restore(TGLContext* rec)
{
    TDriverState& d = Driver();
    d.lost = d.restored = false;
    NotifyGLContextHooks(rec->gl, true);
    rec->fbo = rec->color_rb = rec->depth_rb = 0;
    d.pair_open = false;
    CreateFramebuffer(rec);
    rec->seq = INT_MAX;  // no texture of before may be deleted by name
    GraphicsObjectsLost();
    rec->seq = GraphicsSeq();
    if (std::shared_ptr<TGraphics> g = CurrentGraphics()) SetGraphics(g);
}

void Destroy(TGLContext* rec)
{
    TDriverState& d = Driver();
    if (d.context == rec) {
        d.context = nullptr;
        d.current = false;
    }
    if (GetPointerMapping().window == rec->window) Report(nullptr);
    if (rec->gl) {
        SDL_GL_MakeCurrent(rec->window, rec->gl);
        // Lost, the context holds nothing to delete.
        NotifyGLContextHooks(rec->gl, d.lost);
        if (!d.lost) {
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            if (rec->fbo) glDeleteFramebuffers(1, &rec->fbo);
            if (rec->color_rb) glDeleteRenderbuffers(1, &rec->color_rb);
            if (rec->depth_rb) glDeleteRenderbuffers(1, &rec->depth_rb);
        }
        SDL_GL_MakeCurrent(nullptr, nullptr);
        SDL_GL_DeleteContext(rec->gl);
    }
    if (rec->window) SDL_DestroyWindow(rec->window);
    delete rec;
}

}  // namespace

const TGLContextSettings& GLContextSettings(const TGLContext& context) { return context; }

void DestroyGLContext(TGLContext* context) { Destroy(context); }

// The page has no display modes to switch to: full screen is the browser's.
std::vector<TGraphicsMode> TGLGraphicsDriver::GraphicsModes() { return {}; }

std::shared_ptr<TGraphics> TGLGraphicsDriver::AttachGraphics(void*, int)
{
    SetLastGraphicsError("A browser page draws only into its own canvas");
    return nullptr;
}

std::shared_ptr<TGraphics> TGLGraphicsDriver::CreateGraphics(int width, int height, int depth, int, int flags)
{
    if (width <= 0 || height <= 0) {
        SetLastGraphicsError("Graphics size must be positive");
        return nullptr;
    }
    // Full screen is the player's choice in the page (its button, Alt+Enter):
    // the game asks for it first and takes the window the page offers.
    if (depth) {
        SetLastGraphicsError("GLGraphicsDriver failed to set display mode");
        return nullptr;
    }
    if (Driver().context) {
        SetLastGraphicsError("The page has one canvas, and it is in use");
        return nullptr;
    }
    if (!EnsureVideo()) return nullptr;
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // The canvas only receives finished pictures.
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    auto* rec = new TGLContext;
    rec->width = width;
    rec->height = height;
    rec->flags = flags;
    rec->window = SDL_CreateWindow(AppTitle().c_str(), 0, 0, width, height, SDL_WINDOW_OPENGL);
    if (rec->window) rec->gl = SDL_GL_CreateContext(rec->window);
    if (!rec->gl) {
        SetLastGraphicsError(std::string("WebGL 2 is not available: ") + SDL_GetError());
        Destroy(rec);
        return nullptr;
    }
    if (!CreateFramebuffer(rec)) {
        SetLastGraphicsError("Unable to create the offscreen framebuffer");
        Destroy(rec);
        return nullptr;
    }
    // The browser shows a frame when the page hands the thread back; it
    // paces frames itself, so no flip waits for the vertical blank.
    SDL_GL_SetSwapInterval(0);
    SetGraphicsVerticalBlankAvailable(false);
    rec->seq = GraphicsSeq();
    Driver().context = rec;
    WatchForLoss();
    SDL_GL_MakeCurrent(nullptr, nullptr);
    Driver().current = false;
    return std::make_shared<TGLGraphics>(rec);
}

void TGLGraphicsDriver::SetGraphics(const std::shared_ptr<TGraphics>& g)
{
    TDriverState& d = Driver();
    auto* gl = dynamic_cast<TGLGraphics*>(g.get());
    TGLContext* rec = gl ? gl->_context : nullptr;
    if (rec) {
        SDL_GL_MakeCurrent(rec->window, rec->gl);
        d.current = true;
    } else if (d.current) {
        SDL_GL_MakeCurrent(nullptr, nullptr);
        d.current = false;
    }
    Report(rec);
}

// The canvas takes the picture as it is: a cleared one is copied too.
void TGLGraphicsDriver::FlipCleared(int sync, const uint8_t*) { Flip(sync); }

void TGLGraphicsDriver::Flip(int)
{
    TDriverState& d = Driver();
    TGLContext* rec = d.context;
    if (!rec || !d.current) return;
    if (d.restored) {
        Restore(rec);
        return;
    }
    if (d.lost) return;  // nothing can be shown until the browser gives the context back
    // Only the scissor test stands between the picture and the canvas: on
    // the page nothing changes the colour mask (the shader driver has no
    // such call), and the bars are cleared without the clear colour. Its
    // state is the browser's own copy, with no round trip to the graphics
    // process, unlike most state WebGL is asked for.
    const bool scissor = glIsEnabled(GL_SCISSOR_TEST);
    if (scissor) glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, rec->fbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(rec->window, &dw, &dh);
    if (dw != rec->width || dh != rec->height) {
        static const GLfloat black[4] = {0, 0, 0, 1};
        glClearBufferfv(GL_COLOR, 0, black);
    }
    glBlitFramebuffer(0, 0, rec->width, rec->height, 0, dh - rec->height, rec->width, dh, GL_COLOR_BUFFER_BIT,
                      GL_NEAREST);
    SDL_GL_SwapWindow(rec->window);
    glBindFramebuffer(GL_FRAMEBUFFER, rec->fbo);
    if (scissor) glEnable(GL_SCISSOR_TEST);
}

// One context holds every texture: the pair only keeps the texture binding
// the 2D driver caches.
void TGLGraphicsDriver::SwapSharedContext()
{
    TDriverState& d = Driver();
    if (!d.current) return;
    if (!d.pair_open) {
        d.pair_open = true;
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        d.pair_binding = GLuint(bound);
        return;
    }
    d.pair_open = false;
    // Names are never reused on the page, and one deleted in between binds
    // none; asking whether it still exists would wait for the graphics
    // process.
    glBindTexture(GL_TEXTURE_2D, d.pair_binding);
}

bool TGLGraphicsDriver::SetProfile(TGLProfile profile)
{
    if (profile == TGLProfile::ES) return true;
    SetLastGraphicsError("A browser page offers OpenGL ES 3.0 (WebGL 2) only");
    return false;
}

TGLProfile TGLGraphicsDriver::Profile() const { return TGLProfile::ES; }

bool TGLGraphicsDriver::TexturesAlive(int seq) const { return Driver().context && seq >= Driver().context->seq; }

bool TGLGraphicsDriver::DrawsOffscreen() const { return true; }

bool TGLGraphicsDriver::DrawsInSoftware() const { return false; }

TGLGraphicsDriver* GLGraphicsDriver()
{
    // Never destroyed: frames released at exit still ask it about their textures.
    static TGLGraphicsDriver* driver = new TGLGraphicsDriver;
    return driver;
}

// The canvas's context holds the textures; it goes with its graphics.
void TGLGraphicsDriver::EndSharedContext() {}

}  // namespace kelvora
