// The two values kept between runs, one little-endian 32-bit integer per file:
// the best score and the 3D mode. The program shell says where they live.
//
// Several copies of the game (or tabs of the page) may share the files, so a
// save never makes them worse: the best score written is the larger of this
// run's and the stored one, and the 3D mode is written only when this run
// chose another one than it found.
#pragma once

#include <functional>
#include <string>

// The highest final score a game can make: 250 aliens, each worth at most
// 399 when hit, and a hit counts once for every shot that matches the alien
// in that frame; at most one shot is fired a frame and a shot lives at most
// 81 frames. A stored best above it (or below 0) is no record.
constexpr int MAX_GAME_SCORE = 250 * 399 * 81;

// 0 loads player.best_sc, any other value saves it (merged with the stored one).
void hiscore_io(int save);
// 1 loads mode3d, 2 saves it (when this run changed it), anything else
// neither; then sets the eye colours of the current mode.
void anaglyph_io(int mode);

// A larger best score stored since it was loaded (by another copy or tab)
// becomes player.best_sc.
void take_stored_best();

// Called after each value has reached its file, with the file's name
// ("hiscore.dat" or "anaglyph3d.dat") and the value written; none by default.
void set_saved_value_listener(std::function<void(const char* file, int value)> listener);

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
