/// @file
/// The chain of pixmap loaders. A loader links itself at the head when it is
/// constructed, so the one made last is asked first. PNG is built in.
#pragma once

#include "kelvora/io/stream.h"
#include "kelvora/render/pixmap.h"

namespace kelvora {

/// A decoder of one image file format. Loaders are linked by address and meant
/// to live for the whole run (a static object); one that is destroyed unlinks
/// itself.
class TPixmapLoader {
public:
    /// Links the loader at the head of the chain.
    TPixmapLoader();
    /// Unlinks it.
    virtual ~TPixmapLoader();
    TPixmapLoader(const TPixmapLoader&) = delete;             ///< Linked by address: not copied
    TPixmapLoader& operator=(const TPixmapLoader&) = delete;  ///< Linked by address: not copied

    /// The pixmap decoded from the stream at its current position; null for
    /// data that is not this loader's. A stream error it meets counts as
    /// declining.
    virtual TPixmapPtr LoadPixmap(const TStreamPtr& stream) = 0;

    TPixmapLoader* _succ = nullptr;  ///< The next (older) loader; the chain's own
};

/// Head of the chain (the built-in loaders are always on it).
TPixmapLoader* PixmapLoaders();

/// Opens source (a file name, "proto::name" or a stream) and asks each loader
/// in turn from the same position; null when none accepts it or the stream
/// cannot seek. The stream is closed afterwards. PNG files come as I8 (grey),
/// RGB888, or RGBA8888 when they have alpha or a transparent colour.
TPixmapPtr LoadPixmap(const TUrl& source);

}  // namespace kelvora
