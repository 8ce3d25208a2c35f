/// @file
/// Key and mouse button numbers, as KeyHit, KeyDown, MouseHit, MouseDown and
/// the key events report them.
///
/// Keys are Windows virtual-key numbers on every system. Keys are named by
/// their place on a US keyboard, except that a letter key reports the letter
/// the player's layout types on it when that is one of A-Z (the key a French
/// keyboard has where a US one has Q types a: KEY_A). Shift, Control, Alt and
/// the system keys always report their left or right number, never a common
/// one, and the keypad's Enter reports KEY_ENTER. These are all the numbers
/// the engine reports; recorded runs store them, so they never change.
#pragma once

namespace kelvora {

/// @name Editing and navigation keys
/// @{
constexpr int KEY_BACKSPACE = 8;    ///< Backspace
constexpr int KEY_TAB = 9;          ///< Tab
constexpr int KEY_CLEAR = 12;       ///< Clear
constexpr int KEY_ENTER = 13;       ///< Return, and Enter on the keypad
constexpr int KEY_PAUSE = 19;       ///< Pause / Break
constexpr int KEY_CAPSLOCK = 20;    ///< Caps Lock
constexpr int KEY_ESCAPE = 27;      ///< Escape
constexpr int KEY_SPACE = 32;       ///< Space bar
constexpr int KEY_PAGEUP = 33;      ///< Page Up
constexpr int KEY_PAGEDOWN = 34;    ///< Page Down
constexpr int KEY_END = 35;         ///< End
constexpr int KEY_HOME = 36;        ///< Home
constexpr int KEY_LEFT = 37;        ///< Cursor left
constexpr int KEY_UP = 38;          ///< Cursor up
constexpr int KEY_RIGHT = 39;       ///< Cursor right
constexpr int KEY_DOWN = 40;        ///< Cursor down
constexpr int KEY_SELECT = 41;      ///< Select
constexpr int KEY_EXEC = 43;        ///< Execute (KEY_EXECUTE would clash with a `<windows.h>` macro)
constexpr int KEY_PRINTSCREEN = 44; ///< Print Screen
constexpr int KEY_INSERT = 45;      ///< Insert
constexpr int KEY_DELETE = 46;      ///< Delete
constexpr int KEY_HELP = 47;        ///< Help
/// @}

/// @name The digit row (not the keypad)
/// @{
constexpr int KEY_0 = 48; ///< 0
constexpr int KEY_1 = 49; ///< 1
constexpr int KEY_2 = 50; ///< 2
constexpr int KEY_3 = 51; ///< 3
constexpr int KEY_4 = 52; ///< 4
constexpr int KEY_5 = 53; ///< 5
constexpr int KEY_6 = 54; ///< 6
constexpr int KEY_7 = 55; ///< 7
constexpr int KEY_8 = 56; ///< 8
constexpr int KEY_9 = 57; ///< 9
/// @}

/// @name Letters (the same numbers as the upper-case ASCII letters)
/// @{
constexpr int KEY_A = 65; ///< A
constexpr int KEY_B = 66; ///< B
constexpr int KEY_C = 67; ///< C
constexpr int KEY_D = 68; ///< D
constexpr int KEY_E = 69; ///< E
constexpr int KEY_F = 70; ///< F
constexpr int KEY_G = 71; ///< G
constexpr int KEY_H = 72; ///< H
constexpr int KEY_I = 73; ///< I
constexpr int KEY_J = 74; ///< J
constexpr int KEY_K = 75; ///< K
constexpr int KEY_L = 76; ///< L
constexpr int KEY_M = 77; ///< M
constexpr int KEY_N = 78; ///< N
constexpr int KEY_O = 79; ///< O
constexpr int KEY_P = 80; ///< P
constexpr int KEY_Q = 81; ///< Q
constexpr int KEY_R = 82; ///< R
constexpr int KEY_S = 83; ///< S
constexpr int KEY_T = 84; ///< T
constexpr int KEY_U = 85; ///< U
constexpr int KEY_V = 86; ///< V
constexpr int KEY_W = 87; ///< W
constexpr int KEY_X = 88; ///< X
constexpr int KEY_Y = 89; ///< Y
constexpr int KEY_Z = 90; ///< Z
/// @}

/// @name System keys
/// @{
constexpr int KEY_LSYSTEM = 91;     ///< Left Windows / Super / Command key
constexpr int KEY_RSYSTEM = 92;     ///< Right Windows / Super / Command key
constexpr int KEY_CONTEXTMENU = 93; ///< The context-menu key
constexpr int KEY_SLEEP = 95;       ///< Sleep
/// @}

/// @name The keypad
/// @{
constexpr int KEY_NUM0 = 96;         ///< Keypad 0
constexpr int KEY_NUM1 = 97;         ///< Keypad 1
constexpr int KEY_NUM2 = 98;         ///< Keypad 2
constexpr int KEY_NUM3 = 99;         ///< Keypad 3
constexpr int KEY_NUM4 = 100;        ///< Keypad 4
constexpr int KEY_NUM5 = 101;        ///< Keypad 5
constexpr int KEY_NUM6 = 102;        ///< Keypad 6
constexpr int KEY_NUM7 = 103;        ///< Keypad 7
constexpr int KEY_NUM8 = 104;        ///< Keypad 8
constexpr int KEY_NUM9 = 105;        ///< Keypad 9
constexpr int KEY_NUMMULTIPLY = 106; ///< Keypad *
constexpr int KEY_NUMADD = 107;      ///< Keypad +
constexpr int KEY_NUMSUBTRACT = 109; ///< Keypad -
constexpr int KEY_NUMDECIMAL = 110;  ///< Keypad decimal point
constexpr int KEY_NUMDIVIDE = 111;   ///< Keypad /
constexpr int KEY_NUMLOCK = 144;     ///< Num Lock
/// @}

/// @name Function keys
/// @{
constexpr int KEY_F1 = 112;  ///< F1
constexpr int KEY_F2 = 113;  ///< F2
constexpr int KEY_F3 = 114;  ///< F3
constexpr int KEY_F4 = 115;  ///< F4
constexpr int KEY_F5 = 116;  ///< F5
constexpr int KEY_F6 = 117;  ///< F6
constexpr int KEY_F7 = 118;  ///< F7
constexpr int KEY_F8 = 119;  ///< F8
constexpr int KEY_F9 = 120;  ///< F9
constexpr int KEY_F10 = 121; ///< F10
constexpr int KEY_F11 = 122; ///< F11
constexpr int KEY_F12 = 123; ///< F12
constexpr int KEY_F13 = 124; ///< F13
constexpr int KEY_F14 = 125; ///< F14
constexpr int KEY_F15 = 126; ///< F15
constexpr int KEY_F16 = 127; ///< F16
constexpr int KEY_F17 = 128; ///< F17
constexpr int KEY_F18 = 129; ///< F18
constexpr int KEY_F19 = 130; ///< F19
constexpr int KEY_F20 = 131; ///< F20
constexpr int KEY_F21 = 132; ///< F21
constexpr int KEY_F22 = 133; ///< F22
constexpr int KEY_F23 = 134; ///< F23
constexpr int KEY_F24 = 135; ///< F24
/// @}

/// @name Lock and modifier keys
/// @{
constexpr int KEY_SCROLLLOCK = 145; ///< Scroll Lock
constexpr int KEY_LSHIFT = 160;     ///< Left Shift
constexpr int KEY_RSHIFT = 161;     ///< Right Shift
constexpr int KEY_LCONTROL = 162;   ///< Left Control
constexpr int KEY_RCONTROL = 163;   ///< Right Control
constexpr int KEY_LALT = 164;       ///< Left Alt
constexpr int KEY_RALT = 165;       ///< Right Alt (AltGr)
/// @}

/// @name Browser, media and launch keys
/// @{
constexpr int KEY_BROWSERBACK = 166;      ///< Browser Back
constexpr int KEY_BROWSERFORWARD = 167;   ///< Browser Forward
constexpr int KEY_BROWSERREFRESH = 168;   ///< Browser Refresh
constexpr int KEY_BROWSERSTOP = 169;      ///< Browser Stop
constexpr int KEY_BROWSERSEARCH = 170;    ///< Browser Search
constexpr int KEY_BROWSERBOOKMARKS = 171; ///< Browser Bookmarks
constexpr int KEY_BROWSERHOME = 172;      ///< Browser Home
constexpr int KEY_VOLUMEMUTE = 173;       ///< Mute
constexpr int KEY_VOLUMEDOWN = 174;       ///< Volume down
constexpr int KEY_VOLUMEUP = 175;         ///< Volume up
constexpr int KEY_MEDIANEXT = 176;        ///< Next track
constexpr int KEY_MEDIAPREV = 177;        ///< Previous track
constexpr int KEY_MEDIASTOP = 178;        ///< Stop
constexpr int KEY_MEDIAPLAY = 179;        ///< Play / Pause
constexpr int KEY_MAIL = 180;             ///< Mail
constexpr int KEY_MEDIASELECT = 181;      ///< Media select
constexpr int KEY_COMPUTER = 182;         ///< The "My computer" launch key
constexpr int KEY_CALCULATOR = 183;       ///< Calculator
/// @}

/// @name Punctuation, named by the US layout's key
/// Each reports the number of its position, whatever the layout types there.
/// @{
constexpr int KEY_SEMICOLON = 186;     ///< ; :
constexpr int KEY_EQUALS = 187;        ///< = +
constexpr int KEY_COMMA = 188;         ///< , <
constexpr int KEY_MINUS = 189;         ///< - _
constexpr int KEY_PERIOD = 190;        ///< . >
constexpr int KEY_SLASH = 191;         ///< / ?
constexpr int KEY_BACKQUOTE = 192;     ///< ` ~ (left of 1)
constexpr int KEY_OPENBRACKET = 219;   ///< [ {
constexpr int KEY_BACKSLASH = 220;     ///< \ | (also the # key beside Return on ISO keyboards)
constexpr int KEY_CLOSEBRACKET = 221;  ///< ] }
constexpr int KEY_QUOTE = 222;         ///< ' "
constexpr int KEY_INTLBACKSLASH = 226; ///< The ISO keyboard's extra key between left Shift and Z
/// @}

/// @name Mouse buttons
/// @{
constexpr int MOUSE_LEFT = 1;   ///< Left button
constexpr int MOUSE_RIGHT = 2;  ///< Right button
constexpr int MOUSE_MIDDLE = 3; ///< Middle button (the wheel pressed)
/// @}

}  // namespace kelvora
