/// @file
/// Resources embedded in the program image, opened for reading as
/// "incbin::<name>" by every loader (LoadImage("incbin::ship.png")).
#pragma once

#include <cstdint>
#include <string>

namespace kelvora {

/// Registers size bytes at data under name; 0 (and no change) when the name
/// is taken. The bytes are not copied: they must stay for the whole run
/// (static data, as embedded files are).
int IncbinAdd(const std::string& name, const unsigned char* data, int64_t size);
/// The block's address, or null when no block has this exact name.
const unsigned char* IncbinPtr(const std::string& name);
/// The block's size, or 0 when no block has this exact name.
int64_t IncbinLen(const std::string& name);

}  // namespace kelvora
