// Work done on one background thread, in the order it was handed over,
// while the caller goes on: loads a program starts before it needs them
// (decoding its pictures and sounds while its window opens). Where no
// thread can be had (a browser build without them), each piece is done at
// once, in the caller's thread, with the same result.
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

// Returns once everything queued so far is done and the thread has ended:
// before what the work uses goes away (at the engine's shutdown).
void FinishBackgroundWork();

}  // namespace kelvora
