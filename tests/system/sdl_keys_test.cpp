// Virtual-key numbers of SDL key reports where layout and position differ
// (the game's own keys are checked end to end with real X input).
#include <SDL.h>
#include <gtest/gtest.h>

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

}  // namespace
