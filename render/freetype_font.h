// TrueType (and other outline or bitmap) fonts rasterised by FreeType at a
// pixel size, from a file path or from any URL read whole into memory.
#pragma once

#include <memory>
#include <vector>

#include "kelvora/render/font.h"

namespace kelvora {

// Links the FreeType loader into the font loader chain (once; the chain
// links it itself before any other loader or font).
void InitFreeTypeFontLoader();

}  // namespace kelvora
