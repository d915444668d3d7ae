#include "common/platform/TickClock.h"

#include <sys/prctl.h>

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

namespace {

timespec Plus(timespec t, std::uint64_t us) {
    const std::uint64_t ns = static_cast<std::uint64_t>(t.tv_nsec) + (us % 1000000u) * 1000u;
    t.tv_sec += static_cast<time_t>(us / 1000000u + ns / 1000000000u);
    t.tv_nsec = static_cast<long>(ns % 1000000000u);
    return t;
}

// Sleeps until `deadline` on the monotonic clock; resumes after signals so that the pause is never cut short.
void SleepUntil(const timespec& deadline) {
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

}  // namespace

void SleepMs(std::uint32_t ms) {
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const std::uint64_t us = std::uint64_t{ms} * 1000u;
    if (us > kLastStretchUs) SleepUntil(Plus(start, us - kLastStretchUs));
    SleepUntil(Plus(start, us));
}

PreciseTiming::PreciseTiming() {
    const int slack = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    if (slack <= 0) return;
    if (::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0) saved_ = static_cast<unsigned long>(slack);
}

PreciseTiming::~PreciseTiming() {
    if (saved_ != 0) ::prctl(PR_SET_TIMERSLACK, saved_, 0, 0, 0);
}

}  // namespace tessel
