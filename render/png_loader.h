// PNG decoding through libpng, reading from an engine stream.
#pragma once

#include "kelvora/render/pixmap_loader.h"

namespace kelvora {

class TPixmapLoaderPNG : public TPixmapLoader {
public:
    TPixmapPtr LoadPixmap(const TStreamPtr& stream) override;
};

// The loader on the chain.
TPixmapLoaderPNG& PNGPixmapLoader();

// Grey loads as I8, RGB as RGB888, anything with alpha or a transparency
// chunk as RGBA8888; 16-bit samples are cut to 8 bits. Null for anything
// that is not a complete, valid PNG.
TPixmapPtr LoadPixmapPNG(const TUrl& source);
// Decodes from the stream's current position.
TPixmapPtr DecodePNG(TStream& stream);

}  // namespace kelvora
