#pragma once
// Millisecond tick count of a monotonic clock, wrapping at 2^32 like the system tick count.

#include <cstdint>

namespace tessel {

std::uint32_t TickCount();

// Milliseconds from `since` to now, correct across one wrap of the counter.
inline std::uint32_t TicksSince(std::uint32_t since) {
    return TickCount() - since;
}

// Protocol line timing (the pauses around a transmission); never used to wait for an event. Ends as close
// after `ms` as the system allows: it wakes kLastStretch early and sleeps the rest again, since a thread
// woken from a long sleep comes back late (a deep idle state of the processor), and from a short one nearly
// on time.
void SleepMs(std::uint32_t ms);

// How long before a line deadline a timed wait wakes, to wait out the rest in a second, short wait.
inline constexpr std::uint32_t kLastStretchUs = 500;

// While it lives, the timed waits of the thread that made it end as near their deadlines as the system can:
// on Linux the thread's timer slack is 1 ns instead of 50 µs, on Windows the system timer period is 1 ms
// instead of 15.6 ms. Made around a transmission, whose pauses are the line's timing.
class PreciseTiming {
  public:
    PreciseTiming();
    ~PreciseTiming();
    PreciseTiming(const PreciseTiming&) = delete;
    PreciseTiming& operator=(const PreciseTiming&) = delete;

  private:
    unsigned long saved_ = 0;  // the timer slack to restore (Linux); whether the period was raised (Windows)
};

}  // namespace tessel
