#pragma once
// What both message-queue backends keep alike: the shared part of a window's core, and a queue's lock,
// closed state and the room its posters wait for. Backends only; users include MessageQueue.h.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

#include "common/platform/MessageQueue.h"

namespace tessel {

// What a queued message points at: outlives the MessageWindow while a dispatch is calling into it. Each
// backend's WindowCore adds what its system needs.
struct WindowCoreBase {
    WindowCoreBase(std::shared_ptr<MessageQueue> queue, MessageWindow::Procedure procedure)
        : queue(std::move(queue)), procedure(std::move(procedure)) {}

    const std::shared_ptr<MessageQueue> queue;
    const MessageWindow::Procedure procedure;
    // Held while the procedure runs, so that a destroyer on another thread waits for the call to end;
    // recursive because the procedure may pump again or destroy its own window.
    std::recursive_mutex callMutex;
    bool alive = true;  // guarded by the queue's mutex
};

// A queue's lock, whether its thread has ended, and the wait of a poster for room. The backend counts its
// messages under the lock.
struct QueueBook {
    mutable std::mutex mutex;
    std::condition_variable room;  // a poster waits here for room
    bool closed = false;

    // Under `lock`: whether a message for `core` may be queued, `waiting()` telling how many wait. Off the
    // owner's thread, a full queue is waited on for at most `waitMs`; the owner cannot wait, since only its
    // own pumping would make room. Gone when the window or the queue has gone, Full when there is still no
    // room, Posted when the message may be queued.
    template <class Waiting>
    PostResult MakeRoom(std::unique_lock<std::mutex>& lock, const WindowCoreBase& core, bool ownerThread,
                        std::uint32_t waitMs, Waiting waiting) {
        const auto canPost = [&] { return !core.alive || closed || waiting() < MessageQueue::kCapacity; };
        if (!canPost() && waitMs > 0 && !ownerThread) {
            room.wait_for(lock, std::chrono::milliseconds(waitMs), canPost);
        }
        if (!core.alive || closed) return PostResult::Gone;
        if (waiting() >= MessageQueue::kCapacity) return PostResult::Full;
        return PostResult::Posted;
    }
};

}  // namespace tessel
