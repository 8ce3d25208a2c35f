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
    if (b.running) return;
    if (b.thread.joinable()) b.thread.join();  // ended already: it found the queue empty
    try {
        b.thread = std::thread([&b] { b.Run(); });
        b.running = true;
    } catch (const std::system_error&) {
        std::function<void()> now = std::move(b.queue.back());
        b.queue.pop_back();
        lock.unlock();
        now();
    }
}

void FinishBackgroundWork()
{
    TBackground& b = Background();
    std::unique_lock<std::mutex> lock(b.mutex);
    b.idle.wait(lock, [&b] { return !b.running; });
    if (b.thread.joinable()) b.thread.join();
}

}  // namespace kelvora
