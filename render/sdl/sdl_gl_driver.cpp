// The desktop's OpenGL graphics driver (render/gl/gl_graphics.h) over SDL
// windows and contexts.
#include <cstring>
#include <string>

#include "io/background_work.h"
#include "kelvora/runtime/errors.h"
#include "render/sdl/sdl_gl_state.h"

namespace kelvora {

namespace {

constexpr int MAX_MODES = 1024;

}  // namespace

const char* const DISPLAY_MODE_ERROR = "GLGraphicsDriver failed to set display mode";

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
    // Showing a window waits for the display server (and its window
    // manager): the time work held back for the caller's CPU can have.
    LetBackgroundWorkRun();
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

namespace {

// cleared: the colour the whole picture holds, or null.
void FlipPicture(int sync, const uint8_t* cleared)
{
    TDriverState& d = Driver();
    TGLContext* rec = d.current;
    if (!rec || !VideoUp()) return;
    if (rec->display_failed) {
        rec->display_failed = false;
        throw TRuntimeException(DISPLAY_MODE_ERROR);
    }
    // Whatever was drawn went with the reset: the next frame draws again.
    if (RecoverFromReset()) return;
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
        PresentOffscreen(rec, p, dw, dh, cleared);
    ReportMapping(rec);
}

}  // namespace

void TGLGraphicsDriver::Flip(int sync) { FlipPicture(sync, nullptr); }

void TGLGraphicsDriver::FlipCleared(int sync, const uint8_t rgb[3]) { FlipPicture(sync, rgb); }

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
            d.gl.GetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
            d.pair_binding = GLuint(bound);
        }
        return;
    }
    d.pair_open = false;
    if (!d.pair_switched) {
        // A deleted texture's name is free again and must not be revived.
        if (d.pair_binding && d.gl.IsTexture(d.pair_binding)) d.gl.BindTexture(GL_TEXTURE_2D, d.pair_binding);
        return;
    }
    // Another context uses the objects next: the work must be finished.
    d.gl.Flush();
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
    d.gl = TGLProcs{};
    d.profile = profile;
    // Under X11 SDL asks GLX for an ES context where GLX offers one, and
    // EGL otherwise (SDL_VIDEO_X11_FORCE_EGL=1 makes it EGL always): with
    // Mesa's software rasteriser an EGL present costs several GLX ones.
    return true;
}

TGLProfile TGLGraphicsDriver::Profile() const { return Driver().profile; }

bool TGLGraphicsDriver::TexturesAlive(int seq) const
{
    return Driver().shared_gl && VideoUp() && seq >= Driver().shared_since;
}

void TGLGraphicsDriver::EndSharedContext()
{
    TDriverState& d = Driver();
    if (d.contexts || !d.shared_gl || !VideoUp()) return;
    SDL_GL_MakeCurrent(d.shared_window, d.shared_gl);
    NotifyGLContextHooks(d.shared_gl, false);
    DropSharedContext();
    d.pair_open = false;
    d.shared_ended = true;
}

bool TGLGraphicsDriver::DrawsOffscreen() const { return Driver().gl.fbo; }

bool TGLGraphicsDriver::DrawsInSoftware() const { return Driver().current && Driver().current->software; }

TGLGraphicsDriver* GLGraphicsDriver()
{
    // Never destroyed: frames released at exit still ask it about their textures.
    static TGLGraphicsDriver* driver = new TGLGraphicsDriver;
    return driver;
}

}  // namespace kelvora
