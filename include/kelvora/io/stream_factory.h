// Stream factories: the protocols that "proto::path" URLs reach.
#pragma once

#include <string>

#include "kelvora/io/stream.h"

namespace kelvora {

// Constructing a factory links it at the head of the one global list, so the
// newest is asked first. Factories are meant to live for the whole run; one
// that is destroyed unlinks itself rather than leave a dangling entry.
class TStreamFactory {
public:
    TStreamFactory();
    virtual ~TStreamFactory();
    TStreamFactory(const TStreamFactory&) = delete;
    TStreamFactory& operator=(const TStreamFactory&) = delete;

    // proto is lower case; path is what followed "::", unchanged. Null declines.
    virtual TStreamPtr CreateStream(const TUrl& url, const std::string& proto, const std::string& path,
                                    int readable, int writeable);

    TStreamFactory* _succ = nullptr;
};

// Head of the factory list. The engine's own factories are registered on
// first use, so they are there even when nothing names them at link time.
TStreamFactory* StreamFactories();

}  // namespace kelvora
