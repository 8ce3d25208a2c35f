// The mixer's copy of a loaded sound: raw PCM frames plus one guard frame.
#pragma once

#include <cstdint>
#include <memory>

namespace kelvora {

class TSampleFill;

// One loaded sound as the mixer plays it. The data block holds length + 1
// frames: the extra guard frame (frame 0 again when looping, else the last
// frame) lets interpolation at the end read a valid neighbour.
// 8-bit values are unsigned (128 = silence); 16-bit values are signed,
// little-endian; stereo frames are left, right.
struct MixerSound {
    int hertz = 0;
    int channels = 0;     // 1 or 2
    int bits = 0;         // 8 or 16
    int length = 0;       // frames, guard frame not counted
    int frame_bytes = 0;  // channels * bits / 8
    int data_bytes = 0;   // length * frame_bytes
    // Touched only by the game's thread: the sound record, every voice
    // started from it, each hold one reference.
    int refs = 0;
    int loop = 0;
    uint8_t* data = nullptr;
    int owned_bytes = 0;  // allocation size; 0 when the bytes are not ours
    // Set while a background decoder still writes the frames: length is the
    // stated one, the final one comes with the end of the decoding (and the
    // guard frame with it). The mixer readies the frames it reaches.
    std::shared_ptr<TSampleFill> fill;
};

// Builds a sound record over a copy of the frames (refs = 1), or null for
// arguments the mixer cannot play. Does not need a running mixer.
MixerSound* NewMixerSound(int length, int bits, int channels, int hertz, const void* frames, int loop);
// The same over frames the record takes over (allocated with new[], with
// room for one frame more after them); null, and the bytes left to the
// caller, for arguments the mixer cannot play.
// With a fill, the frames are still being written (length is the stated one).
MixerSound* AdoptMixerSound(int length, int bits, int channels, int hertz, uint8_t* frames, int loop,
                            std::shared_ptr<TSampleFill> fill = nullptr);
// Bytes held by every sound record alive.
int64_t MixerSoundBytes();
// Drops one reference; the record and its bytes go with the last one.
void ReleaseMixerSound(MixerSound* sound);

}  // namespace kelvora
