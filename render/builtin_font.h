// The built-in 8x16 bitmap font for character codes 32 to 127.
#pragma once

#include <cstdint>
#include <memory>

namespace kelvora {

class TPixmap;
using TPixmapPtr = std::shared_ptr<TPixmap>;

// 16 rows of 96 bytes: byte j of row r holds row r of character 32 + j,
// bit k (least significant first) being column k.
const uint8_t* BuiltinFontBits();
// The whole font as a 768x16 PIXFMT_RGBA8888 pixmap: ink opaque white,
// the rest transparent black.
TPixmapPtr BuiltinFontPixmap();

}  // namespace kelvora
