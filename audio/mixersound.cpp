#include "audio/mixersound.h"

#include <climits>
#include <cstring>

MixerSound* NewMixerSound(int length, int bits, int channels, int hertz, const void* frames, int loop)
{
    if (length < 0 || hertz <= 0 || hertz > (1 << 20) || (bits != 8 && bits != 16) || (channels != 1 && channels != 2)) return nullptr;
    if (length > 0 && !frames) return nullptr;
    const int frame_bytes = channels * bits / 8;
    // Positions count sample values in the upper 32 bits; the byte count must fit an int.
    if (int64_t(length + int64_t(1)) * frame_bytes > INT_MAX) return nullptr;

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
    s->data = new uint8_t[s->owned_bytes];
    uint8_t* guard = s->data + s->data_bytes;
    if (length > 0) {
        std::memcpy(s->data, frames, s->data_bytes);
        const uint8_t* from = s->loop ? s->data : guard - frame_bytes;
        std::memcpy(guard, from, frame_bytes);
    } else {
        std::memset(guard, bits == 8 ? 128 : 0, frame_bytes);
    }
    return s;
}

void ReleaseMixerSound(MixerSound* sound)
{
    if (!sound) return;
    if (--sound->refs > 0) return;
    delete[] sound->data;
    delete sound;
}
