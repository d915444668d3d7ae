// On Linux a queue's descriptor is readable exactly while messages wait, so any event loop can watch it.
#include <gtest/gtest.h>
#include <poll.h>

#include <memory>

#include "common/platform/MessageQueue.h"

namespace {

bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

constexpr std::uint32_t kMessage = 0x400;

}  // namespace

TEST(MessageQueueFd, ReadableExactlyWhileMessagesWait) {
    tessel::MessageQueue& queue = *tessel::MessageQueue::ForCurrentThread();
    const int fd = queue.Fd();
    EXPECT_FALSE(Readable(fd));
    std::unique_ptr<tessel::MessageWindow> w;
    w = std::make_unique<tessel::MessageWindow>([&](std::uint32_t msg, std::uintptr_t, std::intptr_t) {
        if (msg == kMessage + 1) w->Post(kMessage + 2, 0, 0);
    });
    ASSERT_TRUE(w->Post(kMessage + 1, 0, 0));
    EXPECT_TRUE(Readable(fd));
    queue.DispatchPending();
    EXPECT_TRUE(Readable(fd)) << "the follow-up waits";
    queue.DispatchPending();
    EXPECT_FALSE(Readable(fd));
    ASSERT_TRUE(w->Post(kMessage + 3, 0, 0));
    w->Destroy();
    EXPECT_FALSE(Readable(fd));
}
