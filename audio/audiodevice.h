// An output device: owns the mixer and runs its mixing calls.
#pragma once

#include <memory>

#include "audio/mixer.h"

namespace kelvora {

namespace softmix {

class audiodevice {
public:
    virtual ~audiodevice() = default;
    // Opens the output and creates the mixer; 0 on success.
    virtual int init() = 0;
    // Stops the mixing calls and releases the output; safe after a failed init.
    virtual void close() = 0;

    mixer* get_mixer() { return mixer_.get(); }

protected:
    std::unique_ptr<mixer> mixer_;
};

}  // namespace softmix

}  // namespace kelvora
