// The names players give and the secrets that own them, as they arrive:
// any bytes at all. The program checks a name by the same rule before it
// keeps it, so that the score table never refuses a name it took.
#pragma once

#include <optional>
#include <string>

constexpr size_t MAX_NAME_CHARACTERS = 20;

// The name with white space trimmed from both ends, when it is 1 to 20
// characters of valid UTF-8 with no control, line-separating or
// direction-changing characters; otherwise nothing, and `why` says what is
// wrong (one sentence).
std::optional<std::string> valid_player_name(const std::string& raw, std::string& why);

// 64 lowercase hexadecimal digits: the 32 random bytes an install keeps.
bool valid_secret(const std::string& secret);

// A run id as the API gives it: 64 lowercase hexadecimal digits.
bool valid_run_id(const std::string& id);
