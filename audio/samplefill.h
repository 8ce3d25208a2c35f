// The frames of a sample that a background decoder is still writing.
// Loading a long sound then costs the caller only its first piece: the rest
// is decoded beside the game, front to back, and whoever reads the frames
// waits for those it needs, so it reads exactly what a whole decode gives.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class TSampleFill {
public:
    virtual ~TSampleFill() = default;
    TSampleFill(const TSampleFill&) = delete;
    TSampleFill& operator=(const TSampleFill&) = delete;

    // Blocks until the first `frames` frames are decoded or the decoding has
    // ended. Returns the final length once ended, else -1 (the frames asked
    // for are there). Lock-free, so the mixing thread may call it.
    int WaitFor(int frames);
    // Waits for the whole decoding; the final length.
    int Complete() { return WaitFor(INT32_MAX); }
    // The frame after the final last frame, for interpolation: frame 0 for
    // a looping sound, else the last frame again. Set before the frames are
    // played; written as soon as the final length is known.
    void SetGuard(bool loop);
    // Stops the decoding. When this returns the decoder no longer touches
    // the bytes, which their owner may then free.
    void Cancel();

protected:
    // data: room for stated_length + 1 frames of frame_bytes each.
    TSampleFill(uint8_t* data, int frame_bytes, int stated_length, int ready);
    // Decodes the next piece: frames ready afterwards; false when the
    // decoding has ended (ready is then the final length).
    virtual bool Step(int& ready) = 0;
    // Frees the decoder's state once the decoding has ended or is cancelled.
    virtual void Close() {}

    // Frames ready, and whether the decoding has ended, for the readers.
    void Publish(int ready, bool done);

    uint8_t* const data_;
    const int frame_bytes_;
    const int stated_length_;

private:
    friend class TSampleDecodeThread;
    void Finish(int ready);
    void WriteGuard();

    // Frames ready << 1, | 1 once the decoding has ended: one word, so a
    // waiter wakes on either change.
    std::atomic<int> state_;
    std::atomic<bool> wanted_{false};    // someone waits: decode this one first
    std::atomic<bool> cancelled_{false};
    int ready_ = 0;                      // decoding thread only

    std::mutex guard_mutex_;             // the guard frame: setter against the end of decoding
    bool guard_set_ = false, guard_loop_ = false, ended_ = false;
    int final_length_ = 0;
};

// Hands the rest of a fill's decoding to the background decoder, which
// works on one piece at a time, those that someone waits for first.
void StartSampleFill(const std::shared_ptr<TSampleFill>& fill);
