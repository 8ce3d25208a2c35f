#include "audio/samplefill.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

TSampleFill::TSampleFill(uint8_t* data, int frame_bytes, int stated_length, int ready)
    : data_(data), frame_bytes_(frame_bytes), stated_length_(stated_length), state_(ready << 1), ready_(ready)
{
}

int TSampleFill::WaitFor(int frames)
{
    int s = state_.load(std::memory_order_acquire);
    while (!(s & 1) && (s >> 1) < frames) {
        wanted_.store(true, std::memory_order_relaxed);
        state_.wait(s, std::memory_order_acquire);
        s = state_.load(std::memory_order_acquire);
    }
    return (s & 1) ? s >> 1 : -1;
}

void TSampleFill::Publish(int ready, bool done)
{
    ready_ = ready;
    state_.store(ready << 1 | (done ? 1 : 0), std::memory_order_release);
    state_.notify_all();
}

void TSampleFill::WriteGuard()
{
    uint8_t* guard = data_ + size_t(final_length_) * size_t(frame_bytes_);
    if (final_length_ == 0)
        std::memset(guard, 0, size_t(frame_bytes_));
    else
        std::memcpy(guard, guard_loop_ ? data_ : guard - frame_bytes_, size_t(frame_bytes_));
}

void TSampleFill::SetGuard(bool loop)
{
    std::lock_guard<std::mutex> lock(guard_mutex_);
    guard_set_ = true;
    guard_loop_ = loop;
    if (ended_) WriteGuard();
}

void TSampleFill::Finish(int ready)
{
    Close();
    if (!cancelled_.load(std::memory_order_relaxed)) {
        std::lock_guard<std::mutex> lock(guard_mutex_);
        ended_ = true;
        final_length_ = ready;
        if (guard_set_) WriteGuard();
    }
    Publish(ready, true);
}

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
                // No thread to be had: decode the rest here.
                lock.unlock();
                int ready = fill->ready_;
                while (fill->Step(ready)) fill->Publish(ready, false);
                fill->Finish(ready);
                return;
            }
        }
        jobs_.push_back(fill);
        wake_.notify_all();
    }

    void Cancel(TSampleFill* fill)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        fill->cancelled_.store(true, std::memory_order_relaxed);
        wake_.wait(lock, [&] { return current_ != fill; });
        auto it = std::find_if(jobs_.begin(), jobs_.end(), [&](const auto& j) { return j.get() == fill; });
        if (it == jobs_.end()) return;  // already ended
        std::shared_ptr<TSampleFill> job = *it;
        jobs_.erase(it);
        job->Finish(job->ready_);
        wake_.notify_all();
    }

private:
    void Run()
    {
#if defined(__linux__)
        // Work ahead of the mixer gives way to the game's own thread on a
        // busy machine; it still runs many times faster than real time.
        setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
#endif
        std::unique_lock<std::mutex> lock(mutex_);
        while (!jobs_.empty()) {
            // The fill someone waits for, else the oldest; a cancelled one
            // is left to the canceller.
            std::shared_ptr<TSampleFill> job;
            for (const auto& j : jobs_) {
                if (j->cancelled_.load(std::memory_order_relaxed)) continue;
                if (!job) job = j;
                if (j->wanted_.load(std::memory_order_relaxed)) {
                    job = j;
                    break;
                }
            }
            if (!job) {
                wake_.wait(lock);
                continue;
            }
            current_ = job.get();
            lock.unlock();
            int ready = job->ready_;
            const bool more = job->Step(ready);
            if (more) job->Publish(ready, false);
            lock.lock();
            current_ = nullptr;
            if (!more) {
                jobs_.erase(std::find(jobs_.begin(), jobs_.end(), job));
                job->Finish(ready);
            }
            wake_.notify_all();
        }
        running_ = false;
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::shared_ptr<TSampleFill>> jobs_;
    TSampleFill* current_ = nullptr;
    bool running_ = false;
};

namespace {

// Never destroyed: its thread may still be finishing when the program exits.
TSampleDecodeThread& DecodeThread()
{
    static TSampleDecodeThread* thread = new TSampleDecodeThread;
    return *thread;
}

}  // namespace

void TSampleFill::Cancel() { DecodeThread().Cancel(this); }

void StartSampleFill(const std::shared_ptr<TSampleFill>& fill) { DecodeThread().Add(fill); }
