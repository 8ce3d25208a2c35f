/// @file
/// The millisecond clock and delays, behind a seam so tests and replays can
/// run on virtual time. Flip's pacing, the sound's start times and every
/// Millisecs call read the one current clock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace kelvora {

/// Source of time for the whole engine.
class TClock {
public:
    virtual ~TClock() = default;
    /// Milliseconds as a 32-bit counter from an arbitrary start; it wraps, so
    /// take differences modulo 2^32 (int(uint32_t(later) - uint32_t(earlier))).
    virtual int Millisecs() = 0;
    /// Sleeps until Millisecs() has advanced by ms; a negative value returns at
    /// once, 0 yields once.
    virtual void Delay(int ms) = 0;
    /// Waits about ms for a loop with nothing to time (a suspended game): no
    /// precision asked, no processor spent. On virtual time it is Delay.
    virtual void Rest(int ms) { Delay(ms); }
};

/// The real monotonic clock with 1 ms resolution (the default); Delay really
/// waits, and returns on the millisecond it was asked for (see
/// WaitUntilNanos).
class TRealClock : public TClock {
public:
    int Millisecs() override;
    void Delay(int ms) override;
    void Rest(int ms) override;
};

/// Virtual time for tests and replays: Delay advances the time and returns
/// at once. Safe to read from the mixer thread.
class TVirtualClock : public TClock {
public:
    /// A clock that reads start_ms until moved on.
    explicit TVirtualClock(int start_ms = 0) : now_(start_ms) {}
    int Millisecs() override { return now_.load(std::memory_order_relaxed); }
    /// Advances the time by ms (nothing for ms <= 0) and returns at once.
    void Delay(int ms) override;
    /// Moves time on by ms without anyone sleeping (wraps like the real counter).
    void Advance(int ms);

private:
    std::atomic<int> now_;
};

/// Installs the clock every module uses; null restores the real clock. Set it
/// before Init: the sound output's thread reads it too.
void SetClock(std::shared_ptr<TClock> clock);
/// The clock every module uses.
TClock& CurrentClock();

/// The current clock's milliseconds (TClock::Millisecs).
int Millisecs();
/// Sleeps ms on the current clock (TClock::Delay).
void Delay(int ms);
/// Waits about ms without precision (TClock::Rest).
void Rest(int ms);

/// Nanoseconds on the monotonic clock that TRealClock counts in milliseconds.
/// Any thread.
int64_t MonotonicNanos();
/// Returns once MonotonicNanos() has reached deadline (at once if it has):
/// sleeps until shortly before it and spins the rest, so the return comes
/// within microseconds of the deadline unless the machine is too busy to run
/// the thread. The first wait on a thread asks the system for timely
/// wake-ups for it. Any thread.
void WaitUntilNanos(int64_t deadline);

}  // namespace kelvora
