#include "system/sdl/pad_layout.h"

#include <iterator>

namespace kelvora {

namespace {

// Joystick button b is PAD_BUTTONS[b].
constexpr SDL_GameControllerButton PAD_BUTTONS[] = {
    SDL_CONTROLLER_BUTTON_A,         SDL_CONTROLLER_BUTTON_B,         SDL_CONTROLLER_BUTTON_X,
    SDL_CONTROLLER_BUTTON_Y,         SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
    SDL_CONTROLLER_BUTTON_BACK,      SDL_CONTROLLER_BUTTON_START,     SDL_CONTROLLER_BUTTON_LEFTSTICK,
    SDL_CONTROLLER_BUTTON_RIGHTSTICK,
};

// Axes X, Y, Z, R, U, V.
constexpr SDL_GameControllerAxis PAD_AXES[] = {
    SDL_CONTROLLER_AXIS_LEFTX,  SDL_CONTROLLER_AXIS_LEFTY,       SDL_CONTROLLER_AXIS_RIGHTX,
    SDL_CONTROLLER_AXIS_RIGHTY, SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_CONTROLLER_AXIS_TRIGGERRIGHT,
};
constexpr int STICK_AXES = 4;

// Sticks: SDL's -32768..32767 as 0..65535, so full deflection reads exactly
// -1.0 and 1.0. Triggers: SDL's 0..32767 as 32767..65534 of a 0..65534
// range, so released reads exactly 0.0 and fully pressed 1.0.
constexpr uint32_t STICK_MAX = 65535, TRIGGER_MAX = 65534;
// In a browser SDL scales the pad's -1.0..1.0 by 32767: a stick pushed fully
// left or up reads -32767 there, full deflection all the same.
#ifdef __EMSCRIPTEN__
constexpr int STICK_FULL_NEGATIVE = -32767;
#else
constexpr int STICK_FULL_NEGATIVE = -32768;
#endif

uint32_t HatFromDpad(bool up, bool down, bool left, bool right)
{
    int x = (right ? 1 : 0) - (left ? 1 : 0);
    int y = (down ? 1 : 0) - (up ? 1 : 0);
    static const uint32_t angles[3][3] = {{31500, 0, 4500}, {27000, 0xFFFF, 9000}, {22500, 18000, 13500}};
    return angles[y + 1][x + 1];
}

}  // namespace

void PadLayoutCaps(TJoyCaps& caps)
{
    caps.num_axes = int(std::size(PAD_AXES));
    caps.num_buttons = int(std::size(PAD_BUTTONS));
    caps.has_pov = true;
    for (int a = 0; a < 6; ++a) {
        caps.min[a] = 0;
        caps.max[a] = a < STICK_AXES ? STICK_MAX : TRIGGER_MAX;
    }
}

void ReadPadLayout(SDL_GameController* pad, TJoyReading& r)
{
    r.buttons = 0;
    for (size_t b = 0; b < std::size(PAD_BUTTONS); ++b) {
        if (SDL_GameControllerGetButton(pad, PAD_BUTTONS[b])) r.buttons |= 1u << b;
    }
    r.num_axes = int(std::size(PAD_AXES));
    for (int a = 0; a < r.num_axes; ++a) {
        int v = SDL_GameControllerGetAxis(pad, PAD_AXES[a]);
        if (a < STICK_AXES && v <= STICK_FULL_NEGATIVE) v = -32768;
        r.axes[a] = a < STICK_AXES ? uint32_t(v + 32768) : uint32_t(32767 + (v > 0 ? v : 0));
    }
    bool up = SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_UP);
    bool down = SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_DOWN);
    bool left = SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
    bool right = SDL_GameControllerGetButton(pad, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
    // The game steers only at the very ends of X and Y: the d-pad puts them there.
    if (left != right) r.axes[0] = left ? 0 : STICK_MAX;
    if (up != down) r.axes[1] = up ? 0 : STICK_MAX;
    r.has_pov = true;
    r.pov = HatFromDpad(up, down, left, right);
}

}  // namespace kelvora
