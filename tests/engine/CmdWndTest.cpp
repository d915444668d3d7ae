#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "common/platform/MessageQueue.h"
#include "driver/engine/untCmdWnd.h"
#include "support/Latch.h"

using tessel::MessageQueue;
using Clock = std::chrono::steady_clock;

namespace {

long ElapsedMs(Clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

MessageQueue& Own() {
    return *MessageQueue::ForCurrentThread();
}

}  // namespace

TEST(CmdWnd, BurstFromAPortThreadIsAnnouncedInOrderOnTheOwningThread) {
    // Handler calls run on this thread only, so the vector needs no lock.
    std::vector<std::uint32_t> seen;
    bool offThread = false;
    const auto self = std::this_thread::get_id();
    TCmdWnd wnd([&](TCmdWnd& sender) {
        seen.push_back(sender.LastCommand());
        offThread |= std::this_thread::get_id() != self;
    });
    constexpr std::uint32_t kBurst = 1000;
    std::jthread port([&] {
        for (std::uint32_t i = 1; i <= kBurst; ++i) ASSERT_TRUE(wnd.Post(i));
        ASSERT_TRUE(wnd.Post(0xFFFFFFFFu)) << "the whole 32-bit number travels";
    });
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (seen.size() < kBurst + 1 && Clock::now() < deadline) Own().WaitAndDispatch(200);
    ASSERT_EQ(seen.size(), kBurst + 1);
    for (std::uint32_t i = 0; i < kBurst; ++i) ASSERT_EQ(seen[i], i + 1);
    EXPECT_EQ(wnd.LastCommand(), 0xFFFFFFFFu);
    EXPECT_FALSE(offThread);
}

TEST(CmdWnd, WithoutAHandlerTheNumberIsStillKept) {
    TCmdWnd wnd;
    std::thread([&] { EXPECT_TRUE(wnd.Post(42)); }).join();
    EXPECT_EQ(wnd.LastCommand(), 0u) << "not before the owner pumps";
    EXPECT_EQ(Own().DispatchPending(), 1u);
    EXPECT_EQ(wnd.LastCommand(), 42u);
}

// A port thread posting into a full queue: what the owner does decides how the post ends; it never spins
// and never hangs.
enum class Owner { Pumps, Closes, DoesNothing };

struct FullQueueCase {
    const char* name;
    Owner owner;
    std::uint32_t postWaitMs;
    bool posted;
    long minMs;          // the post waited at least this long
    std::uint32_t last;  // LastCommand once the queue is drained
};

class CmdWndFullQueue : public ::testing::TestWithParam<FullQueueCase> {};

TEST_P(CmdWndFullQueue, PortThreadPost) {
    const auto& c = GetParam();
    TCmdWnd wnd({}, c.postWaitMs);
    for (std::size_t i = 0; i < MessageQueue::kCapacity; ++i) ASSERT_TRUE(wnd.Post(1));
    // The owner cannot wait for its own pumping: a refusal at once instead of a deadlock.
    auto start = Clock::now();
    EXPECT_FALSE(wnd.Post(2));
    EXPECT_LT(ElapsedMs(start), 1000);

    tessel_test::Latch started(1);
    auto port = std::async(std::launch::async, [&] {
        started.count_down();
        const auto begin = Clock::now();
        const bool ok = wnd.Post(12345);
        return std::make_pair(ok, ElapsedMs(begin));
    });
    started.wait();
    EXPECT_EQ(port.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
    if (c.owner == Owner::Pumps) Own().DispatchPending();
    if (c.owner == Owner::Closes) wnd.Close();
    const auto [ok, waitedMs] = port.get();
    EXPECT_EQ(ok, c.posted);
    EXPECT_GE(waitedMs, c.minMs);
    EXPECT_LT(waitedMs, 10000);
    Own().DispatchPending();
    EXPECT_EQ(wnd.LastCommand(), c.last);
}

INSTANTIATE_TEST_SUITE_P(CmdWnd, CmdWndFullQueue,
                         ::testing::Values(FullQueueCase{"OwnerPumps", Owner::Pumps, 20000, true, 0, 12345},
                                           FullQueueCase{"WindowClosed", Owner::Closes, 20000, false, 0, 0},
                                           FullQueueCase{"WaitRunsOut", Owner::DoesNothing, 150, false, 140,
                                                         1}),
                         [](const auto& info) { return std::string(info.param.name); });
