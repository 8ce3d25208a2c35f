/// @file
/// The engine's error type. Every error carries the exact text that is shown
/// when nothing catches it.
#pragma once

#include <stdexcept>
#include <string>

/// Everything the engine declares. A program may bring the names in with
/// `using namespace kelvora;`.
namespace kelvora {

/// Root of the errors the engine throws: stream errors, an impossible pixmap
/// or sample size, a sample format it cannot convert, running out of hook ids.
/// Failures a program is expected to meet (a missing file, no display) are
/// not thrown: they give null, 0 or false instead, as each call says.
class TRuntimeException : public std::runtime_error {
public:
    /// An error that says text.
    explicit TRuntimeException(const std::string& text) : std::runtime_error(text) {}
    /// The text, as what() gives it.
    std::string ToString() const { return what(); }
};

}  // namespace kelvora
