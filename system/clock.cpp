#include "kelvora/system/clock.h"

#include <errno.h>
#include <time.h>

#include <cstdint>
#include <chrono>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace kelvora {

namespace {

std::shared_ptr<TClock>& ClockSlot()
{
    static std::shared_ptr<TClock> clock = std::make_shared<TRealClock>();
    return clock;
}

// A wait sleeps until this long before its deadline and spins the rest. The
// kernel usually wakes a sleeper 0.05-0.2 ms late and, on a busy machine,
// now and then several ms late; 0.5 ms covers the usual lateness and costs
// at most 30 ms of CPU a second at 60 frames.
constexpr int64_t kSpinMarginNs = 500000;

#if defined(__linux__)
// The time slice asked for the waiting thread: the kernel's shortest. A
// thread with a short slice may preempt a busy one as soon as it wakes
// instead of waiting for that one's slice to run out.
constexpr uint64_t kWakeSliceNs = 100000;
#endif

void CpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

#if defined(__linux__)
// The kernel's sched_getattr/sched_setattr record; glibc declares neither.
struct TSchedAttr {
    uint32_t size;
    uint32_t sched_policy;
    uint64_t sched_flags;
    int32_t sched_nice;
    uint32_t sched_priority;
    uint64_t sched_runtime;
    uint64_t sched_deadline;
    uint64_t sched_period;
};

void AskShortSlice()
{
    TSchedAttr attr{};
    if (syscall(SYS_sched_getattr, 0, &attr, unsigned(sizeof attr), 0u) != 0) return;
    if (attr.sched_policy != SCHED_OTHER && attr.sched_policy != SCHED_BATCH) return;
    // On kernels before 6.12 the field is ignored for these policies.
    attr.size = sizeof attr;
    attr.sched_runtime = kWakeSliceNs;
    syscall(SYS_sched_setattr, 0, &attr, 0u);
}
#endif

// What the system offers a thread for waking on time without privileges,
// asked once by each thread that waits. Best effort: a refusal changes only
// the precision.
void RequestTimelyWakeups()
{
    thread_local bool asked = false;
    if (asked) return;
    asked = true;
#if defined(__linux__)
    // Timers of ordinary threads may fire up to 50 us late so the kernel can
    // batch wake-ups; the slack is per thread and 1 ns is the least it takes.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    AskShortSlice();
#elif defined(_WIN32)
    // Windows: sleeps end on the system timer's tick (15.6 ms unless the
    // program asks for a finer one). The Windows build asks for its timer
    // resolution here.
#endif
}

}  // namespace

int64_t MonotonicNanos()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void WaitUntilNanos(int64_t deadline)
{
    RequestTimelyWakeups();
    const int64_t sleep_to = deadline - kSpinMarginNs;
    if (MonotonicNanos() < sleep_to) {
        timespec wake{time_t(sleep_to / 1000000000), long(sleep_to % 1000000000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr) == EINTR) {
        }
    }
    // The spin relaxes the core but does not call the scheduler's yield: on
    // Linux each yield gives up the rest of the thread's slice and its claim
    // to the processor, and a loop of them made the later wake-ups of a
    // busy machine later still.
    while (MonotonicNanos() < deadline) CpuRelax();
}

int TRealClock::Millisecs()
{
    uint64_t ms = uint64_t(MonotonicNanos()) / 1000000u;
    return int(uint32_t(ms));  // a 32-bit counter that wraps
}

void TRealClock::Delay(int ms)
{
    if (ms < 0) return;
    if (ms == 0) {
        std::this_thread::yield();
        return;
    }
    // Wake on the millisecond boundary the counter will read, not ms after a
    // fractional "now": a frame pacer that sleeps to its slot then starts the
    // frame on time instead of up to a millisecond late.
    int64_t now_ms = MonotonicNanos() / 1000000;
    WaitUntilNanos((now_ms + ms) * 1000000);
}

void TRealClock::Rest(int ms)
{
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void TVirtualClock::Delay(int ms)
{
    if (ms > 0) Advance(ms);
}

void TVirtualClock::Advance(int ms)
{
    // Unsigned arithmetic so the counter wraps like the real one.
    int cur = now_.load(std::memory_order_relaxed);
    while (!now_.compare_exchange_weak(cur, int(uint32_t(cur) + uint32_t(ms)), std::memory_order_relaxed)) {
    }
}

void SetClock(std::shared_ptr<TClock> clock)
{
    ClockSlot() = clock ? std::move(clock) : std::make_shared<TRealClock>();
}

TClock& CurrentClock() { return *ClockSlot(); }

int Millisecs() { return CurrentClock().Millisecs(); }

void Delay(int ms) { CurrentClock().Delay(ms); }

void Rest(int ms) { CurrentClock().Rest(ms); }

}  // namespace kelvora
