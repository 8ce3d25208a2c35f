// An output without a sound card: whoever holds it pulls the mixed
// fragments itself (tests, the replay harness, benchmarks).
#pragma once

#include <cstdint>

#include "audio/audiodevice.h"

namespace kelvora {

namespace softmix {

class manualdevice : public audiodevice {
public:
    // 512 frames of 44100 Hz 16-bit stereo per fragment by default.
    explicit manualdevice(int fragment_values = 1024) : fragment_values_(fragment_values) {}
    int init() override;
    void close() override;
    // Mixes the next fragment into out (fragment_values() values). Runs the
    // mixing call on the caller's thread.
    void pull(int16_t* out);
    int fragment_values() const { return fragment_values_; }

private:
    int fragment_values_;
};

}  // namespace softmix

// When on, the "SoftMix" drivers start on a manual output instead of the
// sound card; off (the default) goes back to the real output.
void UseManualAudioOutput(int on);
int ManualAudioOutputInUse();
// Mixes the next fragment of the running manual output into out, which
// holds 1024 values (512 stereo frames). Returns the number of values, 0
// when no manual output runs.
int PullAudioFragment(int16_t* out);

}  // namespace kelvora
