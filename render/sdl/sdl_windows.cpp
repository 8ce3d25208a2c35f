// Windows: their size and scale, full screen and Alt+Enter, focus, and where
// the picture sits for the pointer.
#include <cstdio>
#include <cstdlib>

#include "kelvora/render/pixmap.h"
#include "render/sdl/sdl_gl_state.h"
#include "kelvora/system/app_title.h"
#include "system/platform_events.h"

namespace kelvora {

namespace {

TPlacementRule PlacementRule(const TGLContext* rec)
{
    if (rec->direct) return TPlacementRule::WHOLE_ONLY;
    return rec->software ? TPlacementRule::SOFTWARE : TPlacementRule::ANY_SCALE;
}

TGLContext* FindByWindowId(Uint32 id)
{
    for (TGLContext* c = Driver().contexts; c; c = c->next)
        if (c->window && SDL_GetWindowID(c->window) == id) return c;
    return nullptr;
}

void ApplyIcon(SDL_Window* window, const TPixmapPtr& icon)
{
    if (!icon) return;
    TPixmapPtr rgba = icon->Convert(PIXFMT_RGBA8888);
    if (!rgba) return;
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(rgba->pixels, rgba->width, rgba->height, 32,
                                                              rgba->pitch, SDL_PIXELFORMAT_RGBA32);
    if (!surface) return;
    SDL_SetWindowIcon(window, surface);  // SDL keeps its own copy
    SDL_FreeSurface(surface);
}

// Alt+Enter: the same window and context go from full screen to a window
// and back; the picture, offscreen, is untouched.
void ToggleFullScreen(TGLContext* rec)
{
    if (rec->kind == KIND_WINDOW) {
        SDL_Rect r{0, 0, rec->width, rec->height};
        SDL_GetDisplayBounds(0, &r);
        SDL_SetWindowBordered(rec->window, SDL_FALSE);
        SDL_SetWindowResizable(rec->window, SDL_FALSE);
        SDL_SetWindowPosition(rec->window, r.x, r.y);
        SDL_SetWindowSize(rec->window, r.w, r.h);
        if (SDL_SetWindowFullscreen(rec->window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) return;
        rec->kind = KIND_FULLSCREEN;
        rec->owner = true;
        SDL_RaiseWindow(rec->window);
    } else if (rec->kind == KIND_FULLSCREEN) {
        if (SDL_SetWindowFullscreen(rec->window, 0) != 0) return;
        rec->kind = KIND_WINDOW;
        rec->owner = false;
        // Leaving full screen without a scale asked for: the largest that
        // fits, not a tiny 1:1 window on a big desktop.
        int wish = GraphicsWindowOptions().scale;
        int s = WindowScale(rec, wish < 0 ? 0 : wish);
        SDL_SetWindowBordered(rec->window, SDL_TRUE);
        SDL_SetWindowResizable(rec->window, rec->direct ? SDL_FALSE : SDL_TRUE);
        SDL_SetWindowSize(rec->window, rec->width * s, rec->height * s);
        SDL_SetWindowPosition(rec->window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
    rec->swap_interval = -1;
}

// A full-screen context holds the display while its window has the focus:
// gaining it takes the display (again), losing it gives it back and
// minimises the window so the desktop is usable.
void OnPlatformEvent(const void* platform_event, void*)
{
    const SDL_Event* e = static_cast<const SDL_Event*>(platform_event);
    if (!e) return;
    if (e->type == SDL_KEYDOWN && !e->key.repeat && (e->key.keysym.mod & KMOD_ALT) &&
        (e->key.keysym.sym == SDLK_RETURN || e->key.keysym.sym == SDLK_KP_ENTER)) {
        TGLContext* rec = FindByWindowId(e->key.windowID);
        if (!rec) rec = Driver().current;
        if (rec) ToggleFullScreen(rec);
        return;
    }
    if (e->type != SDL_WINDOWEVENT) return;
    TGLContext* rec = FindByWindowId(e->window.windowID);
    if (!rec || rec->kind != KIND_FULLSCREEN) return;
    if (e->window.event == SDL_WINDOWEVENT_FOCUS_GAINED && !rec->owner) {
        if (!IsFullScreen(rec->window) && SDL_SetWindowFullscreen(rec->window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0) {
            // Raised from the next Flip: the event pump is no place to unwind through.
            rec->display_failed = true;
            return;
        }
        rec->owner = true;
        rec->swap_interval = -1;
    } else if (e->window.event == SDL_WINDOWEVENT_FOCUS_LOST && rec->owner) {
        rec->owner = false;
        rec->swap_interval = -1;
        SDL_MinimizeWindow(rec->window);
    }
}

}  // namespace

TPlacement Place(const TGLContext* rec, int dw, int dh)
{
    return PlacePicture(rec->width, rec->height, dw, dh, PlacementRule(rec));
}

// Tells the pointer code where the picture of the current context sits.
void ReportMapping(TGLContext* rec)
{
    int ww = 0, wh = 0, dw = 0, dh = 0;
    SDL_GetWindowSize(rec->window, &ww, &wh);
    SDL_GL_GetDrawableSize(rec->window, &dw, &dh);
    TPointerMapping m;
    m.window = rec->window;
    if (ww > 0 && wh > 0) m = MappingFor(Place(rec, dw, dh), rec->width, ww, dw, rec->window);
    if (m.window != rec->mapping.window || m.scale != rec->mapping.scale || m.offset_x != rec->mapping.offset_x ||
        m.offset_y != rec->mapping.offset_y) {
        rec->mapping = m;
        SetPointerMapping(m);
    }
}

void ForgetMapping(TGLContext* rec)
{
    if (GetPointerMapping().window == rec->window) SetPointerMapping(TPointerMapping{});
    rec->mapping = TPointerMapping{};
}

bool IsFullScreen(SDL_Window* w)
{
    return (SDL_GetWindowFlags(w) & SDL_WINDOW_FULLSCREEN_DESKTOP) == SDL_WINDOW_FULLSCREEN_DESKTOP;
}

// The whole scale a window shows its picture at: 1 unless asked otherwise;
// 0 asks for the largest that fits the desktop's usable area, and a larger
// one than fits gets that, said once (a window bigger than the desktop
// would start off screen).
int WindowScale(const TGLContext* rec, int scale)
{
    if (scale < 0 || rec->direct) return 1;
    SDL_Rect r{0, 0, 0, 0};
    if (SDL_GetDisplayUsableBounds(0, &r) != 0) r.w = r.h = 0;
    const int s = FittingWindowScale(scale, rec->width, rec->height, r.w, r.h);
    static int told = 0;
    if (s < scale && scale != told) {
        told = scale;
        std::fprintf(stderr,
                     "Kelvora 3D: a window at scale %d (%dx%d) does not fit the desktop (%dx%d usable); "
                     "scale %d instead\n",
                     scale, rec->width * scale, rec->height * scale, r.w, r.h, s);
    }
    return s;
}

bool WindowResizable(const TGLContext* rec) { return GraphicsWindowOptions().scale >= 0 && !rec->direct; }

// Below this a picture would be too small to play on; drawn straight into
// the window it cannot be scaled down at all.
void ApplyMinimumSize(const TGLContext* rec)
{
    int w = 0, h = 0;
    MinimumWindowSize(rec->width, rec->height, !rec->direct, w, h);
    SDL_SetWindowMinimumSize(rec->window, w, h);
}

// Brings the window in line with the wishes set since it was last looked at.
void ApplyWindowOptions(TGLContext* rec)
{
    const TGraphicsWindowOptions& o = GraphicsWindowOptions();
    if (rec->options_serial == o.serial) return;
    bool first = rec->options_serial < 0;
    rec->options_serial = o.serial;
    if (rec->kind == KIND_ATTACHED) return;
    ApplyIcon(rec->window, o.icon);
    if (!first && rec->kind == KIND_WINDOW && o.scale >= 0) {
        int s = WindowScale(rec, o.scale);
        SDL_SetWindowResizable(rec->window, WindowResizable(rec) ? SDL_TRUE : SDL_FALSE);
        SDL_SetWindowSize(rec->window, rec->width * s, rec->height * s);
    }
}

SDL_Window* CreateWindowFor(TGLContext* rec, Uint32 wflags)
{
    if (rec->kind == KIND_WINDOW) {
        const TGraphicsWindowOptions& o = GraphicsWindowOptions();
        int s = WindowScale(rec, o.scale);
        int pos = o.scale >= 0 ? int(SDL_WINDOWPOS_CENTERED) : 32;
        Uint32 resizable = WindowResizable(rec) ? SDL_WINDOW_RESIZABLE : 0;
        return SDL_CreateWindow(AppTitle().c_str(), pos, pos, rec->width * s, rec->height * s, wflags | resizable);
    }
    // Desktop-sized from the start, so the window covers the screen even
    // where no window manager acts on the full-screen request.
    SDL_Rect r{0, 0, rec->width, rec->height};
    SDL_GetDisplayBounds(0, &r);
    return SDL_CreateWindow(AppTitle().c_str(), r.x, r.y, r.w, r.h, wflags);
}

void HookEvents()
{
    TDriverState& d = Driver();
    if (d.events_hooked) return;
    AddPlatformEventHandler(OnPlatformEvent, nullptr);
    d.events_hooked = true;
}

// Full-screen mode choice: exactly width x height at the depth asked for (else
// 32, 24, 16 bits), the rate nearest to hertz, the first of equals.
bool ChooseMode(const std::vector<TGraphicsMode>& modes, int width, int height, int depth, int hertz,
                TGraphicsMode& chosen)
{
    for (int want : {depth, 32, 24, 16}) {
        const TGraphicsMode* best = nullptr;
        for (const TGraphicsMode& m : modes) {
            if (m.width != width || m.height != height || m.depth != want) continue;
            if (!best || std::abs(m.hertz - hertz) < std::abs(best->hertz - hertz)) best = &m;
        }
        if (best) {
            chosen = *best;
            return true;
        }
    }
    return false;
}

}  // namespace kelvora
