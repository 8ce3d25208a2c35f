// The two values kept between runs, one little-endian 32-bit integer per file:
// the best score and the 3D mode. They live in data/ of a portable tree, or
// in the player's own data folder when the program is installed.
#pragma once

#include <string>

struct TProgramLayout;

// 0 loads player.best_sc, any other value saves it.
void hiscore_io(int save);
// 1 loads mode3d, 2 saves it, anything else neither; then sets the eye
// colours of the current mode.
void anaglyph_io(int mode);

// Where the values are read and written.
struct saved_values_place {
    // "data" (beside the program, as the game names it), an absolute folder,
    // or empty when nothing can be written anywhere.
    std::string folder = "data";
    // Read instead when a value is missing from folder: the values a portable
    // tree or a packager left beside the program start the player's own.
    std::string seed_folder;
};

// In this order: data/ of a portable tree when both values can be written
// there; else $XDG_DATA_HOME/kelvora3d (~/.local/share/kelvora3d), made when
// first needed; else nowhere. The environment values may be null.
saved_values_place choose_saved_values_place(const TProgramLayout& layout, const char* xdg_data_home,
                                             const char* home);
// The place hiscore_io and anaglyph_io use from now on ("data" until set).
void use_saved_values_place(const saved_values_place& place);
const saved_values_place& current_saved_values_place();

// Writes a value so that a crash never leaves a half-written file: a
// temporary file beside it is written and renamed over it; when no file can
// be made there but the file itself is writable, the four bytes are written
// in place. Returns false (with a message on stderr) when it cannot be written.
bool save_int_file(const char* path, int value);
// Reads the value; false when the file is missing, unreadable or shorter
// than four bytes.
bool load_int_file(const char* path, int& value);
