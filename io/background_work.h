// Work done on one background thread, in the order it was handed over,
// while the caller goes on: loads a program starts before it needs them
// (decoding its pictures and sounds while its window opens). Where no
// thread can be had (a browser build without them), each piece is done in
// the caller's thread, with the same result.
//
// On a machine of two cores or fewer the thread would take the CPU the
// caller's own start-up needs (and the display server's beside it): there
// work waits, held back, until the caller is about to block
// (LetBackgroundWorkRun, which the display calls before it waits for its
// window to show) or waits for a result (AwaitBackground).
#pragma once

#include <functional>
#include <future>
#include <memory>

namespace kelvora {

// Queues work; the future gives its result, or the exception it threw.
void RunInBackground(std::function<void()> work);

template <class T>
std::shared_future<T> InBackground(std::function<T()> work)
{
    auto task = std::make_shared<std::packaged_task<T()>>(std::move(work));
    std::shared_future<T> result = task->get_future().share();
    RunInBackground([task] { (*task)(); });
    return result;
}

// Work held back starts now, and work queued later starts at once: the
// caller is about to wait for something else (or for the work itself).
void LetBackgroundWorkRun();

// The result of work queued with InBackground, once it is done.
template <class T>
T AwaitBackground(const std::shared_future<T>& result)
{
    LetBackgroundWorkRun();
    return result.get();
}

// Whether work queued from now on is held back until LetBackgroundWorkRun;
// by default it is on machines of two cores or fewer.
void HoldBackgroundWork(bool hold);

// Returns once everything queued so far (held back or not) is done and the
// thread has ended: before what the work uses goes away (at the engine's
// shutdown).
void FinishBackgroundWork();

}  // namespace kelvora
