// Screenshots of a replay as 24-bit PNG files.
#pragma once

#include <memory>
#include <string>

namespace kelvora {
class TPixmap;
}  // namespace kelvora
using namespace kelvora;

// Writes the pixmap's colour (alpha dropped); throws std::runtime_error on failure.
void write_png(const std::shared_ptr<TPixmap>& pixmap, const std::string& path);
