// The folder of the player's own settings for the engine, under the user's
// configuration folder: the program names it at Init (TEngineSettings).
#pragma once

#include <string>

namespace kelvora {

// Empty: made from the application title.
void SetConfigFolder(const std::string& name);
// The folder's name, as set or as made from AppTitle (see ConfigFolderFor).
std::string ConfigFolder();
// A name fit for a folder: the letters, digits, '-', '_' and '.' of an
// application name (anything beyond ASCII kept as it is), ASCII letters
// lower-case except on Windows, no leading dot, no ".exe"; "kelvora" when
// nothing is left.
std::string ConfigFolderFor(const std::string& app_name);

}  // namespace kelvora
