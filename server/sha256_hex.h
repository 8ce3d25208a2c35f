// SHA-256 (OpenSSL's libcrypto) as 64 lowercase hexadecimal digits: a run's
// id is that of its bytes, a name's owner that of the install's secret.
#pragma once

#include <string>

std::string sha256_hex(const std::string& bytes);
