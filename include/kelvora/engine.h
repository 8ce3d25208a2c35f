/// @file
/// Starting and stopping the engine as a whole, and what a program tells it
/// about itself.
///
/// A program calls Init once at start, opens its display with Graphics, and
/// calls Shutdown on its way out:
///
///     Init(settings);
///     Graphics(640, 480);
///     while (!KeyHit(KEY_ESCAPE) && !AppTerminate()) { Cls(); ...; Flip(); }
///     Shutdown();
///
/// Threads: every engine call is made from the thread that called Init (the
/// main thread, where windows, events and OpenGL contexts live). The sound
/// output mixes on a thread of its own and a decoder thread finishes loading
/// long sounds; the audio calls hand them their work, so they too are called
/// from the main thread only.
///
/// State: the engine keeps one state per process: the current graphics, the
/// audio driver, the pads, the clock. Drawing settings (colour, alpha, blend,
/// transform, origin, handle, viewport, font) belong to the graphics they
/// were set on, and each Graphics starts from the defaults: white, opaque,
/// BLEND_MASK, no rotation or scale, the whole picture, the built-in 8x16
/// font for DrawText.
///
/// Ownership: images, image fonts, sounds and channels are shared pointers,
/// alive while anyone holds them, whatever happens to the drivers. One held
/// past Shutdown, or in a global or static released after main returns, is
/// released harmlessly: its texture went with its driver, or goes with it.
///
/// Misuse: drawing or setting a drawing setting with no graphics open (Cls,
/// DrawImage, DrawText, SetColor, Flip ...) does nothing, and the first such
/// call says so on stderr; getters then read the defaults. Images, fonts and
/// sounds load without Init and without graphics; a file that cannot be
/// loaded gives null.
#pragma once

#include <string>

namespace kelvora {

/// What the program tells the engine about itself at start. Each field has a
/// default that suits any program; a game sets those it wants its own
/// (every field has an initialiser, so designated initialisers naming only
/// some of them need no others).
struct TEngineSettings {
    /// The program's name as players see it: the window caption and the
    /// title of message boxes. Empty: the program file's name.
    std::string app_name{};
    /// The folder of the player's own settings for the engine (pad mappings
    /// in gamecontrollerdb.txt), under $XDG_CONFIG_HOME (~/.config) on Linux
    /// and %APPDATA% on Windows. Empty: made from the application name, its
    /// letters, digits, '-', '_' and '.' kept, lower-case on Linux: "Space
    /// Bats!" gives ~/.config/spacebats and %APPDATA%\\SpaceBats.
    std::string config_folder{};
    /// The environment variable a player sets to put one renderer first:
    /// "legacy" (fixed-function OpenGL), "core" (OpenGL 3.3 core) or "es"
    /// (OpenGL ES 3.0); should its context fail, the others follow. A bad
    /// value is said on stderr and the default order kept (legacy, core, es).
    /// Empty: no variable is read. Not read in a browser page (WebGL 2 only).
    std::string renderer_variable = "KELVORA_RENDERER";
};

/// Starts the engine's services in order: takes the settings, readies the
/// pads and the font loader, and installs the platform's graphics driver
/// (GFX_BACKBUFFER by default). Opens no window and no sound output:
/// Graphics opens the display, the first audio call the sound output. Call
/// it on the main thread before any other engine call; called again (after
/// Shutdown too), it starts them again with the new settings.
void Init(const TEngineSettings& settings = {});

/// Stops them in the reverse order: graphics ended and the graphics driver
/// removed (with the textures it kept), the pads closed, the sound output
/// stopped (even when an earlier step throws). Harmless twice, or without
/// Init. Objects still held stay valid and are released harmlessly; drawing
/// needs Init and Graphics again. Without Shutdown the graphics end at exit,
/// and the sound output plays on until its driver's state goes, among the
/// program's statics: a program that plays sound calls Shutdown on every
/// way out, errors included.
void Shutdown();

}  // namespace kelvora
