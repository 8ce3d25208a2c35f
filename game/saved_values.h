// The two values kept between runs, one little-endian 32-bit integer per file:
// the best score and the 3D mode. The program shell says where they live.
#pragma once

#include <string>

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

// The place hiscore_io and anaglyph_io use from now on ("data" until set).
void use_saved_values_place(const saved_values_place& place);
const saved_values_place& current_saved_values_place();

// Writes a value so that a crash never leaves a half-written file
// (ReplaceFileContents). Returns false (with a message on stderr) when it
// cannot be written.
bool save_int_file(const char* path, int value);
// Reads the value; false when the file is missing, unreadable or shorter
// than four bytes.
bool load_int_file(const char* path, int& value);
