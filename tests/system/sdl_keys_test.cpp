// Virtual-key numbers of SDL key reports where layout and position differ
// (the game's own keys are checked end to end with real X input).
#include <SDL.h>
#include <gtest/gtest.h>

#include <set>

#include "kelvora/system/keys.h"
#include "system/sdl/sdl_keys.h"

using namespace kelvora;

namespace {

TEST(SDLKeys, LettersFollowTheLayoutOtherKeysTheirPosition)
{
    // A French keyboard types "a" on the key in the Q position.
    EXPECT_EQ(VirtualKeyFromSDL(SDLK_a, SDL_SCANCODE_Q), 'A');
    // A key typing no letter still has its position's letter.
    EXPECT_EQ(VirtualKeyFromSDL(0xE9, SDL_SCANCODE_Z), 'Z');
    // Top-row digits keep their numbers whatever the layout types there.
    EXPECT_EQ(VirtualKeyFromSDL('&', SDL_SCANCODE_1), '1');
    EXPECT_EQ(VirtualKeyFromSDL(SDLK_0, SDL_SCANCODE_0), '0');
    EXPECT_EQ(VirtualKeyFromSDL(SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER), 13);
    EXPECT_EQ(VirtualKeyFromSDL(SDLK_KP_9, SDL_SCANCODE_KP_9), 105);
    EXPECT_EQ(VirtualKeyFromSDL(SDLK_F12, SDL_SCANCODE_F12), 123);
    EXPECT_EQ(VirtualKeyFromSDL(SDLK_RCTRL, SDL_SCANCODE_RCTRL), 163);
    EXPECT_EQ(VirtualKeyFromSDL(SDLK_UNKNOWN, SDL_SCANCODE_UNKNOWN), 0);
}

// The named constants are exactly the numbers the translation can report:
// no key a game cannot name, no name for a number that never comes, no two
// names for one number.
TEST(SDLKeys, EveryReportedKeyHasOneName)
{
    const int named[] = {
        KEY_BACKSPACE, KEY_TAB, KEY_CLEAR, KEY_ENTER, KEY_PAUSE, KEY_CAPSLOCK, KEY_ESCAPE, KEY_SPACE, KEY_PAGEUP,
        KEY_PAGEDOWN, KEY_END, KEY_HOME, KEY_LEFT, KEY_UP, KEY_RIGHT, KEY_DOWN, KEY_SELECT, KEY_EXEC,
        KEY_PRINTSCREEN, KEY_INSERT, KEY_DELETE, KEY_HELP, KEY_0, KEY_1, KEY_2, KEY_3, KEY_4, KEY_5, KEY_6, KEY_7,
        KEY_8, KEY_9, KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I, KEY_J, KEY_K, KEY_L, KEY_M,
        KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R, KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z, KEY_LSYSTEM,
        KEY_RSYSTEM, KEY_CONTEXTMENU, KEY_SLEEP, KEY_NUM0, KEY_NUM1, KEY_NUM2, KEY_NUM3, KEY_NUM4, KEY_NUM5,
        KEY_NUM6, KEY_NUM7, KEY_NUM8, KEY_NUM9, KEY_NUMMULTIPLY, KEY_NUMADD, KEY_NUMSUBTRACT, KEY_NUMDECIMAL,
        KEY_NUMDIVIDE, KEY_NUMLOCK, KEY_F1, KEY_F2, KEY_F3, KEY_F4, KEY_F5, KEY_F6, KEY_F7, KEY_F8, KEY_F9, KEY_F10,
        KEY_F11, KEY_F12, KEY_F13, KEY_F14, KEY_F15, KEY_F16, KEY_F17, KEY_F18, KEY_F19, KEY_F20, KEY_F21, KEY_F22,
        KEY_F23, KEY_F24, KEY_SCROLLLOCK, KEY_LSHIFT, KEY_RSHIFT, KEY_LCONTROL, KEY_RCONTROL, KEY_LALT, KEY_RALT,
        KEY_BROWSERBACK, KEY_BROWSERFORWARD, KEY_BROWSERREFRESH, KEY_BROWSERSTOP, KEY_BROWSERSEARCH,
        KEY_BROWSERBOOKMARKS, KEY_BROWSERHOME, KEY_VOLUMEMUTE, KEY_VOLUMEDOWN, KEY_VOLUMEUP, KEY_MEDIANEXT,
        KEY_MEDIAPREV, KEY_MEDIASTOP, KEY_MEDIAPLAY, KEY_MAIL, KEY_MEDIASELECT, KEY_COMPUTER, KEY_CALCULATOR,
        KEY_SEMICOLON, KEY_EQUALS, KEY_COMMA, KEY_MINUS, KEY_PERIOD, KEY_SLASH, KEY_BACKQUOTE, KEY_OPENBRACKET,
        KEY_BACKSLASH, KEY_CLOSEBRACKET, KEY_QUOTE, KEY_INTLBACKSLASH,
    };
    const std::set<int> names(std::begin(named), std::end(named));
    EXPECT_EQ(names.size(), std::size(named)) << "two names for one number";

    std::set<int> reported;
    for (int scancode = 0; scancode < SDL_NUM_SCANCODES; ++scancode)
        if (int vk = VirtualKeyFromSDL(SDLK_UNKNOWN, scancode)) reported.insert(vk);
    for (int letter = SDLK_a; letter <= SDLK_z; ++letter) reported.insert(VirtualKeyFromSDL(letter, SDL_SCANCODE_UNKNOWN));
    for (int vk : reported) EXPECT_TRUE(names.count(vk)) << vk << " is reported but has no name";
    for (int vk : names) EXPECT_TRUE(reported.count(vk)) << vk << " has a name but is never reported";
}

}  // namespace
