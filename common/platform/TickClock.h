#pragma once
// Millisecond tick count of a monotonic clock, wrapping at 2^32 like the system tick count.

#include <cstdint>

namespace tessel {

std::uint32_t TickCount();

// Milliseconds from `since` to now, correct across one wrap of the counter.
inline std::uint32_t TicksSince(std::uint32_t since) {
    return TickCount() - since;
}

// Protocol line timing (the pauses around a transmission); never used to wait for an event.
void SleepMs(std::uint32_t ms);

}  // namespace tessel
