// Joysticks through SDL. Device ids are SDL's device indices at the time of
// the last enumeration; each is opened then and read directly afterwards.
#include <SDL.h>

#include <vector>

#include "system/joystick.h"

namespace {

uint32_t HatAngle(Uint8 hat)
{
    switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return 0xFFFF;  // centred
    }
}

class TSDLJoystickSystem : public TJoystickSystem {
public:
    ~TSDLJoystickSystem() override
    {
        CloseAll();
        if (init_ok_) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }

    int NumDevices() override
    {
        if (!Init()) return 0;
        CloseAll();
        SDL_JoystickUpdate();
        int n = SDL_NumJoysticks();
        for (int i = 0; i < n; ++i) open_.push_back(SDL_JoystickOpen(i));
        return n;
    }

    bool Answers(int id) override { return Get(id) != nullptr; }

    bool Caps(int id, TJoyCaps& caps) override
    {
        SDL_Joystick* j = Get(id);
        if (!j) return false;
        const char* name = SDL_JoystickName(j);
        caps.name = name ? name : "";
        int axes = SDL_JoystickNumAxes(j);
        caps.num_axes = axes < 0 ? 0 : axes > 6 ? 6 : axes;
        caps.num_buttons = SDL_JoystickNumButtons(j);
        caps.has_pov = SDL_JoystickNumHats(j) > 0;
        for (int a = 0; a < 6; ++a) {
            caps.min[a] = 0;
            caps.max[a] = 65535;
        }
        return true;
    }

    bool Read(int id, TJoyReading& r) override
    {
        if (id < 0 || id >= int(open_.size()) || !open_[size_t(id)]) return false;
        SDL_JoystickUpdate();
        SDL_Joystick* j = Get(id);
        if (!j) return false;
        int axes = SDL_JoystickNumAxes(j);
        r.num_axes = axes < 0 ? 0 : axes > 6 ? 6 : axes;
        // SDL's -32768..32767 becomes the device range 0..65535.
        for (int a = 0; a < r.num_axes; ++a) r.axes[a] = uint32_t(int(SDL_JoystickGetAxis(j, a)) + 32768);
        int buttons = SDL_JoystickNumButtons(j);
        r.buttons = 0;
        for (int b = 0; b < buttons && b < 32; ++b) {
            if (SDL_JoystickGetButton(j, b)) r.buttons |= 1u << b;
        }
        r.has_pov = SDL_JoystickNumHats(j) > 0;
        r.pov = r.has_pov ? HatAngle(SDL_JoystickGetHat(j, 0)) : 0xFFFF;
        return true;
    }

private:
    bool Init()
    {
        if (!tried_) {
            tried_ = true;
            // Queries read the devices directly; their events would only fill the queue.
            init_ok_ = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
            if (init_ok_) SDL_JoystickEventState(SDL_IGNORE);
        }
        return init_ok_;
    }

    // The opened device, or null when it is gone.
    SDL_Joystick* Get(int id)
    {
        if (id < 0 || id >= int(open_.size())) return nullptr;
        SDL_Joystick* j = open_[size_t(id)];
        return j && SDL_JoystickGetAttached(j) ? j : nullptr;
    }

    void CloseAll()
    {
        for (SDL_Joystick* j : open_) {
            if (j) SDL_JoystickClose(j);
        }
        open_.clear();
    }

    bool tried_ = false;
    bool init_ok_ = false;
    std::vector<SDL_Joystick*> open_;
};

}  // namespace

std::shared_ptr<TJoystickSystem> CreateSDLJoystickSystem() { return std::make_shared<TSDLJoystickSystem>(); }
