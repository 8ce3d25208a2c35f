// Windows (the cross build's suite; sdl_joystick_test covers Linux): the
// player's pad mapping file under %APPDATA%, in a folder of non-ASCII name.
#include <SDL.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "runtime/utf8_path.h"
#include "system/config_folder.h"
#include "system/sdl/pad_mappings.h"

using namespace kelvora;

TEST(PadMappings, ThePlayersFileIsReadFromAppDataWhateverItsName)
{
    namespace fs = std::filesystem;
    const fs::path appdata = fs::temp_directory_path() / Utf8Path("kv_pads_Zoë Ång");
    _wputenv_s(L"APPDATA", appdata.c_str());
    SetConfigFolder("Kelvora3D");
    fs::create_directories(appdata / "Kelvora3D");
    const std::string guid = "03000000aaaa0000bbbb000000000000";
    std::ofstream(appdata / "Kelvora3D" / "gamecontrollerdb.txt") << guid << ",Test pad,a:b3,platform:Windows,\n";
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
    LoadPadMappings();
    char* mapping = SDL_GameControllerMappingForGUID(SDL_JoystickGetGUIDFromString(guid.c_str()));
    EXPECT_NE(mapping, nullptr) << "not read from " << UserPadMappingFile();
    SDL_free(mapping);
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    fs::remove_all(appdata);
}
