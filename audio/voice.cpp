#include "audio/voice.h"

namespace kelvora {

namespace softmix {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}

void sound::set_rate(int32_t rate)
{
    rate_tgt.store(rate, kRelaxed);
    if (status.load(kRelaxed) & VOICE_PAUSED) rate_cur.store(rate, kRelaxed);
}

void sound::set_volume(int16_t volume)
{
    vol_tgt.store(volume, kRelaxed);
    if (status.load(kRelaxed) & VOICE_PAUSED) vol_cur.store(volume, kRelaxed);
}

void sound::set_pan(int16_t pan)
{
    pan_tgt.store(pan, kRelaxed);
    if (status.load(kRelaxed) & VOICE_PAUSED) pan_cur.store(pan, kRelaxed);
}

void sound::set_depth(int16_t depth) { depth_tgt.store(depth, kRelaxed); }

int32_t sound::get_rate(int target) const { return (target ? rate_tgt : rate_cur).load(kRelaxed); }
int16_t sound::get_volume(int target) const { return (target ? vol_tgt : vol_cur).load(kRelaxed); }
int16_t sound::get_pan(int target) const { return (target ? pan_tgt : pan_cur).load(kRelaxed); }
int16_t sound::get_depth(int target) const { return (target ? depth_tgt : depth_cur).load(kRelaxed); }

int sound::position() const
{
    if (!buffer) return 0;
    return int((played.load(kRelaxed) >> 32) / uint64_t(buffer->channels));
}

void sound::take_settings(const output* from)
{
    const output neutral;
    if (!from) from = &neutral;
    const int32_t rate = from->get_rate(1);
    const int16_t volume = from->get_volume(1), pan = from->get_pan(1), depth = from->get_depth(1);
    rate_cur.store(rate, kRelaxed);
    rate_tgt.store(rate, kRelaxed);
    vol_cur.store(volume, kRelaxed);
    vol_tgt.store(volume, kRelaxed);
    pan_cur.store(pan, kRelaxed);
    pan_tgt.store(pan, kRelaxed);
    depth_cur.store(depth, kRelaxed);
    depth_tgt.store(depth, kRelaxed);
}

}  // namespace softmix

}  // namespace kelvora
