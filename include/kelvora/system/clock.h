// The millisecond clock and delays, behind a seam so tests can run on
// virtual time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace kelvora {

// Source of time for the whole engine.
class TClock {
public:
    virtual ~TClock() = default;
    // Milliseconds as a 32-bit counter; it wraps, so take differences modulo 2^32.
    virtual int Millisecs() = 0;
    // Sleeps until Millisecs() has advanced by ms; a negative value returns at
    // once, 0 yields once.
    virtual void Delay(int ms) = 0;
    // Waits about ms for a loop with nothing to time (a suspended game): no
    // precision asked, no processor spent. On virtual time it is Delay.
    virtual void Rest(int ms) { Delay(ms); }
};

// The real monotonic clock with 1 ms resolution; Delay really waits, and
// returns on the millisecond it was asked for (see WaitUntilNanos).
class TRealClock : public TClock {
public:
    int Millisecs() override;
    void Delay(int ms) override;
    void Rest(int ms) override;
};

// Virtual time for tests and replays: Delay advances the time and returns
// at once. Safe to read from the mixer thread.
class TVirtualClock : public TClock {
public:
    explicit TVirtualClock(int start_ms = 0) : now_(start_ms) {}
    int Millisecs() override { return now_.load(std::memory_order_relaxed); }
    void Delay(int ms) override;
    // Moves time on by ms without anyone sleeping (wraps like the real counter).
    void Advance(int ms);

private:
    std::atomic<int> now_;
};

// Installs the clock every module uses; null restores the real clock.
void SetClock(std::shared_ptr<TClock> clock);
TClock& CurrentClock();

int Millisecs();
void Delay(int ms);
void Rest(int ms);

// Nanoseconds on the monotonic clock that TRealClock counts in milliseconds.
int64_t MonotonicNanos();
// Returns once MonotonicNanos() has reached deadline (at once if it has):
// sleeps until shortly before it and spins the rest, so the return comes
// within microseconds of the deadline unless the machine is too busy to run
// the thread. The first wait on a thread asks the system for timely
// wake-ups for it.
void WaitUntilNanos(int64_t deadline);

}  // namespace kelvora
