/// @file
/// The graphics front end: one current graphics driver and context, display
/// modes, opening the game's display, and Flip with frame pacing.
///
/// A game calls Init (which installs the platform's driver), then Graphics
/// once, draws each frame with the calls of rast2d.h, image.h and
/// image_font.h, and ends each frame with Flip. All of it on the main thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace kelvora {

/// @name Graphics flags
/// For Graphics and CreateGraphics, OR-ed with the driver's default flags
/// (GFX_BACKBUFFER for the engine's drivers, so every display is
/// double-buffered whatever the game asks).
/// @{
constexpr int GFX_BACKBUFFER = 2;     ///< Double-buffered
constexpr int GFX_ALPHABUFFER = 4;    ///< At least 1 alpha bit
constexpr int GFX_DEPTHBUFFER = 8;    ///< At least 1 depth bit
constexpr int GFX_STENCILBUFFER = 16; ///< At least 1 stencil bit
constexpr int GFX_ACCUMBUFFER = 32;   ///< At least 1 accumulation bit
/// @}

class TGraphicsDriver;
class TPixmap;
/// A pixmap, shared by whoever holds it.
using TPixmapPtr = std::shared_ptr<TPixmap>;

/// One display mode.
class TGraphicsMode {
public:
    int width = 0;   ///< Pixels across
    int height = 0;  ///< Pixels down
    int depth = 0;   ///< Bits per pixel
    int hertz = 0;   ///< Refresh rate, 0 when the display does not say
    /// "640x480x32@60Hz".
    std::string ToString() const;
};

/// A graphics context: a window or a full-screen display with what draws into
/// it. Graphics opens and keeps the game's; a program holds others itself.
class TGraphics {
public:
    virtual ~TGraphics() = default;
    /// The driver that made it.
    virtual TGraphicsDriver* Driver() = 0;
    /// Its size, depth (0 for a window), refresh rate and flags.
    virtual void GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) = 0;
    /// Closes the window and frees what drew into it. Closing twice is
    /// harmless.
    virtual void Close() = 0;
};

/// The platform's windows and contexts. Drivers are single instances that
/// live for the whole run; Init installs the platform's own.
class TGraphicsDriver {
public:
    virtual ~TGraphicsDriver() = default;
    /// The display's modes.
    virtual std::vector<TGraphicsMode> GraphicsModes() = 0;
    /// A context on an existing native window (an X11 window id cast to a
    /// pointer under X11); null when the driver cannot attach.
    virtual std::shared_ptr<TGraphics> AttachGraphics(void* widget, int flags) = 0;
    /// depth 0 is a window, anything else full screen; null on failure, with
    /// the reason given to SetLastGraphicsError.
    virtual std::shared_ptr<TGraphics> CreateGraphics(int width, int height, int depth, int hertz, int flags) = 0;
    /// Makes g current; null makes nothing current.
    virtual void SetGraphics(const std::shared_ptr<TGraphics>& g) = 0;
    /// Presents the frame: sync 0 at once, 1 on the vertical blank.
    virtual void Flip(int sync) = 0;
};

/// Installs the driver Graphics and friends use, with its default flags.
/// Init does this with the platform's driver; the driver must outlive its use.
void SetGraphicsDriver(TGraphicsDriver* driver, int default_flags = GFX_BACKBUFFER);
/// The installed driver; null before Init.
TGraphicsDriver* GetGraphicsDriver();
/// The flags every context of the installed driver gets.
int DefaultGraphicsFlags();

/// The display's modes (asked once, then kept until the driver changes).
std::vector<TGraphicsMode> GraphicsModes();
/// How many modes GraphicsModes lists.
int CountGraphicsModes();
/// Mode index of the list; all 0 for an index outside it.
void GetGraphicsMode(int index, int& width, int& height, int& depth, int& hertz);
/// 1 when a listed mode matches every argument that is not 0.
int GraphicsModeExists(int width, int height, int depth = 0, int hertz = 0);

/// A context of the installed driver, not made current (see Graphics for
/// the arguments). Errors raised by the driver are caught and give null (see
/// LastGraphicsError).
std::shared_ptr<TGraphics> CreateGraphics(int width, int height, int depth = 0, int hertz = 60, int flags = 0);
/// A context on a native window the program made (see
/// TGraphicsDriver::AttachGraphics); null on failure.
std::shared_ptr<TGraphics> AttachGraphics(void* widget, int flags = 0);
/// Makes g the context drawing goes to; null makes none current.
void SetGraphics(const std::shared_ptr<TGraphics>& g);
/// Closes g (and makes nothing current when it was current).
void CloseGraphics(const std::shared_ptr<TGraphics>& g);
/// The current context, null when none.
std::shared_ptr<TGraphics> CurrentGraphics();

/// Opens the program's display and makes it current, replacing what Graphics
/// opened before.
///
/// - depth 0 opens a window of width x height pixels. Any other depth is full
///   screen: the display is not switched; the width x height picture is
///   scaled to fit it, aspect kept, black bars beside, and the mouse reads in
///   picture pixels all the same. The pointer starts in the middle.
/// - hertz is the frame rate Flip() keeps, by sleeping; in full screen, when
///   the vertical blank proves to come at that rate, by waiting for it
///   instead. 0: Flip() does not pace (it waits for the vertical blank in
///   full screen only).
/// - flags: GFX_ bits, OR-ed with the driver's defaults (GFX_BACKBUFFER).
///
/// So Graphics(640, 480, 1, 60, GFX_BACKBUFFER) is a 640x480 picture, full
/// screen, 60 frames a second. The render state starts afresh (white, alpha
/// 1, BLEND_MASK, the built-in font, no rotation, scale 1, origin and handle
/// 0, the whole picture as viewport, black for Cls) and the keyboard and mouse
/// are read from the new display. Null on failure, e.g. with no display at all;
/// LastGraphicsError then says why.
std::shared_ptr<TGraphics> Graphics(int width, int height, int depth = 0, int hertz = 60, int flags = 0);
/// Closes what Graphics opened (nothing when nothing is open). Shutdown and
/// the end of the program do this.
void EndGraphics();

/// One line saying why the last CreateGraphics/Graphics gave null; empty after a success.
std::string LastGraphicsError();
/// Drivers record their failure reason here before returning null.
void SetLastGraphicsError(const std::string& text);
/// A driver whose new context cannot wait for the vertical blank at all (no
/// swap control) says so while creating it; Graphics then keeps software
/// pacing without measuring the vertical blank. Assumed available otherwise.
void SetGraphicsVerticalBlankAvailable(bool available);

/// @name Settings of the current context
/// 0 when none is current. In full screen, depth and hertz are the display's.
/// @{

/// Picture width in pixels.
int GraphicsWidth();
/// Picture height in pixels.
int GraphicsHeight();
/// 0 for a window, else the display's bits per pixel.
int GraphicsDepth();
/// The rate asked for; in full screen the display's refresh rate.
int GraphicsHertz();
/// The GFX_ flags it was made with.
int GraphicsFlags();
/// @}

/// Changes whenever Graphics opens or EndGraphics closes a display; cached
/// textures remember it and are rebuilt when it differs. Never 0.
int GraphicsSeq();
/// Drivers whose contexts lost every object they held (a reset, a lost WebGL
/// context) and were made again call this: GraphicsSeq changes, so images
/// make their textures again from their pixmaps. The driver then sets the
/// current graphics again, for the 2D driver to set up its state anew.
void GraphicsObjectsLost();

/// Ends the frame: runs the flip hooks, then shows what was drawn. sync -1
/// (the default) paces to the rate Graphics was opened with, sleeping or
/// waiting for the vertical blank (see Graphics); a frame that comes late is
/// shown at once, and the lost time is not made up. 0 presents at once; 1
/// waits for the vertical blank.
void Flip(int sync = -1);

/// Hook id run (with no data) by Flip before each present, for overlays.
int FlipHook();

/// Hook id run (with no data) when the connection to the window system is
/// lost for good (the X server ended, a remote display went away). Nothing
/// can be shown or closed any more: the hooks keep what must not be lost,
/// then the program ends at once with status 1.
int DisplayLostHook();

/// Asks for windows (depth 0) that show the picture at this whole scale and
/// can be resized, the picture kept sharp and centred; 0 = the largest scale
/// that fits the desktop's usable area; negative = back to the plain 1:1
/// window that cannot be resized (the default). Applies to windows open and
/// to come.
void SetGraphicsWindowScale(int scale);
/// The icon of every window, those open and those to come; null: none set.
void SetGraphicsIcon(const TPixmapPtr& icon);
/// The window class (X11) or application id (Wayland); taken when the display
/// first opens, so set it before the first Graphics.
void SetGraphicsAppId(const std::string& id);

/// The window wishes set above, as drivers read them.
struct TGraphicsWindowOptions {
    int scale = -1;       ///< -1: not asked for
    TPixmapPtr icon;      ///< Null: none set
    std::string app_id;   ///< Empty: not set
    int serial = 0;       ///< Changes with every Set call, so drivers can tell
};
/// The current window wishes.
const TGraphicsWindowOptions& GraphicsWindowOptions();

}  // namespace kelvora
