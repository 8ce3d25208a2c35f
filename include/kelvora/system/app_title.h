// The application title, used as the caption of the game window.
#pragma once

#include <string>

namespace kelvora {

// Initially the name of the program file.
const std::string& AppTitle();
void SetAppTitle(const std::string& title);

}  // namespace kelvora
