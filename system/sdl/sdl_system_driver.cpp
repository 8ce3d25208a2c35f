// The system driver on SDL: the SDL event queue stands in for the window
// message queue, and every report about the game window goes through the
// shared translator.
#include <SDL.h>

#include <cstdio>
#include <vector>

#include "kelvora/system/app_title.h"
#include "system/event_translator.h"
#include "system/platform_events.h"
#include "system/pointer_mapping.h"
#include "system/sdl/focus_keys.h"
#include "system/sdl/session_end.h"
#include "system/sdl/sdl_keys.h"
#include "system/sdl/x11_keyboard.h"
#include "kelvora/system/system_driver.h"

namespace kelvora {

namespace {

int GameButton(int sdl_button)
{
    switch (sdl_button) {
    case SDL_BUTTON_LEFT: return 1;
    case SDL_BUTTON_RIGHT: return 2;
    case SDL_BUTTON_MIDDLE: return 3;
    default: return 0;
    }
}

// Decodes UTF-8 text into code points; malformed bytes are skipped.
template <typename F>
void ForEachCodePoint(const char* text, F f)
{
    auto s = reinterpret_cast<const unsigned char*>(text);
    while (*s) {
        unsigned c = *s;
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0) {
            ++s;
            continue;
        }
        unsigned cp = extra == 0 ? c : c & (0x3F >> extra);
        int i = 1;
        for (; i <= extra && (s[i] & 0xC0) == 0x80; ++i) cp = (cp << 6) | (s[i] & 0x3F);
        if (i <= extra) {
            s += i;
            continue;
        }
        s += extra + 1;
        f(int(cp));
    }
}

class TSDLSystemDriver : public TSystemDriver {
public:
    TSDLSystemDriver()
    {
        events_ok_ = SDL_InitSubSystem(SDL_INIT_EVENTS) == 0;
        if (!events_ok_) std::fprintf(stderr, "SDL events unavailable: %s\n", SDL_GetError());
        if (events_ok_) WatchSessionEnd();
        translator_.apply_cursor = [](bool shown) {
            // SDL hides the pointer only over its own windows.
            if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
        };
    }

    ~TSDLSystemDriver() override
    {
        if (events_ok_) SDL_QuitSubSystem(SDL_INIT_EVENTS);
    }

    void Poll() override
    {
        if (!events_ok_) return;
        if (SDL_WasInit(SDL_INIT_VIDEO)) EnableX11KeyCodes();
        SDL_PumpEvents();
        closed_in_pass_ = false;
        SDL_Event e;
        // Only what is queued now: a flood of new input cannot keep the pass going.
        int left = SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
        while (left-- > 0 && SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) Handle(e);
        // The session ends: the game leaves as it does when closed.
        if (TakeSessionEnd() && !closed_in_pass_) translator_.Close();
    }

    void Wait() override
    {
        if (!events_ok_) return;
        SDL_WaitEvent(nullptr);
        Poll();
    }

    void MoveMouse(int x, int y) override
    {
        if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
        TPointerMapping m = GetPointerMapping();
        if (!m.window) {
            SDL_WarpMouseGlobal(x, y);
            return;
        }
        auto* window = static_cast<SDL_Window*>(m.window);
        const int wx = GameToWindowX(m, x), wy = GameToWindowY(m, y);
        SDL_WarpMouseInWindow(window, wx, wy);
#ifdef __EMSCRIPTEN__
        // A page cannot move the player's pointer (SDL's warp does nothing
        // there): the game's pointer goes there by itself, until the player's
        // next moves it. A pad moves the menus' pointer this way.
        int w = 0, h = 0;
        SDL_GetWindowSize(window, &w, &h);
        translator_.Motion(wx, wy, w, h);
#endif
    }

    void SetMouseVisible(int visible) override { translator_.SetMouseVisible(visible); }

    void Notify(const std::string& text, int serious) override
    {
        Uint32 flags = serious ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        if (SDL_ShowSimpleMessageBox(flags, AppTitle().c_str(), text.c_str(), GameWindow()) != 0)
            std::fprintf(stderr, "%s\n", text.c_str());
    }

    int Confirm(const std::string& text, int serious) override
    {
        static const SDL_MessageBoxButtonData buttons[] = {
            {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "Cancel"},
            {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "OK"},
        };
        return Ask(text, serious, buttons, 2, 0);
    }

    int Proceed(const std::string& text, int serious) override
    {
        static const SDL_MessageBoxButtonData buttons[] = {
            {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, -1, "Cancel"},
            {0, 0, "No"},
            {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
        };
        return Ask(text, serious, buttons, 3, -1);
    }

    // SDL has no file or folder requesters: they answer as if cancelled.
    std::string RequestFile(const std::string&, const std::string&, int, const std::string&) override { return ""; }
    std::string RequestDir(const std::string&, const std::string&) override { return ""; }

    int OpenURL(const std::string& url) override { return SDL_OpenURL(url.c_str()) == 0 ? 1 : 0; }

private:
    static SDL_Window* GameWindow() { return static_cast<SDL_Window*>(GetPointerMapping().window); }

    int Ask(const std::string& text, int serious, const SDL_MessageBoxButtonData* buttons, int count, int fallback)
    {
        SDL_MessageBoxData box{};
        box.flags = serious ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_INFORMATION;
        box.window = GameWindow();
        box.title = AppTitle().c_str();
        box.message = text.c_str();
        box.numbuttons = count;
        box.buttons = buttons;
        int chosen = fallback;
        if (SDL_ShowMessageBox(&box, &chosen) != 0) return fallback;
        return chosen;
    }

    // True when a report about window id concerns the game window (any
    // window while the graphics backend has not named one).
    static bool ForGame(Uint32 window_id)
    {
        SDL_Window* game = GameWindow();
        return !game || window_id == 0 || window_id == SDL_GetWindowID(game);
    }

    static void WindowSize(Uint32 window_id, int& w, int& h)
    {
        w = h = 0;
        if (SDL_Window* win = SDL_GetWindowFromID(window_id)) SDL_GetWindowSize(win, &w, &h);
    }

    // The keys held as the focus came back at time: SDL queues a press for
    // each held modifier right behind its focus report (X11 and Wayland
    // alike). A press queued after those is a new one, even when it arrived
    // in the same pass: on X11 its raw key event comes first; on Wayland it
    // was read later (SDL made the held ones at the moment of the report).
    static std::vector<int> KeysHeldAtReturn(Uint32 time)
    {
        std::vector<int> held;
        const bool x11 = X11Keyboard();
        SDL_Event next[16];
        int n = SDL_PeepEvents(next, 16, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
        for (int i = 0; i < n; ++i) {
            bool press = false;
            if (next[i].type == SDL_SYSWMEVENT && !X11KeyCode(next[i], press)) continue;  // X11's own reports
            if (next[i].type != SDL_KEYDOWN || (!x11 && next[i].key.timestamp - time > 1)) break;
            const SDL_Keysym& k = next[i].key.keysym;
            if (int vk = VirtualKeyFromSDL(k.sym, k.scancode)) held.push_back(vk);
        }
        return held;
    }

    // Characters the text input does not report but a keyboard types.
    void ControlChar(const SDL_KeyboardEvent& key)
    {
        int c = 0;
        switch (key.keysym.scancode) {
        case SDL_SCANCODE_RETURN:
        case SDL_SCANCODE_KP_ENTER: c = 13; break;
        case SDL_SCANCODE_BACKSPACE: c = 8; break;
        case SDL_SCANCODE_TAB: c = 9; break;
        case SDL_SCANCODE_ESCAPE: c = 27; break;
        default:
            if ((translator_.Mods() & 6) == 2 && key.keysym.sym >= 'a' && key.keysym.sym <= 'z')
                c = key.keysym.sym - 'a' + 1;
        }
        if (c) translator_.Char(c);
    }

    // As the focus returns: which of the keys held as it went still count
    // as held (see focus_keys.h).
    void FocusGained(const SDL_WindowEvent& e)
    {
        TX11Repeat x11;
        if (!QueryX11Repeat(SDL_GetWindowFromID(e.windowID), x11)) {
            focus_keys_.FocusGained(e.timestamp);
            return;
        }
        x11_releases_exact_ = x11.detectable;
        focus_keys_.FocusGained(
            e.timestamp, [&](int vk) { return x11_code_of_[vk] && x11.repeating[x11_code_of_[vk]]; }, x11.detectable,
            x11.wait_ms);
    }

    // A raw X key event, queued just before SDL's report of it.
    void X11Key(const SDL_Event& e)
    {
        bool press = false;
        int code = X11KeyCode(e, press);
        if (!code) return;
        if (press) {
            x11_press_ = code;
        } else if (x11_releases_exact_) {
            // SDL passes no release of a key it let go as the focus went.
            for (int vk = 1; vk < 256; ++vk) {
                if (x11_code_of_[vk] == code) focus_keys_.Released(vk);
            }
        }
    }

    void Handle(const SDL_Event& e)
    {
        DispatchPlatformEvent(&e);
        // The X key code of a key report is that of the raw press right before it.
        int x11_press = x11_press_;
        x11_press_ = 0;
        switch (e.type) {
        case SDL_SYSWMEVENT: X11Key(e); break;
        case SDL_QUIT:
            if (!closed_in_pass_) translator_.Close();
            break;
        case SDL_WINDOWEVENT:
            if (!ForGame(e.window.windowID)) break;
            switch (e.window.event) {
            case SDL_WINDOWEVENT_CLOSE:
                // Closing the last window also queues a quit: one request, one event.
                closed_in_pass_ = true;
                translator_.Close();
                break;
            case SDL_WINDOWEVENT_FOCUS_GAINED:
                FocusGained(e.window);
                translator_.Focus(true, KeysHeldAtReturn(e.window.timestamp));
                break;
            case SDL_WINDOWEVENT_FOCUS_LOST:
                focus_keys_.FocusLost(e.window.timestamp);
                translator_.Focus(false);
                break;
            case SDL_WINDOWEVENT_ENTER: {
                int x = 0, y = 0, w = 0, h = 0;
                SDL_GetMouseState(&x, &y);
                WindowSize(e.window.windowID, w, h);
                translator_.Motion(x, y, w, h);
                break;
            }
            case SDL_WINDOWEVENT_LEAVE: translator_.Leave(); break;
            }
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            if (!ForGame(e.key.windowID)) break;
            int vk = VirtualKeyFromSDL(e.key.keysym.sym, e.key.keysym.scancode);
            if (!vk) break;
            bool down = e.type == SDL_KEYDOWN;
            bool repeat = e.key.repeat != 0;
            if (down && x11_press) x11_code_of_[vk] = x11_press;
            if (!down)
                focus_keys_.KeyUp(vk, e.key.timestamp);
            else if (!repeat)
                repeat = focus_keys_.HeldOver(vk, e.key.timestamp);
            translator_.Key(vk, down, repeat);
            if (down) ControlChar(e.key);
            break;
        }
        case SDL_TEXTINPUT:
            if (!ForGame(e.text.windowID)) break;
            ForEachCodePoint(e.text.text, [this](int cp) { translator_.Char(cp); });
            break;
        case SDL_MOUSEMOTION: {
            if (!ForGame(e.motion.windowID)) break;
            int w = 0, h = 0;
            WindowSize(e.motion.windowID, w, h);
            translator_.Motion(e.motion.x, e.motion.y, w, h);
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (!ForGame(e.button.windowID)) break;
            translator_.Button(GameButton(e.button.button), e.type == SDL_MOUSEBUTTONDOWN, e.button.x, e.button.y);
            break;
        case SDL_MOUSEWHEEL: {
            if (!ForGame(e.wheel.windowID)) break;
            int steps = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
            if (steps) translator_.Wheel(steps, e.wheel.mouseX, e.wheel.mouseY);
            break;
        }
        }
    }

    bool events_ok_ = false;
    bool closed_in_pass_ = false;
    TEventTranslator translator_;
    TFocusKeys focus_keys_;
    int x11_code_of_[256] = {};  // the X key code of each key's latest press
    int x11_press_ = 0;
    bool x11_releases_exact_ = false;
};

}  // namespace

std::shared_ptr<TSystemDriver> CreateSDLSystemDriver() { return std::make_shared<TSDLSystemDriver>(); }

}  // namespace kelvora
