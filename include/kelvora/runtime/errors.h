// Error objects of the runtime. Every error carries the exact text that is
// shown when nothing catches it.
#pragma once

#include <stdexcept>
#include <string>

namespace kelvora {

// Root of the engine's errors.
class TRuntimeException : public std::runtime_error {
public:
    explicit TRuntimeException(const std::string& text) : std::runtime_error(text) {}
    std::string ToString() const { return what(); }
};

}  // namespace kelvora
