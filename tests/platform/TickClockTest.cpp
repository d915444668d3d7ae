#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <tuple>

#include "common/platform/TickClock.h"

namespace {

using Clock = std::chrono::steady_clock;

// The line's pauses are minimums the register relies on: one that ends early lets the driver talk into the
// register's turnaround. Each length is tried with and without the precise timing the transmitter holds, and
// around the last stretch that is slept apart.
class LinePause : public ::testing::TestWithParam<std::tuple<std::uint32_t, bool>> {};

TEST_P(LinePause, NeverEndsEarly) {
    const auto [ms, precise] = GetParam();
    std::optional<tessel::PreciseTiming> timing;
    if (precise) timing.emplace();
    const auto start = Clock::now();
    tessel::SleepMs(ms);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(ms));
    EXPECT_LT(took, std::chrono::milliseconds(ms + 200)) << "about the pause asked for";
}

INSTANTIATE_TEST_SUITE_P(Lengths, LinePause,
                         ::testing::Combine(::testing::Values(0u, 1u, 10u, 37u), ::testing::Bool()));

}  // namespace
