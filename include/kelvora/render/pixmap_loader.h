// The chain of pixmap loaders. A loader links itself at the head when it is
// constructed, so the one made last is asked first.
#pragma once

#include "kelvora/io/stream.h"
#include "kelvora/render/pixmap.h"

namespace kelvora {

class TPixmapLoader {
public:
    TPixmapLoader();
    virtual ~TPixmapLoader();
    TPixmapLoader(const TPixmapLoader&) = delete;
    TPixmapLoader& operator=(const TPixmapLoader&) = delete;

    // Null for data that is not this loader's.
    virtual TPixmapPtr LoadPixmap(const TStreamPtr& stream) = 0;

    TPixmapLoader* _succ = nullptr;
};

// Head of the chain (the built-in loaders are always on it).
TPixmapLoader* PixmapLoaders();

// Opens source (a file name, "proto::name" or a stream) and asks each loader
// in turn from the same position; null when none accepts it. The stream is
// closed afterwards.
TPixmapPtr LoadPixmap(const TUrl& source);

}  // namespace kelvora
