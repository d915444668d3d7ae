#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>

#include "driver/link/EcrFrame.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// Stands in for a register that keeps sending: a chunk every `periodMs`, `chunks` times, then optionally the
// end of a whole frame. Stops early when destroyed.
class Traffic {
  public:
    Traffic(TECRState& state, int periodMs, int chunks, bool frameAtEnd)
        : thread_([this, &state, periodMs, chunks, frameAtEnd](std::stop_token stop) {
              std::mutex mutex;
              std::condition_variable_any cv;
              std::unique_lock lock(mutex);
              for (int i = 0; i < chunks; ++i) {
                  state.Stamp();
                  lastStamp_ = Clock::now().time_since_epoch().count();
                  cv.wait_for(lock, stop, std::chrono::milliseconds(periodMs), [] { return false; });
                  if (stop.stop_requested()) return;
              }
              if (frameAtEnd) state.SetIdle();
          }) {}

    Clock::time_point LastStamp() const { return Clock::time_point(Clock::duration(lastStamp_.load())); }

  private:
    std::atomic<Clock::rep> lastStamp_{Clock::now().time_since_epoch().count()};
    std::jthread thread_;  // last: stopped and joined before lastStamp_ goes
};

TEST(FrameLineIdle, ReturnsAtOnceWhenSignalled) {
    TECRState state;
    EXPECT_TRUE(state.LineIdle().IsSet());
    const auto start = Clock::now();
    state.WaitIdle();
    state.Stamp();
    state.SetIdle();
    state.WaitIdle();
    EXPECT_LT(MsSince(start), 90);  // well short of the quiet interval
}

TEST(FrameLineIdle, StampMakesLineBusyForQuietInterval) {
    TECRState state;
    state.Stamp();
    EXPECT_FALSE(state.LineIdle().IsSet());
    const auto stamped = Clock::now();
    state.WaitIdle();
    const long long waited = MsSince(stamped);
    EXPECT_GE(waited, 99);   // the clocks differ by a fraction of a millisecond
    EXPECT_LT(waited, 400);  // about the quiet interval
    EXPECT_FALSE(state.LineIdle().IsSet());
    // Quiet ever since: no further wait.
    const auto again = Clock::now();
    state.WaitIdle();
    EXPECT_LT(MsSince(again), 90);
}

TEST(FrameLineIdle, WaitsForQuietAfterLastChunk) {
    TECRState state;
    state.Stamp();
    Traffic traffic(state, 20, 10, false);  // about 200 ms of chunks
    state.WaitIdle();
    EXPECT_GE(MsSince(traffic.LastStamp()), 99);
}

TEST(FrameLineIdle, WholeFrameEndsWaitEarly) {
    TECRState state;
    state.Stamp();
    Traffic traffic(state, 20, 5, true);
    const auto start = Clock::now();
    state.WaitIdle();
    EXPECT_LT(MsSince(traffic.LastStamp()), 100);
    EXPECT_LT(MsSince(start), 1000);
}

// Simulated time: the register's chunks arrive while the monitor sleeps, so how long the wait lasts depends
// on the monitor alone, never on how soon another thread gets the processor.
struct SimulatedLine {
    std::uint32_t periodMs;   // a chunk every periodMs of simulated time
    std::uint32_t busyMs;     // for this long after the first chunk (then the line falls quiet)
    bool frameAtEnd;          // the last chunk ends a whole frame
    std::uint32_t returnsAt;  // when the wait must end, from the first chunk
    const char* name;
};

void PrintTo(const SimulatedLine& c, std::ostream* os) {
    *os << c.name;
}

class FrameLineIdleSimulated : public ::testing::TestWithParam<SimulatedLine> {};

TEST_P(FrameLineIdleSimulated, WaitEndsWhenTheLineAllowsIt) {
    const SimulatedLine& c = GetParam();
    // Simulated milliseconds; the monitor sees them on a clock far from its epoch.
    std::uint32_t now = 0;
    const std::uint32_t first = now;
    const auto at = [](std::uint32_t ms) {
        return TLineClock::Clock::time_point(std::chrono::hours(1000) + std::chrono::milliseconds(ms));
    };
    TECRState* line = nullptr;
    std::uint32_t nextChunk = first + c.periodMs;
    const auto sleep = [&](const tessel::ManualResetEvent& idle, TLineClock::Clock::time_point deadline) {
        do {
            ++now;
            if (now == nextChunk && now - first <= c.busyMs) {
                line->Stamp();
                if (c.frameAtEnd && now - first + c.periodMs > c.busyMs) line->SetIdle();
                nextChunk += c.periodMs;
            }
            if (idle.IsSet()) return true;
            // A monitor that never gives up fails the comparison below instead of hanging the test.
            if (now - first > 10 * TECRState::kMaxBusyMs) return true;
        } while (at(now) < deadline);
        return false;
    };
    TECRState state(TLineClock{[&] { return at(now); }, sleep});
    line = &state;
    state.Stamp();
    state.WaitIdle();
    EXPECT_EQ(now - first, c.returnsAt);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameLineIdleSimulated,
    ::testing::Values(
        // Noise that never stops: the transmitter gives up waiting after kMaxBusyMs.
        SimulatedLine{10, 0xFFFFFFFFu, false, TECRState::kMaxBusyMs, "NeverQuietLineIsBounded"},
        // Chunks for 200 ms: the quiet interval counts from the last one.
        SimulatedLine{20, 200, false, 200 + TECRState::kQuietMs + 1, "QuietIntervalAfterTheLastChunk"},
        // Gaps just within the quiet interval keep the line busy.
        SimulatedLine{TECRState::kQuietMs, 1000, false, 1000 + TECRState::kQuietMs + 1,
                      "GapsOfTheQuietInterval"},
        // A whole frame at 100 ms ends the wait there.
        SimulatedLine{20, 100, true, 100, "WholeFrameEndsTheWait"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
