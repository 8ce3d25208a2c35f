// Joysticks through SDL. A pad SDL has a mapping for is opened as a game
// controller and read in the standard layout; any other device as a raw
// joystick with SDL's own numbering. Device ids are SDL instance ids, which
// are never reused: a pad plugged in again is a new device.
#include <SDL.h>

#include <algorithm>
#include <set>
#include <vector>

#include "kelvora/system/joystick.h"
#include "system/sdl/pad_layout.h"
#include "system/sdl/pad_mappings.h"

namespace kelvora {

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

struct TOpenDevice {
    SDL_JoystickID instance = -1;
    SDL_GameController* pad = nullptr;  // when SDL has a mapping
    SDL_Joystick* stick = nullptr;      // the pad's own joystick when pad is set
};

class TSDLJoystickSystem : public TJoystickSystem {
public:
    ~TSDLJoystickSystem() override
    {
        for (TOpenDevice& d : open_) Close(d);
        if (init_ok_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    }

    std::vector<int> Devices() override
    {
        if (!Init()) return {};
        // Reads the devices and notices arrivals and departures (the same
        // detection that makes SDL's device-added and -removed events).
        SDL_JoystickUpdate();
        auto gone = std::remove_if(open_.begin(), open_.end(), [](TOpenDevice& d) {
            if (SDL_JoystickGetAttached(d.stick)) return false;
            Close(d);
            return true;
        });
        open_.erase(gone, open_.end());
        std::vector<int> ids;
        int n = SDL_NumJoysticks();
        for (int i = 0; i < n; ++i) {
            SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(i);
            if (instance < 0) continue;
            if (!Find(instance) && !unopenable_.count(instance)) Open(i, instance);
            if (Find(instance)) ids.push_back(int(instance));
        }
        return ids;
    }

    bool Caps(int id, TJoyCaps& caps) override
    {
        TOpenDevice* d = Find(id);
        if (!d || !SDL_JoystickGetAttached(d->stick)) return false;
        const char* name = d->pad ? SDL_GameControllerName(d->pad) : SDL_JoystickName(d->stick);
        caps.name = name ? name : "";
        char guid[33] = {};
        SDL_JoystickGetGUIDString(SDL_JoystickGetGUID(d->stick), guid, sizeof guid);
        const char* serial = SDL_JoystickGetSerial(d->stick);
        caps.key = std::string(guid) + "/" + (serial ? serial : "");
        if (d->pad) {
            PadLayoutCaps(caps);
            return true;
        }
        int axes = SDL_JoystickNumAxes(d->stick);
        caps.num_axes = axes < 0 ? 0 : axes > 6 ? 6 : axes;
        caps.num_buttons = SDL_JoystickNumButtons(d->stick);
        caps.has_pov = SDL_JoystickNumHats(d->stick) > 0;
        for (int a = 0; a < 6; ++a) {
            caps.min[a] = 0;
            caps.max[a] = 65535;
        }
        return true;
    }

    bool Read(int id, TJoyReading& r) override
    {
        TOpenDevice* d = Find(id);
        if (!d || !SDL_JoystickGetAttached(d->stick)) return false;
        if (d->pad) {
            ReadPadLayout(d->pad, r);
            return true;
        }
        SDL_Joystick* j = d->stick;
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
            init_ok_ = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
            if (init_ok_) {
                // Queries read the devices directly; their events would only fill the queue.
                SDL_JoystickEventState(SDL_IGNORE);
                SDL_GameControllerEventState(SDL_IGNORE);
                LoadPadMappings();
            }
        }
        return init_ok_;
    }

    void Open(int index, SDL_JoystickID instance)
    {
        TOpenDevice d;
        d.instance = instance;
        if (SDL_IsGameController(index)) {
            d.pad = SDL_GameControllerOpen(index);
            if (d.pad) d.stick = SDL_GameControllerGetJoystick(d.pad);
        }
        if (!d.stick) d.stick = SDL_JoystickOpen(index);
        if (!d.stick) {
            unopenable_.insert(instance);  // asked again on every query otherwise
            return;
        }
        open_.push_back(d);
    }

    static void Close(TOpenDevice& d)
    {
        if (d.pad)
            SDL_GameControllerClose(d.pad);
        else if (d.stick)
            SDL_JoystickClose(d.stick);
        d.pad = nullptr;
        d.stick = nullptr;
    }

    TOpenDevice* Find(int instance)
    {
        for (TOpenDevice& d : open_) {
            if (d.instance == instance) return &d;
        }
        return nullptr;
    }

    bool tried_ = false;
    bool init_ok_ = false;
    std::vector<TOpenDevice> open_;
    std::set<SDL_JoystickID> unopenable_;
};

}  // namespace

std::shared_ptr<TJoystickSystem> CreateSDLJoystickSystem() { return std::make_shared<TSDLJoystickSystem>(); }

}  // namespace kelvora
