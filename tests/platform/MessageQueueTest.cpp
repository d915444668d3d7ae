#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "common/platform/MessageQueue.h"
#include "support/Latch.h"

using tessel::MessageQueue;
using tessel::MessageWindow;
using tessel::PostResult;
using Clock = std::chrono::steady_clock;

namespace {

// Every call of a window procedure: wParam and the thread it ran on.
struct Recorder {
    std::mutex mutex;
    std::vector<std::pair<std::uintptr_t, std::thread::id>> calls;

    MessageWindow::Procedure Proc() {
        return [this](std::uint32_t, std::uintptr_t w, std::intptr_t) {
            std::lock_guard lock(mutex);
            calls.emplace_back(w, std::this_thread::get_id());
        };
    }
};

// Private message numbers start at WM_USER: the system keeps those below for itself.
constexpr std::uint32_t kMessage = 0x400;

long ElapsedMs(Clock::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

MessageQueue& Own() {
    return *MessageQueue::ForCurrentThread();
}

}  // namespace

TEST(MessageQueue, PostsFromAnotherThreadWaitForThePumpAndKeepTheirOrder) {
    Recorder rec;
    MessageWindow w(rec.Proc());
    std::thread([&] {
        for (std::uintptr_t i = 0; i < 100; ++i) ASSERT_TRUE(w.Post(kMessage + 1, i, 0));
    }).join();
    EXPECT_TRUE(rec.calls.empty()) << "nothing runs before the owner pumps";
    EXPECT_EQ(Own().DispatchPending(), 100u);
    ASSERT_EQ(rec.calls.size(), 100u);
    for (std::uintptr_t i = 0; i < 100; ++i) {
        EXPECT_EQ(rec.calls[i].first, i);
        EXPECT_EQ(rec.calls[i].second, std::this_thread::get_id());
    }
}

TEST(MessageQueue, PendingCountsWhatWaitsForThisPump) {
    EXPECT_EQ(Own().Pending(), 0u);
    // The first call posts a follow-up, which waits for the next pump.
    std::unique_ptr<MessageWindow> w;
    w = std::make_unique<MessageWindow>([&](std::uint32_t msg, std::uintptr_t, std::intptr_t) {
        if (msg == kMessage + 1) w->Post(kMessage + 2, 0, 0);
    });
    ASSERT_TRUE(w->Post(kMessage + 1, 0, 0));
    EXPECT_EQ(Own().Pending(), 1u);
    EXPECT_EQ(Own().DispatchPending(), 1u);
    EXPECT_EQ(Own().Pending(), 1u);
    EXPECT_EQ(Own().DispatchPending(), 1u);
    EXPECT_EQ(Own().Pending(), 0u);
    // A destroyed window takes its waiting messages with it.
    ASSERT_TRUE(w->Post(kMessage + 3, 0, 0));
    w->Destroy();
    EXPECT_EQ(Own().Pending(), 0u);
    EXPECT_EQ(Own().DispatchPending(), 0u);
}

TEST(MessageQueue, WaitAndDispatchHonoursItsTimeOutAndWakesOnAPost) {
    Recorder rec;
    MessageWindow w(rec.Proc());
    auto start = Clock::now();
    EXPECT_EQ(Own().WaitAndDispatch(60), 0u);
    EXPECT_GE(ElapsedMs(start), 55);
    tessel_test::Latch go(1);
    std::jthread poster([&] {
        go.wait();
        w.Post(kMessage + 5, 0, 0);
    });
    start = Clock::now();
    go.count_down();
    EXPECT_EQ(Own().WaitAndDispatch(20000), 1u);
    EXPECT_LT(ElapsedMs(start), 10000);
}

// A poster meets a full queue; what happens next on the owner's side decides how its post ends, promptly.
enum class Then { OwnerPumps, OwnerDestroys, OtherThreadDestroys };

class FullQueue : public ::testing::TestWithParam<Then> {};

TEST_P(FullQueue, PosterWaitsUntilRoomOrTheWindowGoes) {
    Recorder rec;
    MessageWindow w(rec.Proc());
    for (std::size_t i = 0; i < MessageQueue::kCapacity; ++i) ASSERT_TRUE(w.Post(kMessage + 1, 0, 0));
    EXPECT_FALSE(w.Post(kMessage + 1, 0, 0));
    // The owner cannot wait for its own pumping.
    EXPECT_EQ(w.PostWait(kMessage + 1, 0, 0, 20000), PostResult::Full);

    tessel_test::Latch started(1);
    auto poster = std::async(std::launch::async, [&] {
        started.count_down();
        return w.PostWait(kMessage + 1, 777, 0, 20000);
    });
    started.wait();
    EXPECT_EQ(poster.wait_for(std::chrono::milliseconds(30)), std::future_status::timeout);
    switch (GetParam()) {
        case Then::OwnerPumps:
            EXPECT_EQ(Own().DispatchPending(), MessageQueue::kCapacity);
            break;
        case Then::OwnerDestroys:
            w.Destroy();
            break;
        case Then::OtherThreadDestroys:
            std::thread([&] { w.Destroy(); }).join();
            break;
    }
    // The poster is woken by the room or the window's end, not by its own time-out; the pumping itself is not
    // timed (10 000 messages took 10 s under Wine on a loaded machine).
    const auto start = Clock::now();
    const bool pumped = GetParam() == Then::OwnerPumps;
    EXPECT_EQ(poster.get(), pumped ? PostResult::Posted : PostResult::Gone);
    EXPECT_LT(ElapsedMs(start), 10000);
    EXPECT_EQ(Own().DispatchPending(), pumped ? 1u : 0u);
    EXPECT_EQ(rec.calls.size(), pumped ? MessageQueue::kCapacity + 1 : 0u);
}

INSTANTIATE_TEST_SUITE_P(MessageQueue, FullQueue,
                         ::testing::Values(Then::OwnerPumps, Then::OwnerDestroys, Then::OtherThreadDestroys));

TEST(MessageQueue, MessagesOfADestroyedWindowAreNotDispatched) {
    Recorder a, b;
    MessageWindow wa(a.Proc()), wb(b.Proc());
    // This one destroys itself at its first message.
    int selfCalls = 0;
    std::unique_ptr<MessageWindow> self;
    self = std::make_unique<MessageWindow>([&](std::uint32_t, std::uintptr_t, std::intptr_t) {
        ++selfCalls;
        self->Destroy();
    });
    for (std::uintptr_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(wa.Post(kMessage + 1, i, 0) && self->Post(kMessage + 1, i, 0) &&
                    wb.Post(kMessage + 1, i, 0));
    }
    wa.Destroy();
    EXPECT_EQ(Own().DispatchPending(), 4u);
    EXPECT_TRUE(a.calls.empty());
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(b.calls.size(), 3u);
}

TEST(MessageQueue, QueuesOfTwoThreadsAreIndependent) {
    Recorder mine, theirs;
    MessageWindow local(mine.Proc());
    std::promise<MessageWindow*> remote;
    tessel_test::Latch posted(1);
    std::size_t waitingThere = 0, deliveredThere = 0;
    std::thread owner([&] {
        MessageWindow w(theirs.Proc());
        EXPECT_NE(&Own(), &local.Queue());
        remote.set_value(&w);
        posted.wait();
        waitingThere = Own().Pending();
        deliveredThere = Own().WaitAndDispatch(20000);
    });
    ASSERT_TRUE(remote.get_future().get()->Post(kMessage + 1, 99, 0));
    ASSERT_TRUE(local.Post(kMessage + 1, 88, 0));
    EXPECT_EQ(Own().DispatchPending(), 1u);
    posted.count_down();
    owner.join();
    EXPECT_EQ(waitingThere, 1u);
    EXPECT_EQ(deliveredThere, 1u);
    ASSERT_EQ(mine.calls.size(), 1u);
    EXPECT_EQ(mine.calls[0].first, 88u);
    ASSERT_EQ(theirs.calls.size(), 1u);
    EXPECT_NE(theirs.calls[0].second, std::this_thread::get_id());
}

TEST(MessageQueue, OtherThreadsCannotPumpAndAnEndedThreadTakesNoPosts) {
    Recorder rec;
    std::unique_ptr<MessageWindow> w;
    std::thread owner([&] {
        w = std::make_unique<MessageWindow>(rec.Proc());
        ASSERT_TRUE(w->Post(kMessage + 1, 0, 0));
    });
    owner.join();
    EXPECT_THROW(w->Queue().DispatchPending(), std::logic_error);
    EXPECT_THROW(w->Queue().WaitAndDispatch(10), std::logic_error);
    EXPECT_EQ(w->Queue().Pending(), 0u) << "what waited is dropped with the thread";
    EXPECT_EQ(w->PostWait(kMessage + 1, 0, 0, 20000), PostResult::Gone);
    EXPECT_FALSE(w->IsAlive());
}
