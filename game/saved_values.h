// The two values kept between runs, one little-endian 32-bit integer per file
// in the data directory: the best score and the 3D mode.
#pragma once

// 0 loads player.best_sc, any other value saves it.
void hiscore_io(int save);
// 1 loads mode3d, 2 saves it, anything else neither; then sets the eye
// colours of the current mode.
void anaglyph_io(int mode);

// Writes a value so that a crash never leaves a half-written file: a
// temporary file beside it is written and renamed over it. Returns false
// (with a message on stderr) when the file cannot be written.
bool save_int_file(const char* path, int value);
// Reads the value; false when the file is missing, unreadable or shorter
// than four bytes.
bool load_int_file(const char* path, int& value);
