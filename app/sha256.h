// SHA-256 (FIPS 180-4), for naming a run by its content: the score table
// names each run it receives by the same hash of its bytes.
#pragma once

#include <string>
#include <string_view>

// The digest of the bytes as 64 lowercase hex digits.
std::string sha256_hex(std::string_view bytes);
