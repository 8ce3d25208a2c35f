// The frames of a sample that are still being decoded. Loading a long sound
// then costs the caller only its first piece: the rest is decoded beside
// the game, a few pieces ahead of whoever reads the frames. The reader
// (the loader's caller, then the mixing thread once the sound is handed to
// it) never waits for that decoder: it takes the pieces already decoded
// and, when it gets ahead of them, decodes the rest itself with a decoder
// of its own. Either way it reads exactly what a whole decode gives.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace kelvora {

class TSampleFill {
public:
    virtual ~TSampleFill() = default;
    TSampleFill(const TSampleFill&) = delete;
    TSampleFill& operator=(const TSampleFill&) = delete;

    // Reader side (one thread at a time). Makes the first `frames` frames
    // ready, decoding here what the background has not; never blocks.
    // Returns the final length once the decoding has ended, else -1 (the
    // frames asked for are there).
    int Reach(int frames);
    // The whole decoding; the final length.
    int Complete() { return Reach(INT32_MAX); }
    // The frame after the final last frame, for interpolation: frame 0 for
    // a looping sound, else the last frame again. Set before the frames are
    // played; written as soon as the final length is known.
    void SetGuard(bool loop);
    // Any thread: the background stops working on this fill. It writes only
    // buffers of the fill's own, so the sample's bytes may go at once.
    void Cancel();

    // Frames decoded in the background and waiting for the reader.
    int FramesQueued() const;

    // Frames per piece, and pieces the background may work ahead.
    static constexpr int PIECE_FRAMES = 4096;
    static constexpr int QUEUE_PIECES = 8;

protected:
    // data: room for stated_length + 1 frames of frame_bytes each, the
    // first `ready` of them decoded already.
    TSampleFill(uint8_t* data, int frame_bytes, int stated_length, int ready);

    enum Side { BACKGROUND, READER };
    // The next piece of the given side's decoder into out, at most room
    // frames; 0 once the decoding has ended. May throw: the decoding ends
    // there, with the frames decoded before, on either side alike.
    virtual int Decode(Side side, uint8_t* out, int room) = 0;
    // Puts the reader's decoder at frame `frame`, where the background's
    // pieces end; called at most once.
    virtual void StartReader(int frame) = 0;
    // Frees the background decoder's state (on its thread) once it is done.
    virtual void CloseBackground() {}
    // Before the fill starts: the first `ready` frames were decoded in place.
    void Begin(int ready) { ready_ = ready; }

    uint8_t* const data_;
    const int frame_bytes_;
    const int stated_length_;

private:
    friend class TSampleDecodeThread;

    // Background thread: decodes one piece into the queue. False when this
    // fill needs it no more (ended, overtaken, cancelled).
    bool DecodeAhead();
    bool HasRoom() const;
    bool Wanted() const;
    void End(int length);

    // Pieces from the background to the reader: a single-producer,
    // single-consumer ring. A piece of 0 frames marks the end.
    struct Piece {
        std::vector<uint8_t> bytes;
        int frames = 0;
    };
    std::vector<Piece> queue_;
    std::atomic<uint32_t> pushed_{0};      // background
    std::atomic<uint32_t> taken_{0};       // reader
    std::atomic<bool> reader_decodes_{false};
    std::atomic<bool> cancelled_{false};
    bool background_ended_ = false;        // background thread only

    // Reader side.
    int ready_;
    bool ended_ = false;
    int final_length_ = 0;
    bool guard_set_ = false, guard_loop_ = false;
};

// Hands the rest of a fill's decoding to the background decoder, which
// works on one piece at a time.
void StartSampleFill(const std::shared_ptr<TSampleFill>& fill);

}  // namespace kelvora
