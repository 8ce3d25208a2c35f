#include "io/background_work.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace kelvora {

namespace {

// The thread runs while there is work and ends when there is none; the next
// piece starts another. Never destroyed: work may be queued until exit.
struct TBackground {
    std::mutex mutex;
    std::condition_variable idle;
    std::deque<std::function<void()>> queue;
    std::thread thread;
    bool running = false;
    bool held = std::thread::hardware_concurrency() <= 2;

    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!queue.empty()) {
            std::function<void()> work = std::move(queue.front());
            queue.pop_front();
            lock.unlock();
            work();  // a packaged task: what it throws goes to its future
            lock.lock();
        }
        running = false;
        idle.notify_all();
    }

    // With the lock held: the thread for what is queued, or, where no
    // thread can be had, the work done here (the lock let go meanwhile).
    void Start(std::unique_lock<std::mutex>& lock)
    {
        if (running || queue.empty()) return;
        if (thread.joinable()) thread.join();  // ended already: it found the queue empty
        try {
            thread = std::thread([this] { Run(); });
            running = true;
        } catch (const std::system_error&) {
            while (!queue.empty()) {
                std::function<void()> now = std::move(queue.front());
                queue.pop_front();
                lock.unlock();
                now();
                lock.lock();
            }
        }
    }
};

TBackground& Background()
{
    static TBackground* background = new TBackground;
    return *background;
}

}  // namespace

void RunInBackground(std::function<void()> work)
{
    TBackground& b = Background();
    std::unique_lock<std::mutex> lock(b.mutex);
    b.queue.push_back(std::move(work));
    if (!b.held) b.Start(lock);
}

void LetBackgroundWorkRun()
{
    TBackground& b = Background();
    std::unique_lock<std::mutex> lock(b.mutex);
    b.held = false;
    b.Start(lock);
}

void HoldBackgroundWork(bool hold)
{
    TBackground& b = Background();
    std::lock_guard<std::mutex> lock(b.mutex);
    b.held = hold;
}

void FinishBackgroundWork()
{
    TBackground& b = Background();
    std::unique_lock<std::mutex> lock(b.mutex);
    b.Start(lock);
    b.idle.wait(lock, [&b] { return !b.running; });
    if (b.thread.joinable()) b.thread.join();
}

}  // namespace kelvora
