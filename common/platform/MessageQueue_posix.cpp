// Message queues on Linux: a queue of our own per thread, guarded by a mutex, with an eventfd whose counter
// is 1 while messages wait, so that any event loop can watch it.
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "common/platform/MessageQueue.h"

namespace tessel {

namespace {

// The descriptor that is readable exactly while the flag is raised. Raise and Lower are called under the
// queue's lock, so the flag always matches the queue.
class ReadySignal {
  public:
    ReadySignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (fd_ < 0)
            throw std::system_error(errno, std::generic_category(),
                                    "cannot create the message queue's eventfd");
    }
    ~ReadySignal() { ::close(fd_); }
    ReadySignal(const ReadySignal&) = delete;
    ReadySignal& operator=(const ReadySignal&) = delete;

    int Fd() const { return fd_; }

    // Called only while the counter is 0, so it can never overflow; EINTR is the only failure worth
    // repeating.
    void Raise() {
        const std::uint64_t one = 1;
        while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }

    // Reading resets the counter to 0; EAGAIN means it already was.
    void Lower() {
        std::uint64_t value = 0;
        while (::read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
        }
    }

  private:
    int fd_;
};

}  // namespace

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

struct MessageQueue::Impl {
    struct Queued {
        std::uint64_t seq;
        std::weak_ptr<WindowCore> target;
        std::uint32_t msg;
        std::uintptr_t wParam;
        std::intptr_t lParam;
    };

    PostResult Enqueue(const MessageQueue& queue, const std::shared_ptr<WindowCore>& target,
                       std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam, std::uint32_t waitMs);
    // Marks the window dead, drops its waiting messages and wakes every poster waiting for room.
    void Detach(const std::shared_ptr<WindowCore>& core);
    bool IsAlive(const WindowCore& core) const;
    // The thread has ended: nothing will be dispatched any more.
    void Close();
    // Takes the oldest message if it was posted no later than `lastSeq`.
    bool PopUpTo(std::uint64_t lastSeq, Queued& out);
    bool Deliver(const Queued& message);

    mutable std::mutex mutex;
    std::condition_variable room;     // a poster waits here for room
    std::condition_variable arrived;  // the owner waits here for a message
    std::deque<Queued> messages;
    std::uint64_t nextSeq = 1;
    bool closed = false;
    ReadySignal ready;
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

void MessageQueue::Close() {
    impl_->Close();
}

MessageQueue::MessageQueue(Key) : owner_(std::this_thread::get_id()), impl_(std::make_unique<Impl>()) {}

MessageQueue::~MessageQueue() = default;

int MessageQueue::Fd() const {
    return impl_->ready.Fd();
}

std::size_t MessageQueue::Pending() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->messages.size();
}

void MessageQueue::RequireOwner(const char* what) const {
    if (!IsOwnerThread()) {
        throw std::logic_error(std::string("MessageQueue::") + what + " called off the queue's own thread");
    }
}

PostResult MessageQueue::Impl::Enqueue(const MessageQueue& queue, const std::shared_ptr<WindowCore>& target,
                                       std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                                       std::uint32_t waitMs) {
    std::unique_lock lock(mutex);
    const auto canPost = [&] { return !target->alive || closed || messages.size() < kCapacity; };
    // The owner cannot wait for room: only its own pumping would make any.
    if (!canPost() && waitMs > 0 && !queue.IsOwnerThread()) {
        room.wait_for(lock, std::chrono::milliseconds(waitMs), canPost);
    }
    if (!target->alive || closed) return PostResult::Gone;
    if (messages.size() >= kCapacity) return PostResult::Full;
    if (messages.empty()) ready.Raise();
    messages.push_back(Queued{nextSeq++, target, msg, wParam, lParam});
    lock.unlock();
    arrived.notify_all();
    return PostResult::Posted;
}

void MessageQueue::Impl::Detach(const std::shared_ptr<WindowCore>& core) {
    {
        std::lock_guard lock(mutex);
        core->alive = false;
        // Compared by owner, not by locking: a lock here could end another window's life under our mutex.
        std::erase_if(messages, [&](const Queued& m) {
            return m.target.expired() || (!m.target.owner_before(core) && !core.owner_before(m.target));
        });
        if (messages.empty()) ready.Lower();
    }
    room.notify_all();
}

bool MessageQueue::Impl::IsAlive(const WindowCore& core) const {
    std::lock_guard lock(mutex);
    return core.alive && !closed;
}

void MessageQueue::Impl::Close() {
    {
        std::lock_guard lock(mutex);
        closed = true;
        messages.clear();
        ready.Lower();
    }
    room.notify_all();
    arrived.notify_all();
}

bool MessageQueue::Impl::PopUpTo(std::uint64_t lastSeq, Queued& out) {
    bool wasFull = false;
    {
        std::lock_guard lock(mutex);
        if (messages.empty() || messages.front().seq > lastSeq) return false;
        wasFull = messages.size() >= kCapacity;
        out = std::move(messages.front());
        messages.pop_front();
        if (messages.empty()) ready.Lower();
    }
    // Posters wait only while the queue is full.
    if (wasFull) room.notify_all();
    return true;
}

bool MessageQueue::Impl::Deliver(const Queued& message) {
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
        std::lock_guard lock(impl_->mutex);
        lastSeq = impl_->nextSeq - 1;
    }
    std::size_t delivered = 0;
    Impl::Queued message{};
    while (impl_->PopUpTo(lastSeq, message)) {
        if (impl_->Deliver(message)) ++delivered;
    }
    return delivered;
}

std::size_t MessageQueue::WaitAndDispatch(std::uint32_t timeoutMs) {
    RequireOwner("WaitAndDispatch");
    {
        std::unique_lock lock(impl_->mutex);
        impl_->arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this] { return !impl_->messages.empty(); });
    }
    return DispatchPending();
}

MessageWindow::MessageWindow(Procedure procedure)
    : core_(std::make_shared<WindowCore>(MessageQueue::ForCurrentThread(), std::move(procedure))) {}

MessageWindow::~MessageWindow() {
    Destroy();
}

bool MessageWindow::Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
    return PostWait(msg, wParam, lParam, 0) == PostResult::Posted;
}

PostResult MessageWindow::PostWait(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                                   std::uint32_t timeoutMs) {
    return core_->queue->impl_->Enqueue(*core_->queue, core_, msg, wParam, lParam, timeoutMs);
}

void MessageWindow::Destroy() {
    std::lock_guard call(core_->callMutex);
    core_->queue->impl_->Detach(core_);
}

bool MessageWindow::IsAlive() const {
    return core_->queue->impl_->IsAlive(*core_);
}

MessageQueue& MessageWindow::Queue() const {
    return *core_->queue;
}

}  // namespace tessel
