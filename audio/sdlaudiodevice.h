// The sound card output on SDL audio: 44100 Hz 16-bit stereo, refilled in
// 512-frame fragments by a thread of its own every 5 ms through an output
// ring (about 70 ms ahead, more after starvation).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "audio/audiodevice.h"
#include "audio/outputring.h"

namespace softmix {

class sdldevice : public audiodevice {
public:
    static constexpr int FRAGMENT_VALUES = 1024;
    static constexpr int UPDATE_MS = 5;

    ~sdldevice() override { close(); }
    int init() override;
    void close() override;

    const TOutputRing* ring() const { return ring_.get(); }

    // SDL's callback; public only so the C callback can reach it.
    void fill(uint8_t* stream, int bytes);

private:
    void run();

    bool subsystem_ = false;
    uint32_t device_ = 0;
    std::unique_ptr<TOutputRing> ring_;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

}  // namespace softmix
