// Joystick queries over real SDL joysticks and game controllers, with SDL's
// virtual devices plugged in and out while the queries run.
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "kelvora/system/joystick.h"
#include "system/config_folder.h"

using namespace kelvora;

namespace {

// Button and axis numbers of a virtual game controller follow SDL's
// controller enums (its automatic mapping for virtual pads).
constexpr int V_A = SDL_CONTROLLER_BUTTON_A, V_B = SDL_CONTROLLER_BUTTON_B, V_X = SDL_CONTROLLER_BUTTON_X;
constexpr int V_Y = SDL_CONTROLLER_BUTTON_Y;
constexpr int V_BACK = SDL_CONTROLLER_BUTTON_BACK, V_START = SDL_CONTROLLER_BUTTON_START;
constexpr int V_LSHOULDER = SDL_CONTROLLER_BUTTON_LEFTSHOULDER, V_RSHOULDER = SDL_CONTROLLER_BUTTON_RIGHTSHOULDER;
constexpr int V_DPLEFT = SDL_CONTROLLER_BUTTON_DPAD_LEFT, V_DPDOWN = SDL_CONTROLLER_BUTTON_DPAD_DOWN;

class SDLJoystick : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        SetJoystickSystem(CreateSDLJoystickSystem());
    }
    void TearDown() override
    {
        for (int i = SDL_NumJoysticks() - 1; i >= 0; --i) {
            if (SDL_JoystickIsVirtual(i)) SDL_JoystickDetachVirtual(i);
        }
        SetJoystickSystem(nullptr);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }

    // Plugs in a virtual device; the returned handle sets its controls.
    static SDL_Joystick* Attach(SDL_JoystickType type, const char* name, int axes, int buttons, int hats)
    {
        SDL_VirtualJoystickDesc desc;
        SDL_zero(desc);
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = Uint16(type);
        desc.naxes = Uint16(axes);
        desc.nbuttons = Uint16(buttons);
        desc.nhats = Uint16(hats);
        desc.name = name;
        int index = SDL_JoystickAttachVirtualEx(&desc);
        if (index < 0) return nullptr;
        return SDL_JoystickOpen(index);
    }
    static SDL_Joystick* AttachPad()
    {
        return Attach(SDL_JOYSTICK_TYPE_GAMECONTROLLER, "Test pad", SDL_CONTROLLER_AXIS_MAX,
                      SDL_CONTROLLER_BUTTON_MAX, 0);
    }
    static void Detach(SDL_Joystick* stick)
    {
        SDL_JoystickID id = SDL_JoystickInstanceID(stick);
        SDL_JoystickClose(stick);
        for (int i = 0; i < SDL_NumJoysticks(); ++i) {
            if (SDL_JoystickGetDeviceInstanceID(i) == id) {
                ASSERT_EQ(SDL_JoystickDetachVirtual(i), 0);
            }
        }
    }
    static std::string GuidOf(SDL_Joystick* stick)
    {
        char guid[33] = {};
        SDL_JoystickGetGUIDString(SDL_JoystickGetGUID(stick), guid, sizeof guid);
        return guid;
    }
};

TEST_F(SDLJoystick, NoDeviceReadsZero)
{
    if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is plugged in";
    EXPECT_EQ(JoyCount(), 0);
    EXPECT_EQ(JoyX(0), 0.0f);
    EXPECT_EQ(JoyHit(0, 0), 0);
}

TEST_F(SDLJoystick, APadPluggedInLaterReadsInTheStandardLayout)
{
    const int port = JoyCount();  // the lowest free port
    SDL_Joystick* pad = AttachPad();
    ASSERT_NE(pad, nullptr) << SDL_GetError();
    EXPECT_EQ(JoyName(port), "Test pad") << "found by any query";
    EXPECT_EQ(JoyCount(), port + 1);

    const std::pair<int, int> buttons[] = {{V_A, 0},         {V_B, 1},    {V_X, 2},    {V_Y, 3},
                                           {V_LSHOULDER, 4}, {V_RSHOULDER, 5}, {V_BACK, 6}, {V_START, 7}};
    for (auto [pad_button, button] : buttons) {
        SDL_JoystickSetVirtualButton(pad, pad_button, SDL_PRESSED);
        EXPECT_EQ(JoyButtons(port), 1 << button) << pad_button;
        EXPECT_EQ(JoyHit(button, port), 1) << pad_button;
        SDL_JoystickSetVirtualButton(pad, pad_button, SDL_RELEASED);
    }
    EXPECT_EQ(JoyButtons(port), 0);

    // Sticks reach exactly -1 and 1 at their ends; one step inside does not.
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, -32768);
    EXPECT_EQ(JoyX(port), -1.0f);
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, -32767);
    EXPECT_GT(JoyX(port), -1.0f);
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_RIGHTY, 32767);
    EXPECT_EQ(JoyR(port), 1.0f);
    // Triggers: released 0, fully pressed 1.
    EXPECT_EQ(JoyU(port), 0.0f);
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 32767);
    EXPECT_EQ(JoyV(port), 1.0f);

    // The d-pad steers as the stick's ends do, and is the hat.
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTX, 0);
    EXPECT_EQ(JoyHat(port), -1.0f);
    SDL_JoystickSetVirtualButton(pad, V_DPLEFT, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(pad, V_DPDOWN, SDL_PRESSED);
    EXPECT_EQ(JoyX(port), -1.0f);
    EXPECT_EQ(JoyY(port), 1.0f);
    EXPECT_EQ(JoyHat(port), 0.625f);
    EXPECT_EQ(JoyButtons(port), 0) << "the d-pad is no button";
    Detach(pad);
}

// Unplugged with fire held: the port must let go, or the game's wait for the
// buttons' release (before the results) never ends.
TEST_F(SDLJoystick, UnpluggedWhileHeldReleasesAndComesBackWithoutAPress)
{
    const int port = JoyCount();
    SDL_Joystick* pad = AttachPad();
    ASSERT_NE(pad, nullptr) << SDL_GetError();
    const std::string guid = GuidOf(pad);
    SDL_JoystickSetVirtualButton(pad, V_A, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(pad, V_B, SDL_PRESSED);
    SDL_JoystickSetVirtualAxis(pad, SDL_CONTROLLER_AXIS_LEFTY, -32768);
    EXPECT_EQ(JoyDown(0, port), 1);
    EXPECT_EQ(JoyY(port), -1.0f);
    JoyHit(0, port);
    JoyHit(1, port);
    Detach(pad);

    int waited = 0;
    while ((JoyDown(0, port) || JoyDown(1, port)) && waited < 100) ++waited;
    EXPECT_EQ(waited, 0);
    EXPECT_EQ(JoyX(port), 0.0f);
    EXPECT_EQ(JoyY(port), 0.0f);
    EXPECT_EQ(JoyHat(port), -1.0f);
    EXPECT_EQ(JoyCount(), port);

    // Plugged in again, A still held: it works, and the hold is no press.
    pad = AttachPad();
    ASSERT_NE(pad, nullptr) << SDL_GetError();
    ASSERT_EQ(GuidOf(pad), guid);
    SDL_JoystickSetVirtualButton(pad, V_A, SDL_PRESSED);
    SDL_JoystickUpdate();
    EXPECT_EQ(JoyDown(0, port), 1);
    EXPECT_EQ(JoyHit(0, port), 0);
    EXPECT_EQ(JoyCount(), port + 1);
    SDL_JoystickSetVirtualButton(pad, V_A, SDL_RELEASED);
    EXPECT_EQ(JoyDown(0, port), 0);
    SDL_JoystickSetVirtualButton(pad, V_A, SDL_PRESSED);
    EXPECT_EQ(JoyHit(0, port), 1);
    Detach(pad);
}

// The game reads port 0 only: it must not go dead while a pad is plugged
// in, nor be taken from the pad in use when another comes back.
TEST_F(SDLJoystick, PortZeroGoesToTheOtherPadAndStaysWithIt)
{
    if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is plugged in";
    const auto pad = [](const char* name) {
        return Attach(SDL_JOYSTICK_TYPE_GAMECONTROLLER, name, SDL_CONTROLLER_AXIS_MAX, SDL_CONTROLLER_BUTTON_MAX, 0);
    };
    SDL_Joystick* a = pad("Pad A");
    SDL_Joystick* b = pad("Pad B");
    ASSERT_TRUE(a && b) << SDL_GetError();
    ASSERT_EQ(JoyCount(), 2);
    EXPECT_EQ(JoyName(0), "Pad A");
    SDL_JoystickSetVirtualAxis(b, SDL_CONTROLLER_AXIS_LEFTX, -32768);
    SDL_JoystickSetVirtualButton(b, V_A, SDL_PRESSED);
    JoyHit(0, 1);

    Detach(a);
    EXPECT_EQ(JoyX(0), -1.0f) << "the other pad, at once";
    EXPECT_EQ(JoyName(0), "Pad B");
    EXPECT_EQ(JoyDown(0, 0), 1);
    EXPECT_EQ(JoyHit(0, 0), 0) << "fire held as it moved is no press";
    EXPECT_EQ(JoyName(1), "");

    // Plugged in again with its fire held: a port of its own, and no press.
    a = pad("Pad A");
    ASSERT_NE(a, nullptr) << SDL_GetError();
    SDL_JoystickSetVirtualButton(a, V_A, SDL_PRESSED);
    SDL_JoystickUpdate();
    EXPECT_EQ(JoyName(0), "Pad B") << "the pad in use keeps port 0";
    EXPECT_EQ(JoyX(0), -1.0f);
    EXPECT_EQ(JoyName(1), "Pad A");
    EXPECT_EQ(JoyDown(0, 1), 1);
    EXPECT_EQ(JoyHit(0, 1), 0);
    SDL_JoystickSetVirtualButton(b, V_A, SDL_RELEASED);
    JoyButtons(0);
    SDL_JoystickSetVirtualButton(b, V_A, SDL_PRESSED);
    EXPECT_EQ(JoyHit(0, 0), 1) << "a new press counts";
    Detach(a);
    Detach(b);
    EXPECT_EQ(JoyCount(), 0);
    EXPECT_EQ(JoyName(0), "");
}

TEST_F(SDLJoystick, ADeviceWithoutMappingKeepsItsRawNumbering)
{
    const int port = JoyCount();
    SDL_Joystick* stick = Attach(SDL_JOYSTICK_TYPE_UNKNOWN, "Raw stick", 3, 12, 1);
    ASSERT_NE(stick, nullptr) << SDL_GetError();
    SDL_JoystickSetVirtualButton(stick, 9, SDL_PRESSED);
    EXPECT_EQ(JoyButtons(port), 1 << 9);
    SDL_JoystickSetVirtualAxis(stick, 2, -32768);
    EXPECT_EQ(JoyZ(port), -1.0f);
    SDL_JoystickSetVirtualHat(stick, 0, SDL_HAT_LEFT);
    EXPECT_EQ(JoyHat(port), 0.75f);
    Detach(stick);
}

// A mapping for the raw stick, swapping its buttons 0 and 3, from each of
// the places a player can give one.
TEST_F(SDLJoystick, MappingsFromTheEnvironmentOrTheGamesFilesRenumberButtons)
{
    SDL_Joystick* probe = Attach(SDL_JOYSTICK_TYPE_UNKNOWN, "Mapped stick", 2, 4, 0);
    ASSERT_NE(probe, nullptr) << SDL_GetError();
    // Mapping lists give GUIDs without SDL's name checksum (bytes 2 and 3).
    std::string guid = GuidOf(probe);
    guid.replace(4, 4, "0000");
    const std::string mapping = guid + ",Mapped stick,a:b3,b:b1,x:b2,y:b0,leftx:a0,lefty:a1,";
    Detach(probe);

    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("kv_pads_" + std::to_string(getpid()));
    fs::create_directories(dir / "data");
    fs::create_directories(dir / "config" / "kelvora3d");
    SetConfigFolder("kelvora3d");  // as the game's Init names it
    const fs::path cwd = fs::current_path();
    fs::current_path(dir);
    // Files carry one mapping per line, each naming its platform.
    auto write = [&](const fs::path& p) { std::ofstream(p) << "# pads\n" << mapping << "platform:Linux,\n"; };
    auto unset = [] {
        unsetenv("SDL_GAMECONTROLLERCONFIG");
        unsetenv("XDG_CONFIG_HOME");
    };
    const std::function<void()> sources[] = {
        [&] { setenv("SDL_GAMECONTROLLERCONFIG", mapping.c_str(), 1); },
        [&] { write(dir / "data" / "gamecontrollerdb.txt"); },
        [&] {
            fs::remove(dir / "data" / "gamecontrollerdb.txt");
            setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
            write(dir / "config" / "kelvora3d" / "gamecontrollerdb.txt");
        },
    };
    for (size_t i = 0; i < std::size(sources); ++i) {
        // SDL keeps mappings until its joystick subsystem ends.
        SetJoystickSystem(nullptr);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
        unset();
        sources[i]();
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
        SetJoystickSystem(CreateSDLJoystickSystem());  // takes in the mappings as it starts
        const int port = JoyCount();
        SDL_Joystick* stick = Attach(SDL_JOYSTICK_TYPE_UNKNOWN, "Mapped stick", 2, 4, 0);
        ASSERT_NE(stick, nullptr);
        SDL_JoystickSetVirtualButton(stick, 3, SDL_PRESSED);
        EXPECT_EQ(JoyButtons(port), 1) << "source " << i << ": raw button 3 is A, button 0";
        Detach(stick);
        JoyCount();
    }
    unset();
    SetConfigFolder("");
    fs::current_path(cwd);
    fs::remove_all(dir);
}

}  // namespace
