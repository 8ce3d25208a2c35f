#include "audio/samplefill.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace kelvora {

// The one background decoder. It runs while there is work and ends when
// there is none; the next fill starts it again.
class TSampleDecodeThread {
public:
    void Add(const std::shared_ptr<TSampleFill>& fill)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!running_) {
            try {
                std::thread([this] { Run(); }).detach();
                running_ = true;
            } catch (const std::system_error&) {
                return;  // no thread to be had: the reader decodes it all
            }
        }
        jobs_.push_back(fill);
        Wake();
    }

    // Lock-free: the reader calls it from the mixing thread.
    void Wake()
    {
        wake_.fetch_add(1, std::memory_order_release);
        wake_.notify_one();
    }

private:
    void Run()
    {
#if defined(__linux__)
        // Work ahead of the reader gives way to the game's own thread on a
        // busy machine; the reader never waits for it, and it still runs
        // many times faster than real time.
        setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
#endif
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            const uint32_t seen = wake_.load(std::memory_order_acquire);
            for (auto it = jobs_.begin(); it != jobs_.end();) {
                if ((*it)->Wanted()) {
                    ++it;
                    continue;
                }
                std::shared_ptr<TSampleFill> done = std::move(*it);
                it = jobs_.erase(it);
                done->CloseBackground();
            }
            if (jobs_.empty()) {
                running_ = false;
                return;
            }
            // The first with room in its queue, then it goes to the back.
            auto it = std::find_if(jobs_.begin(), jobs_.end(), [](const auto& j) { return j->HasRoom(); });
            if (it == jobs_.end()) {
                lock.unlock();
                wake_.wait(seen, std::memory_order_acquire);
                lock.lock();
                continue;
            }
            std::shared_ptr<TSampleFill> job = *it;
            jobs_.erase(it);
            jobs_.push_back(job);
            lock.unlock();
            job->DecodeAhead();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::vector<std::shared_ptr<TSampleFill>> jobs_;
    bool running_ = false;
    std::atomic<uint32_t> wake_{0};
};

namespace {

// Never destroyed: its thread may still be finishing when the program exits.
TSampleDecodeThread& DecodeThread()
{
    static TSampleDecodeThread* thread = new TSampleDecodeThread;
    return *thread;
}

}  // namespace

TSampleFill::TSampleFill(uint8_t* data, int frame_bytes, int stated_length, int ready)
    : data_(data), frame_bytes_(frame_bytes), stated_length_(stated_length), queue_(QUEUE_PIECES), ready_(ready)
{
    for (Piece& piece : queue_) piece.bytes.resize(size_t(PIECE_FRAMES) * size_t(frame_bytes));
}

bool TSampleFill::Wanted() const
{
    return !background_ended_ && !cancelled_.load(std::memory_order_relaxed) &&
           !reader_decodes_.load(std::memory_order_relaxed);
}

bool TSampleFill::HasRoom() const
{
    return pushed_.load(std::memory_order_relaxed) - taken_.load(std::memory_order_acquire) < uint32_t(QUEUE_PIECES);
}

int TSampleFill::FramesQueued() const
{
    return int(pushed_.load(std::memory_order_acquire) - taken_.load(std::memory_order_acquire)) * PIECE_FRAMES;
}

bool TSampleFill::DecodeAhead()
{
    if (!Wanted() || !HasRoom()) return Wanted();
    const uint32_t p = pushed_.load(std::memory_order_relaxed);
    Piece& piece = queue_[p % QUEUE_PIECES];
    int n = 0;
    try {
        n = Decode(BACKGROUND, piece.bytes.data(), PIECE_FRAMES);
    } catch (...) {
        n = 0;  // the decoding ends here, as it would for the reader
    }
    piece.frames = std::max(n, 0);
    if (piece.frames == 0) background_ended_ = true;
    pushed_.store(p + 1, std::memory_order_release);
    return piece.frames > 0;
}

int TSampleFill::Reach(int frames)
{
    while (!ended_ && ready_ < frames) {
        if (!reader_decodes_.load(std::memory_order_relaxed)) {
            const uint32_t t = taken_.load(std::memory_order_relaxed);
            if (t != pushed_.load(std::memory_order_acquire)) {
                const Piece& piece = queue_[t % QUEUE_PIECES];
                const int n = std::min(piece.frames, stated_length_ - ready_);
                if (n > 0)
                    std::memcpy(data_ + size_t(ready_) * size_t(frame_bytes_), piece.bytes.data(),
                                size_t(n) * size_t(frame_bytes_));
                ready_ += n;
                const bool last = piece.frames == 0;
                taken_.store(t + 1, std::memory_order_release);
                DecodeThread().Wake();
                if (last || ready_ >= stated_length_) End(ready_);
                continue;
            }
            // Ahead of the background: go on here, where its pieces end.
            reader_decodes_.store(true, std::memory_order_relaxed);
            DecodeThread().Wake();
            try {
                StartReader(ready_);
            } catch (...) {
                End(ready_);
                break;
            }
        }
        int n = 0;
        try {
            n = Decode(READER, data_ + size_t(ready_) * size_t(frame_bytes_),
                       std::min(PIECE_FRAMES, stated_length_ - ready_));
        } catch (...) {
            n = 0;
        }
        if (n > 0) ready_ += n;
        if (n <= 0 || ready_ >= stated_length_) End(ready_);
    }
    return ended_ ? final_length_ : -1;
}

void TSampleFill::End(int length)
{
    ended_ = true;
    final_length_ = length;
    if (guard_set_) SetGuard(guard_loop_);
    if (!reader_decodes_.exchange(true, std::memory_order_relaxed)) DecodeThread().Wake();
}

void TSampleFill::SetGuard(bool loop)
{
    guard_set_ = true;
    guard_loop_ = loop;
    if (!ended_) return;
    uint8_t* guard = data_ + size_t(final_length_) * size_t(frame_bytes_);
    if (final_length_ == 0)
        std::memset(guard, 0, size_t(frame_bytes_));
    else
        std::memcpy(guard, loop ? data_ : guard - frame_bytes_, size_t(frame_bytes_));
}

void TSampleFill::Cancel()
{
    cancelled_.store(true, std::memory_order_relaxed);
    DecodeThread().Wake();
}

void StartSampleFill(const std::shared_ptr<TSampleFill>& fill) { DecodeThread().Add(fill); }

}  // namespace kelvora
