#include "audio/mixersound.h"

#include <atomic>
#include <climits>
#include <cstring>

#include "audio/samplefill.h"

namespace kelvora {

namespace {

std::atomic<int64_t> live_bytes{0};

bool Playable(int length, int bits, int channels, int hertz, const void* frames)
{
    if (length < 0 || hertz <= 0 || hertz > (1 << 20) || (bits != 8 && bits != 16) || (channels != 1 && channels != 2)) return false;
    if (length > 0 && !frames) return false;
    // Positions count sample values in the upper 32 bits; the byte count must fit an int.
    return int64_t(length + int64_t(1)) * (channels * bits / 8) <= INT_MAX;
}

// The record over data with room for the guard frame, which it writes.
MixerSound* Record(int length, int bits, int channels, int hertz, uint8_t* data, int loop,
                   std::shared_ptr<TSampleFill> fill = nullptr)
{
    const int frame_bytes = channels * bits / 8;
    auto* s = new MixerSound;
    s->hertz = hertz;
    s->channels = channels;
    s->bits = bits;
    s->length = length;
    s->frame_bytes = frame_bytes;
    s->data_bytes = length * frame_bytes;
    s->refs = 1;
    s->loop = loop ? 1 : 0;
    s->owned_bytes = s->data_bytes + frame_bytes;
    s->data = data;
    uint8_t* guard = s->data + s->data_bytes;
    if (fill) {
        fill->SetGuard(s->loop != 0);  // after the final last frame, once known
        s->fill = std::move(fill);
    } else if (length > 0) {
        const uint8_t* from = s->loop ? s->data : guard - frame_bytes;
        std::memcpy(guard, from, frame_bytes);
    } else {
        std::memset(guard, bits == 8 ? 128 : 0, frame_bytes);
    }
    live_bytes += s->owned_bytes;
    return s;
}

}  // namespace

MixerSound* AdoptMixerSound(int length, int bits, int channels, int hertz, uint8_t* frames, int loop,
                            std::shared_ptr<TSampleFill> fill)
{
    if (!Playable(length, bits, channels, hertz, frames) || !frames) return nullptr;
    return Record(length, bits, channels, hertz, frames, loop, std::move(fill));
}

int64_t MixerSoundBytes() { return live_bytes.load(); }

MixerSound* NewMixerSound(int length, int bits, int channels, int hertz, const void* frames, int loop)
{
    if (!Playable(length, bits, channels, hertz, frames)) return nullptr;
    const int frame_bytes = channels * bits / 8;
    auto* data = new uint8_t[size_t(length + 1) * size_t(frame_bytes)];
    if (length > 0) std::memcpy(data, frames, size_t(length) * size_t(frame_bytes));
    return Record(length, bits, channels, hertz, data, loop);
}

void ReleaseMixerSound(MixerSound* sound)
{
    if (!sound) return;
    if (--sound->refs > 0) return;
    live_bytes -= sound->owned_bytes;
    if (sound->fill) sound->fill->Cancel();  // nobody reads on
    delete[] sound->data;
    delete sound;
}

}  // namespace kelvora
