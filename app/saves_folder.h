// Where the program keeps the best score and the 3D mode: data/ beside the
// program in a portable tree that can be written, else the player's own
// folder of this system.
#pragma once

#include <string>

#include "game/saved_values.h"

namespace kelvora {
struct TProgramLayout;
}  // namespace kelvora
using namespace kelvora;

// The player's own folder for them: $XDG_DATA_HOME/kelvora3d
// (~/.local/share/kelvora3d) on Linux, %APPDATA%\Kelvora3D on Windows (as a
// UTF-8 path with "/"). Empty when the system names none.
std::string user_saves_folder();
// The same as the player reads it in help texts.
const char* user_saves_folder_name();
// The Linux rule on given environment values (either may be null); relative
// values are ignored, as the XDG rules ask.
std::string xdg_saves_folder(const char* xdg_data_home, const char* home);

// In this order: data/ of a portable tree when it exists and both values
// can be written there; else user_folder, made when first needed, seeded from data/ beside
// the program; else nowhere.
saved_values_place choose_saved_values_place(const TProgramLayout& layout, const std::string& user_folder);
