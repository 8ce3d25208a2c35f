// Virtual-key numbers of the SDL key reports the game relies on.
#include <SDL.h>
#include <gtest/gtest.h>

#include "system/sdl_keys.h"

namespace {

TEST(SDLKeys, GameKeysAndSideSpecificModifiers)
{
    struct Case {
        SDL_Keycode sym;
        SDL_Scancode scan;
        int vk;
    } cases[] = {
        {SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, 27}, {SDLK_SPACE, SDL_SCANCODE_SPACE, 32},
        {SDLK_LEFT, SDL_SCANCODE_LEFT, 37},     {SDLK_UP, SDL_SCANCODE_UP, 38},
        {SDLK_RIGHT, SDL_SCANCODE_RIGHT, 39},   {SDLK_DOWN, SDL_SCANCODE_DOWN, 40},
        {SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, 160}, {SDLK_RSHIFT, SDL_SCANCODE_RSHIFT, 161},
        {SDLK_LCTRL, SDL_SCANCODE_LCTRL, 162},  {SDLK_RCTRL, SDL_SCANCODE_RCTRL, 163},
        {SDLK_LALT, SDL_SCANCODE_LALT, 164},    {SDLK_RALT, SDL_SCANCODE_RALT, 165},
        {SDLK_RETURN, SDL_SCANCODE_RETURN, 13}, {SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, 13},
        {SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, 8}, {SDLK_TAB, SDL_SCANCODE_TAB, 9},
        {SDLK_0, SDL_SCANCODE_0, 48},           {SDLK_9, SDL_SCANCODE_9, 57},
        {SDLK_F1, SDL_SCANCODE_F1, 112},        {SDLK_F12, SDL_SCANCODE_F12, 123},
        {SDLK_KP_0, SDL_SCANCODE_KP_0, 96},     {SDLK_KP_9, SDL_SCANCODE_KP_9, 105},
        {SDLK_LGUI, SDL_SCANCODE_LGUI, 91},     {SDLK_RGUI, SDL_SCANCODE_RGUI, 92},
        {SDLK_a, SDL_SCANCODE_A, 65},           {SDLK_z, SDL_SCANCODE_Z, 90},
        // A French keyboard types "a" on the key in the Q position.
        {SDLK_a, SDL_SCANCODE_Q, 65},
        // Top-row digits keep their numbers whatever the layout types there.
        {'&', SDL_SCANCODE_1, 49},
        {SDLK_UNKNOWN, SDL_SCANCODE_UNKNOWN, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(VirtualKeyFromSDL(c.sym, c.scan), c.vk) << SDL_GetScancodeName(c.scan);
}

}  // namespace
