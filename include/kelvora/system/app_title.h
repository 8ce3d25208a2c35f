/// @file
/// The application title, used as the caption of the game window.
#pragma once

#include <string>

namespace kelvora {

/// The title; initially the name of the program file.
const std::string& AppTitle();
/// Sets the title windows opened from now on get (Init sets the program's
/// name from its settings).
void SetAppTitle(const std::string& title);

}  // namespace kelvora
