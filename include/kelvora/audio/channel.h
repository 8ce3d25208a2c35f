/// @file
/// A channel on which a sound plays.
#pragma once

#include <memory>

namespace kelvora {

class TChannel;
/// A channel. The mixer frees its channel when the last reference goes; a
/// sound still playing there plays on to its end.
using TChannelPtr = std::shared_ptr<TChannel>;

/// A voice of the current audio driver, as PlaySound and AllocChannel hand
/// it out; the functions of audio.h take these and accept null. The base
/// channel does nothing: it is what the silent driver hands out.
///
/// Volume 0 = silent, 1 = as recorded; pan -1 left .. 1 right; only the sign
/// of depth counts (negative inverts the right side); rate 1 = as recorded,
/// 2 = an octave up. A new channel is at volume 1, pan 0, depth 0, rate 1.
class TChannel {
public:
    virtual ~TChannel() = default;
    /// Stops the sound and gives the channel up (see StopChannel).
    virtual void Stop() {}
    /// 1 holds the sound where it is, 0 lets it go on.
    virtual void SetPaused(int) {}
    /// See SetChannelVolume.
    virtual void SetVolume(float) {}
    /// See SetChannelPan.
    virtual void SetPan(float) {}
    /// See SetChannelDepth.
    virtual void SetDepth(float) {}
    /// See SetChannelRate.
    virtual void SetRate(float) {}
    /// 1 while sounding: not stopped, not finished, not paused.
    virtual int Playing() { return 0; }
};

}  // namespace kelvora
