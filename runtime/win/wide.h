// UTF-8 inside the program, UTF-16 at the Windows calls.
#pragma once

#include <string>

namespace kelvora {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

}  // namespace kelvora
