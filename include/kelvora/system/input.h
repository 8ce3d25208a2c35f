// Polled keyboard and mouse. A hook on the event chain keeps tables of held
// keys and buttons, press counts, typed characters and the pointer; every
// query pumps the platform messages first, so its answer is current.
// Keys are Windows virtual-key numbers (Escape 27, Space 32, cursor keys
// 37..40, left/right Shift 160/161, Control 162/163, Alt 164/165); mouse
// buttons are 1 left, 2 right, 3 middle.
#pragma once

#include <memory>

namespace kelvora {

constexpr int KEY_BACKSPACE = 8, KEY_TAB = 9, KEY_ENTER = 13, KEY_ESCAPE = 27, KEY_SPACE = 32;
constexpr int KEY_LEFT = 37, KEY_UP = 38, KEY_RIGHT = 39, KEY_DOWN = 40;
constexpr int KEY_LSHIFT = 160, KEY_RSHIFT = 161, KEY_LCONTROL = 162, KEY_RCONTROL = 163;
constexpr int KEY_LALT = 164, KEY_RALT = 165;

// Presses of the key since the last KeyHit of it or the last flush.
// Key numbers outside 0..255 (and buttons outside 0..3) read 0 and change nothing.
int KeyHit(int key);
// 1 while the key is held (and has been pressed since the last flush).
int KeyDown(int key);
// The oldest typed character, or 0. At most 256 wait; later ones are dropped.
int GetChar();
// Forgets typed characters; every key counts as up until pressed again.
void FlushKeys();

int MouseX();
int MouseY();
// The wheel total: +1 per notch away from the user, -1 per notch towards.
int MouseZ();
int MouseHit(int button);
int MouseDown(int button);
// Every button counts as up until pressed again; the wheel total becomes 0
// (the pointer position stays).
void FlushMouse();

// 1 while the application has lost the focus.
int AppSuspended();
// 1 once after a close request, then 0 until the next one.
int AppTerminate();

// Flush, then wait for a key press (the lowest key code with one), a
// character or a mouse button press.
int WaitKey();
int WaitChar();
int WaitMouse();

// Installs the table hook on the event chain (once); with a source, only
// events of that source count. Graphics opening and closing call these.
void EnablePolledInput(std::shared_ptr<void> source = nullptr);
void DisablePolledInput();

}  // namespace kelvora
