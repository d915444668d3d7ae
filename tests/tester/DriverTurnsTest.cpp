// Who has the test program's driver: the window's thread never waits for a worker, and once it asked, it
// has the driver before any worker takes it again.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

#include "support/Latch.h"
#include "tools/tester/untDriverTurns.h"

namespace {

using tessel::tst::TDriverTurns;
using tessel_test::Latch;

TEST(DriverTurns, TheWindowIsServedBeforeAnyWorkerTakesTheDriverAgain) {
    TDriverTurns turns;  // made on this thread: the window's
    std::atomic<std::thread::id> toldOn;
    Latch told(1);
    turns.SetOnReleased([&] {
        toldOn = std::this_thread::get_id();
        told.count_down();
    });
    EXPECT_THROW(turns.Lock(), std::logic_error);  // the window never waits

    Latch holding(1), release(1);
    std::thread first([&] {
        turns.Lock();
        turns.Lock();  // again, on the same thread
        holding.count_down();
        release.wait();
        turns.Unlock();
        turns.Unlock();
    });
    holding.wait();
    EXPECT_FALSE(turns.TryLock());
    EXPECT_TRUE(turns.WindowWaits());

    // A second worker asks while the window waits: it is served after the window.
    std::atomic<bool> secondHas = false;
    std::thread second([&] {
        turns.Lock();
        secondHas = true;
        turns.Unlock();
    });
    release.count_down();
    told.wait();
    first.join();
    EXPECT_NE(toldOn.load(), std::this_thread::get_id()) << "told on the releasing worker's thread";
    EXPECT_FALSE(secondHas) << "a worker took the driver before the window";
    ASSERT_TRUE(turns.TryLock());
    EXPECT_FALSE(turns.WindowWaits());
    EXPECT_TRUE(turns.TryLock());  // again, on the same thread
    turns.Unlock();
    EXPECT_FALSE(secondHas);
    turns.Unlock();
    second.join();
    EXPECT_TRUE(secondHas);
}

// A window that will not take its turn (it closes) holds no worker back.
TEST(DriverTurns, AWindowThatForgoesItsTurnHoldsNoWorker) {
    TDriverTurns turns;
    Latch holding(1), release(1);
    std::thread first([&] {
        turns.Lock();
        holding.count_down();
        release.wait();
        turns.Unlock();
    });
    holding.wait();
    EXPECT_FALSE(turns.TryLock());
    release.count_down();
    first.join();
    turns.ForgoTurn();
    auto second = std::async(std::launch::async, [&] {
        turns.Lock();
        turns.Unlock();
    });
    EXPECT_EQ(second.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

}  // namespace
