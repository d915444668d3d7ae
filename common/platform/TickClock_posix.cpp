#include "common/platform/TickClock.h"

#include <cerrno>
#include <ctime>

namespace tessel {

std::uint32_t TickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const auto ms =
        static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

void SleepMs(std::uint32_t ms) {
    timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    // Resume after signals so that the pause is never cut short.
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &req, &req) == EINTR) {
    }
}

}  // namespace tessel
