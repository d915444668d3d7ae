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

TEST(FrameLineIdle, NeverQuietLineIsBounded) {
    TECRState state;
    state.Stamp();
    Traffic traffic(state, 10, 1000000, false);
    const auto start = Clock::now();
    state.WaitIdle();
    const long long waited = MsSince(start);
    EXPECT_GE(waited, static_cast<long long>(TECRState::kMaxBusyMs) - 5);
    EXPECT_LT(waited, static_cast<long long>(TECRState::kMaxBusyMs) + 1000);
}

}  // namespace
