#include "kelvora/render/graphics.h"

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <functional>

#include "kelvora/system/clock.h"
#include "kelvora/system/hook.h"
#include "kelvora/system/input.h"
#include "kelvora/system/system_driver.h"
#include "render/rast2d_graphics.h"

namespace kelvora {

namespace {

struct TSettings {
    int width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
};

// Software frame pacer: whole milliseconds per frame plus a remainder spread
// over the second, so 60 Hz gives 16, 17, 17, ... and exactly 1000 ms per 60.
struct TPacer {
    bool on = false;
    int rate = 0;
    int frame_ms = 0;
    int remainder = 0;
    int accumulator = 0;
    int next_frame = 0;  // Millisecs() time the next frame is due
};

struct TFrontEnd {
    TGraphicsDriver* driver = nullptr;
    int default_flags = 0;
    std::vector<TGraphicsMode> modes;
    bool modes_cached = false;
    std::shared_ptr<TGraphics> current;
    TSettings settings;
    std::shared_ptr<TGraphics> opened;  // by Graphics
    int seq = 1;
    TPacer pacer;
    bool exit_hook_registered = false;
    std::string last_error;
    TGraphicsWindowOptions window;
    bool vblank_available = true;  // as the driver reported for the context it made last
};

TFrontEnd& State()
{
    static TFrontEnd state;
    return state;
}

// Time differences on the wrapping 32-bit millisecond counter.
int Since(int earlier, int later) { return int(uint32_t(later) - uint32_t(earlier)); }

void BumpSeq()
{
    TFrontEnd& s = State();
    s.seq = int(uint32_t(s.seq) + 1u);
    if (s.seq == 0) s.seq = 1;
}

const std::vector<TGraphicsMode>& CachedModes()
{
    TFrontEnd& s = State();
    if (!s.modes_cached && s.driver) {
        s.modes = s.driver->GraphicsModes();
        s.modes_cached = true;
    }
    return s.modes;
}

void ForgetModes()
{
    State().modes.clear();
    State().modes_cached = false;
}

void EndGraphicsAtExit()
{
    try {
        EndGraphics();
    } catch (...) {
        // Nothing can be reported any more at this point.
    }
}

// Flips with sync 1 for up to a second; three flips in a row that each take
// one refresh period (within 1 ms) show that the vertical blank paces
// reliably. Six flips in a row that did not wait at all (less than half a
// period; a queue of swaps lets the first few through) show that it does
// not: every flip presents a whole picture, which costs a software
// rasteriser dearly at start-up. Also stops after 2 x hertz flips, so a
// clock that does not move while flipping (virtual time) cannot hold it forever.
bool VerticalSyncIsReliable(TGraphicsDriver* driver, int hertz)
{
    int period = 1000 / hertz;
    int deadline = Millisecs() + 1000;
    int run = 0;
    int no_wait = 0;
    int max_flips = 2 * hertz > 10 ? 2 * hertz : 10;
    for (int flips = 0; flips < max_flips && Since(Millisecs(), deadline) > 0; ++flips) {
        int t0 = Millisecs();
        driver->Flip(1);
        int took = Since(t0, Millisecs());
        int d = took - period;
        if (d >= -1 && d <= 1) {
            if (++run == 3) return true;
        } else {
            run = 0;
        }
        no_wait = took * 2 < period ? no_wait + 1 : 0;
        if (no_wait == 6) return false;
    }
    return false;
}

}  // namespace

std::string TGraphicsMode::ToString() const
{
    return std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth) + "@" +
           std::to_string(hertz) + "Hz";
}

void SetGraphicsDriver(TGraphicsDriver* driver, int default_flags)
{
    TFrontEnd& s = State();
    if (driver != s.driver) {
        if (s.driver && s.current) s.driver->SetGraphics(nullptr);
        ForgetModes();
        s.driver = driver;
    }
    s.default_flags = default_flags;
    s.current = nullptr;
    s.settings = {};
}

TGraphicsDriver* GetGraphicsDriver() { return State().driver; }

int DefaultGraphicsFlags() { return State().default_flags; }

std::vector<TGraphicsMode> GraphicsModes() { return CachedModes(); }

int CountGraphicsModes() { return int(CachedModes().size()); }

void GetGraphicsMode(int index, int& width, int& height, int& depth, int& hertz)
{
    const auto& modes = CachedModes();
    if (index < 0 || index >= int(modes.size())) {
        // Out of range reads as an empty mode rather than past the list.
        width = height = depth = hertz = 0;
        return;
    }
    const TGraphicsMode& m = modes[size_t(index)];
    width = m.width;
    height = m.height;
    depth = m.depth;
    hertz = m.hertz;
}

int GraphicsModeExists(int width, int height, int depth, int hertz)
{
    for (const TGraphicsMode& m : CachedModes()) {
        if (width && m.width != width) continue;
        if (height && m.height != height) continue;
        if (depth && m.depth != depth) continue;
        if (hertz && m.hertz != hertz) continue;
        return 1;
    }
    return 0;
}

namespace {
// Asks the current driver for a context; any error it raises is kept as the
// one-line reason and gives null.
std::shared_ptr<TGraphics> OpenThroughDriver(const char* failure,
                                             const std::function<std::shared_ptr<TGraphics>(TGraphicsDriver&, int)>& open)
{
    TFrontEnd& s = State();
    s.last_error.clear();
    if (!s.driver) {
        s.last_error = "No graphics driver installed";
        return nullptr;
    }
    std::shared_ptr<TGraphics> g;
    try {
        g = open(*s.driver, s.default_flags);
    } catch (const std::exception& e) {
        s.last_error = e.what();
        return nullptr;
    } catch (...) {
        s.last_error = failure;
        return nullptr;
    }
    if (!g && s.last_error.empty()) s.last_error = failure;
    return g;
}
}  // namespace

std::shared_ptr<TGraphics> CreateGraphics(int width, int height, int depth, int hertz, int flags)
{
    return OpenThroughDriver("Unable to open graphics", [&](TGraphicsDriver& d, int defaults) {
        return d.CreateGraphics(width, height, depth, hertz, flags | defaults);
    });
}

std::shared_ptr<TGraphics> AttachGraphics(void* widget, int flags)
{
    return OpenThroughDriver("Unable to attach graphics", [&](TGraphicsDriver& d, int defaults) {
        return d.AttachGraphics(widget, flags | defaults);
    });
}

void SetGraphics(const std::shared_ptr<TGraphics>& g)
{
    TFrontEnd& s = State();
    if (!g) {
        if (s.driver) s.driver->SetGraphics(nullptr);
        s.current = nullptr;
        s.settings = {};
        return;
    }
    TGraphicsDriver* d = g->Driver();
    if (d != s.driver) {
        if (s.driver) s.driver->SetGraphics(nullptr);
        ForgetModes();
        s.driver = d;
    }
    TSettings t;
    g->GetSettings(t.width, t.height, t.depth, t.hertz, t.flags);
    s.settings = t;
    if (d) d->SetGraphics(g);
    s.current = g;
}

void CloseGraphics(const std::shared_ptr<TGraphics>& graphics)
{
    std::shared_ptr<TGraphics> g = graphics;  // the caller may pass one of ours, cleared below
    if (!g) return;
    TFrontEnd& s = State();
    if (g == s.opened) s.opened = nullptr;
    if (g == s.current) SetGraphics(nullptr);
    g->Close();
}

std::shared_ptr<TGraphics> CurrentGraphics() { return State().current; }

std::shared_ptr<TGraphics> Graphics(int width, int height, int depth, int hertz, int flags)
{
    EndGraphics();
    State().vblank_available = true;
    std::shared_ptr<TGraphics> g = CreateGraphics(width, height, depth, hertz, flags);
    if (!g) return nullptr;
    BumpSeq();
    SetGraphics(g);

    TFrontEnd& s = State();
    TPacer& p = s.pacer;
    p.on = hertz > 0;
    if (p.on && depth != 0 && s.driver && s.vblank_available && VerticalSyncIsReliable(s.driver, hertz))
        p.on = false;
    p.rate = hertz;
    p.frame_ms = hertz > 0 ? 1000 / hertz : 0;
    p.remainder = 1000 - p.frame_ms * p.rate;
    p.accumulator = 0;
    p.next_frame = Millisecs();

    s.opened = g;
    if (depth != 0) MoveMouse(width / 2, height / 2);
    EnablePolledInput(nullptr);
    if (!s.exit_hook_registered) {
        s.exit_hook_registered = true;
        std::atexit(EndGraphicsAtExit);
    }
    return g;
}

void EndGraphics()
{
    TFrontEnd& s = State();
    if (!s.opened) return;
    BumpSeq();
    DisablePolledInput();
    CloseGraphics(s.opened);
}

std::string LastGraphicsError() { return State().last_error; }

void SetLastGraphicsError(const std::string& text) { State().last_error = text; }

void SetGraphicsVerticalBlankAvailable(bool available) { State().vblank_available = available; }

int GraphicsWidth() { return State().settings.width; }
int GraphicsHeight() { return State().settings.height; }
int GraphicsDepth() { return State().settings.depth; }
int GraphicsHertz() { return State().settings.hertz; }
int GraphicsFlags() { return State().settings.flags; }

int GraphicsSeq() { return State().seq; }

void GraphicsObjectsLost() { BumpSeq(); }

int FlipHook()
{
    static const int id = AllocHookId();
    return id;
}

int DisplayLostHook()
{
    static const int id = AllocHookId();
    return id;
}

void Flip(int sync)
{
    RunHooks(FlipHook(), nullptr);
    TFrontEnd& s = State();
    if (!s.current) SayNoGraphics("Flip");
    if (!s.driver) return;
    if (sync != -1) {
        s.driver->Flip(sync);
        return;
    }
    TPacer& p = s.pacer;
    if (!s.current || s.current != s.opened || !p.on) {
        s.driver->Flip(s.settings.depth != 0 ? 1 : 0);
        return;
    }
    p.next_frame = int(uint32_t(p.next_frame) + uint32_t(p.frame_ms));
    p.accumulator += p.remainder;
    if (p.accumulator >= p.rate) {
        p.accumulator -= p.rate;
        p.next_frame = int(uint32_t(p.next_frame) + 1u);
    }
    int now = Millisecs();
    int wait = Since(now, p.next_frame);
    if (wait > 0) {
        Delay(wait);
    } else {
        // Lost time is not made up: the next frame gets a whole slot again.
        p.next_frame = now;
    }
    s.driver->Flip(0);
}

void SetGraphicsWindowScale(int scale)
{
    TGraphicsWindowOptions& w = State().window;
    w.scale = scale < 0 ? -1 : scale;
    ++w.serial;
}

void SetGraphicsIcon(const TPixmapPtr& icon)
{
    TGraphicsWindowOptions& w = State().window;
    w.icon = icon;
    ++w.serial;
}

void SetGraphicsAppId(const std::string& id)
{
    TGraphicsWindowOptions& w = State().window;
    w.app_id = id;
    ++w.serial;
}

const TGraphicsWindowOptions& GraphicsWindowOptions() { return State().window; }

}  // namespace kelvora
