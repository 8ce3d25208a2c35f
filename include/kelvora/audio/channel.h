// A channel on which a sound plays.
#pragma once

#include <memory>

namespace kelvora {

class TChannel;
using TChannelPtr = std::shared_ptr<TChannel>;

// The base channel does nothing: it is what the silent driver hands out.
// Volume 0 = silent, 1 = as recorded; pan -1 left .. 1 right; only the sign
// of depth counts (negative inverts the right side); rate 1 = as recorded,
// 2 = an octave up.
class TChannel {
public:
    virtual ~TChannel() = default;
    virtual void Stop() {}
    virtual void SetPaused(int) {}
    virtual void SetVolume(float) {}
    virtual void SetPan(float) {}
    virtual void SetDepth(float) {}
    virtual void SetRate(float) {}
    // 1 while sounding: not stopped, not finished, not paused.
    virtual int Playing() { return 0; }
};

}  // namespace kelvora
