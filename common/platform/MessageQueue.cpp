#include "common/platform/MessageQueue.h"

#include <chrono>
#include <stdexcept>
#include <string>
#include <utility>

namespace tessel {

// What a queued message points at: outlives the MessageWindow while a dispatch is calling into it.
class WindowCore {
  public:
    WindowCore(std::shared_ptr<MessageQueue> queue, MessageWindow::Procedure procedure)
        : queue(std::move(queue)), procedure(std::move(procedure)) {}

    const std::shared_ptr<MessageQueue> queue;
    const MessageWindow::Procedure procedure;
    // Held while the procedure runs, so that a destroyer on another thread waits for the call to end;
    // recursive because the procedure may pump again or destroy its own window.
    std::recursive_mutex callMutex;
    bool alive = true;  // guarded by the queue's mutex
};

// Closes the thread's queue when the thread ends, so that posters stop waiting for a pump that never comes.
struct MessageQueue::ThreadSlot {
    std::shared_ptr<MessageQueue> queue;
    ThreadSlot() = default;
    ThreadSlot(const ThreadSlot&) = delete;
    ThreadSlot& operator=(const ThreadSlot&) = delete;
    ~ThreadSlot() {
        if (queue) queue->Close();
    }
};

std::shared_ptr<MessageQueue> MessageQueue::ForCurrentThread() {
    thread_local ThreadSlot slot;
    if (!slot.queue) slot.queue = std::make_shared<MessageQueue>(Key{});
    return slot.queue;
}

MessageQueue::MessageQueue(Key) : owner_(std::this_thread::get_id()) {}

MessageQueue::~MessageQueue() = default;

std::size_t MessageQueue::Pending() const {
    std::lock_guard lock(mutex_);
    return messages_.size();
}

void MessageQueue::RequireOwner(const char* what) const {
    if (!IsOwnerThread()) {
        throw std::logic_error(std::string("MessageQueue::") + what + " called off the queue's own thread");
    }
}

PostResult MessageQueue::Enqueue(const std::shared_ptr<WindowCore>& target, std::uint32_t msg,
                                 std::uintptr_t wParam, std::intptr_t lParam, std::uint32_t waitMs) {
    std::unique_lock lock(mutex_);
    const auto canPost = [&] { return !target->alive || closed_ || messages_.size() < kCapacity; };
    // The owner cannot wait for room: only its own pumping would make any.
    if (!canPost() && waitMs > 0 && !IsOwnerThread()) {
        room_.wait_for(lock, std::chrono::milliseconds(waitMs), canPost);
    }
    if (!target->alive || closed_) return PostResult::Gone;
    if (messages_.size() >= kCapacity) return PostResult::Full;
    if (messages_.empty()) ready_.Raise();
    messages_.push_back(Queued{nextSeq_++, target, msg, wParam, lParam});
    lock.unlock();
    arrived_.notify_all();
    return PostResult::Posted;
}

void MessageQueue::Detach(const std::shared_ptr<WindowCore>& core) {
    {
        std::lock_guard lock(mutex_);
        core->alive = false;
        // Compared by owner, not by locking: a lock here could end another window's life under our mutex.
        std::erase_if(messages_, [&](const Queued& m) {
            return m.target.expired() || (!m.target.owner_before(core) && !core.owner_before(m.target));
        });
        if (messages_.empty()) ready_.Lower();
    }
    room_.notify_all();
}

bool MessageQueue::IsAlive(const WindowCore& core) const {
    std::lock_guard lock(mutex_);
    return core.alive && !closed_;
}

void MessageQueue::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        messages_.clear();
        ready_.Lower();
    }
    room_.notify_all();
    arrived_.notify_all();
}

bool MessageQueue::PopUpTo(std::uint64_t lastSeq, Queued& out) {
    bool wasFull = false;
    {
        std::lock_guard lock(mutex_);
        if (messages_.empty() || messages_.front().seq > lastSeq) return false;
        wasFull = messages_.size() >= kCapacity;
        out = std::move(messages_.front());
        messages_.pop_front();
        if (messages_.empty()) ready_.Lower();
    }
    // Posters wait only while the queue is full.
    if (wasFull) room_.notify_all();
    return true;
}

bool MessageQueue::Deliver(const Queued& message) {
    const auto core = message.target.lock();
    if (!core) return false;
    std::lock_guard call(core->callMutex);
    if (!IsAlive(*core)) return false;
    core->procedure(message.msg, message.wParam, message.lParam);
    return true;
}

std::size_t MessageQueue::DispatchPending() {
    RequireOwner("DispatchPending");
    std::uint64_t lastSeq = 0;
    {
        std::lock_guard lock(mutex_);
        lastSeq = nextSeq_ - 1;
    }
    std::size_t delivered = 0;
    Queued message{};
    while (PopUpTo(lastSeq, message)) {
        if (Deliver(message)) ++delivered;
    }
    return delivered;
}

std::size_t MessageQueue::WaitAndDispatch(std::uint32_t timeoutMs) {
    RequireOwner("WaitAndDispatch");
    {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !messages_.empty(); });
    }
    return DispatchPending();
}

MessageWindow::MessageWindow(Procedure procedure)
    : core_(std::make_shared<WindowCore>(MessageQueue::ForCurrentThread(), std::move(procedure))) {}

MessageWindow::~MessageWindow() {
    Destroy();
}

bool MessageWindow::Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
    return core_->queue->Enqueue(core_, msg, wParam, lParam, 0) == PostResult::Posted;
}

PostResult MessageWindow::PostWait(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                                   std::uint32_t timeoutMs) {
    return core_->queue->Enqueue(core_, msg, wParam, lParam, timeoutMs);
}

void MessageWindow::Destroy() {
    std::lock_guard call(core_->callMutex);
    core_->queue->Detach(core_);
}

bool MessageWindow::IsAlive() const {
    return core_->queue->IsAlive(*core_);
}

MessageQueue& MessageWindow::Queue() const {
    return *core_->queue;
}

}  // namespace tessel
