/// @file
/// Stream factories: the protocols that "proto::path" URLs reach.
#pragma once

#include <string>

#include "kelvora/io/stream.h"

namespace kelvora {

/// A protocol for OpenStream. Constructing a factory links it at the head of
/// the one global list, so the newest is asked first. Factories are meant to
/// live for the whole run (a static object); one that is destroyed unlinks
/// itself rather than leave a dangling entry.
class TStreamFactory {
public:
    /// Links the factory at the head of the list.
    TStreamFactory();
    /// Unlinks it.
    virtual ~TStreamFactory();
    TStreamFactory(const TStreamFactory&) = delete;             ///< Linked by address: not copied
    TStreamFactory& operator=(const TStreamFactory&) = delete;  ///< Linked by address: not copied

    /// A stream for url, or null to decline. proto is lower case; path is what
    /// followed "::", unchanged.
    virtual TStreamPtr CreateStream(const TUrl& url, const std::string& proto, const std::string& path,
                                    int readable, int writeable);

    TStreamFactory* _succ = nullptr;  ///< The next (older) factory; the list's own
};

/// Head of the factory list. The engine's own factories ("incbin::") are
/// registered on first use, so they are there even when nothing names them at
/// link time.
TStreamFactory* StreamFactories();

}  // namespace kelvora
