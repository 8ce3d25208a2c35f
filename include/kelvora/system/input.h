/// @file
/// Polled keyboard and mouse. A hook on the event chain keeps tables of held
/// keys and buttons, press counts, typed characters and the pointer; every
/// query pumps the platform messages first, so its answer is current. Graphics
/// starts the tables and EndGraphics stops them: no key, button or close
/// request counts while no display is open.
///
/// Keys are the KEY_ numbers of keys.h (Windows virtual-key numbers); mouse
/// buttons are MOUSE_LEFT 1, MOUSE_RIGHT 2, MOUSE_MIDDLE 3. Losing the focus
/// lets go of every key and button. Main thread only.
#pragma once

#include <memory>

#include "kelvora/system/keys.h"

namespace kelvora {

/// Presses of the key since the last KeyHit of it or the last flush; counting
/// resets to 0. A key pressed and released between two frames still counts.
/// Key numbers outside 0..255 (and buttons outside 0..3) read 0 and change nothing.
int KeyHit(int key);
/// 1 while the key is held (and has been pressed since the last flush).
int KeyDown(int key);
/// The oldest typed character (a Unicode code point), or 0. At most 256
/// wait; later ones are dropped.
int GetChar();
/// Forgets typed characters; every key counts as up until pressed again.
void FlushKeys();

/// The pointer's x in picture pixels (also in full screen, where the picture
/// is scaled); negative, or past the width, over the bars beside it.
int MouseX();
/// The pointer's y in picture pixels.
int MouseY();
/// The wheel total: +1 per notch away from the user, -1 per notch towards.
int MouseZ();
/// Presses of the button since the last MouseHit of it or the last flush.
int MouseHit(int button);
/// 1 while the button is held.
int MouseDown(int button);
/// Every button counts as up until pressed again; the wheel total becomes 0
/// (the pointer position stays).
void FlushMouse();

/// 1 while the application has lost the focus.
int AppSuspended();
/// 1 once after a close request (the window's close button, the system's
/// quit), then 0 until the next one. A game loop checks it beside its own
/// quit key.
int AppTerminate();

/// Flushes, then waits for a key press and returns its key (the lowest key
/// number when several came at once).
int WaitKey();
/// Flushes, then waits for a typed character and returns it.
int WaitChar();
/// Flushes, then waits for a mouse button press and returns the button.
int WaitMouse();

/// Installs the table hook on the event chain (once); with a source, only
/// events of that source count. Graphics opening and closing call these.
void EnablePolledInput(std::shared_ptr<void> source = nullptr);
/// Removes the table hook and forgets held keys, buttons and typed
/// characters.
void DisablePolledInput();

}  // namespace kelvora
