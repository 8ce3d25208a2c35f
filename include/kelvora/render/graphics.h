// The graphics front end: one current graphics driver and context, display
// modes, opening the game's display, and Flip with frame pacing.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kelvora {

// Flags for Graphics and CreateGraphics, OR-ed with the driver's default flags.
constexpr int GFX_BACKBUFFER = 2;     // double-buffered
constexpr int GFX_ALPHABUFFER = 4;    // at least 1 alpha bit
constexpr int GFX_DEPTHBUFFER = 8;    // at least 1 depth bit
constexpr int GFX_STENCILBUFFER = 16; // at least 1 stencil bit
constexpr int GFX_ACCUMBUFFER = 32;   // at least 1 accumulation bit

class TGraphicsDriver;
class TPixmap;
using TPixmapPtr = std::shared_ptr<TPixmap>;

// One display mode.
class TGraphicsMode {
public:
    int width = 0;
    int height = 0;
    int depth = 0;  // bits per pixel
    int hertz = 0;  // refresh rate, 0 when the display does not say
    std::string ToString() const;  // "640x480x32@60Hz"
};

// A graphics context.
class TGraphics {
public:
    virtual ~TGraphics() = default;
    virtual TGraphicsDriver* Driver() = 0;
    virtual void GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) = 0;
    // Closing twice is harmless.
    virtual void Close() = 0;
};

// Drivers are single instances that live for the whole run.
class TGraphicsDriver {
public:
    virtual ~TGraphicsDriver() = default;
    virtual std::vector<TGraphicsMode> GraphicsModes() = 0;
    // A context on an existing native window (an X11 window id cast to a
    // pointer under X11); null when the driver cannot attach.
    virtual std::shared_ptr<TGraphics> AttachGraphics(void* widget, int flags) = 0;
    // depth 0 is a window, anything else full screen; null on failure.
    virtual std::shared_ptr<TGraphics> CreateGraphics(int width, int height, int depth, int hertz, int flags) = 0;
    // Makes g current; null makes nothing current.
    virtual void SetGraphics(const std::shared_ptr<TGraphics>& g) = 0;
    // Presents the frame: sync 0 at once, 1 on the vertical blank.
    virtual void Flip(int sync) = 0;
};

// Installs the driver Graphics and friends use, with its default flags.
void SetGraphicsDriver(TGraphicsDriver* driver, int default_flags = GFX_BACKBUFFER);
TGraphicsDriver* GetGraphicsDriver();
int DefaultGraphicsFlags();

std::vector<TGraphicsMode> GraphicsModes();
int CountGraphicsModes();
void GetGraphicsMode(int index, int& width, int& height, int& depth, int& hertz);
// 1 when a listed mode matches every argument that is not 0.
int GraphicsModeExists(int width, int height, int depth = 0, int hertz = 0);

// Errors raised by the driver are caught and give null (see LastGraphicsError).
std::shared_ptr<TGraphics> CreateGraphics(int width, int height, int depth = 0, int hertz = 60, int flags = 0);
std::shared_ptr<TGraphics> AttachGraphics(void* widget, int flags = 0);
void SetGraphics(const std::shared_ptr<TGraphics>& g);
void CloseGraphics(const std::shared_ptr<TGraphics>& g);
// The current context, null when none.
std::shared_ptr<TGraphics> CurrentGraphics();

// Opens the program's display (depth 0: a window; else full screen) and makes
// it current, replacing what Graphics opened before. Null on failure, e.g.
// with no display at all; LastGraphicsError then says why.
std::shared_ptr<TGraphics> Graphics(int width, int height, int depth = 0, int hertz = 60, int flags = 0);
void EndGraphics();

// One line saying why the last CreateGraphics/Graphics gave null; empty after a success.
std::string LastGraphicsError();
// Drivers record their failure reason here before returning null.
void SetLastGraphicsError(const std::string& text);
// A driver whose new context cannot wait for the vertical blank at all (no
// swap control) says so while creating it; Graphics then keeps software
// pacing without measuring the vertical blank. Assumed available otherwise.
void SetGraphicsVerticalBlankAvailable(bool available);

// Settings of the current context, 0 when none is current.
int GraphicsWidth();
int GraphicsHeight();
int GraphicsDepth();
int GraphicsHertz();
int GraphicsFlags();

// Changes whenever Graphics opens or EndGraphics closes a display; cached
// textures remember it and are rebuilt when it differs. Never 0.
int GraphicsSeq();
// Drivers whose contexts lost every object they held (a reset, a lost WebGL
// context) and were made again call this: GraphicsSeq changes, so images
// make their textures again from their pixmaps. The driver then sets the
// current graphics again, for the 2D driver to set up its state anew.
void GraphicsObjectsLost();

// Runs the flip hooks, then presents. sync -1 paces to the rate Graphics was
// opened with (sleeping, or the vertical blank when that proved reliable);
// 0 presents at once; 1 waits for the vertical blank.
void Flip(int sync = -1);

// Hook id run (with no data) by Flip before each present, for overlays.
int FlipHook();

// Hook id run (with no data) when the connection to the window system is
// lost for good (the X server ended, a remote display went away). Nothing
// can be shown or closed any more: the hooks keep what must not be lost,
// then the program ends at once with status 1.
int DisplayLostHook();

// Wishes for the windows a driver makes; without them a window (depth 0)
// shows the picture 1:1 and cannot be resized.
// A window shows the picture at this whole scale and can be resized, the
// picture kept sharp and centred; 0 = the largest scale that fits the
// desktop's usable area; negative = back to the plain 1:1 window.
void SetGraphicsWindowScale(int scale);
// The icon of every window, those open and those to come; null: none set.
void SetGraphicsIcon(const TPixmapPtr& icon);
// The window class (X11) or application id (Wayland); taken when the display
// first opens, so set it before the first Graphics.
void SetGraphicsAppId(const std::string& id);

struct TGraphicsWindowOptions {
    int scale = -1;  // -1: not asked for
    TPixmapPtr icon;
    std::string app_id;
    int serial = 0;  // changes with every Set call, so drivers can tell
};
const TGraphicsWindowOptions& GraphicsWindowOptions();

}  // namespace kelvora
