// Game pad mappings beyond SDL's built-in list, taken in when the joystick
// system starts. Later sources win over earlier ones for the same pad:
//   1. data/gamecontrollerdb.txt in the program's folder (the working
//      directory once the program runs),
//   2. the player's own: $XDG_CONFIG_HOME/FOLDER/gamecontrollerdb.txt
//      (default ~/.config/FOLDER/), %APPDATA%\FOLDER\ on Windows, FOLDER
//      the program's configuration folder (system/config_folder.h),
//   3. the file named by SDL_GAMECONTROLLERCONFIG_FILE,
//   4. the mappings in SDL_GAMECONTROLLERCONFIG (SDL ranks these highest).
#pragma once

#include <string>

namespace kelvora {

// Needs SDL's game-controller subsystem. A file that exists but cannot be
// read is reported on stderr; a missing one is simply skipped.
void LoadPadMappings();
// The player's mapping file, from the environment.
std::string UserPadMappingFile();

}  // namespace kelvora
