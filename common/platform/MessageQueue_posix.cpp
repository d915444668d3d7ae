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
#include "common/platform/MessageQueueBook.h"

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

class WindowCore : public WindowCoreBase {
  public:
    using WindowCoreBase::WindowCoreBase;
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

    QueueBook book;
    std::condition_variable arrived;  // the owner waits here for a message
    std::deque<Queued> messages;
    std::uint64_t nextSeq = 1;
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
    std::lock_guard lock(impl_->book.mutex);
    return impl_->messages.size();
}

PostResult MessageQueue::Impl::Enqueue(const MessageQueue& queue, const std::shared_ptr<WindowCore>& target,
                                       std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                                       std::uint32_t waitMs) {
    std::unique_lock lock(book.mutex);
    const PostResult room =
        book.MakeRoom(lock, *target, queue.IsOwnerThread(), waitMs, [this] { return messages.size(); });
    if (room != PostResult::Posted) return room;
    if (messages.empty()) ready.Raise();
    messages.push_back(Queued{nextSeq++, target, msg, wParam, lParam});
    lock.unlock();
    arrived.notify_all();
    return PostResult::Posted;
}

void MessageQueue::Impl::Detach(const std::shared_ptr<WindowCore>& core) {
    {
        std::lock_guard lock(book.mutex);
        core->alive = false;
        // Compared by owner, not by locking: a lock here could end another window's life under our mutex.
        std::erase_if(messages, [&](const Queued& m) {
            return m.target.expired() || (!m.target.owner_before(core) && !core.owner_before(m.target));
        });
        if (messages.empty()) ready.Lower();
    }
    book.room.notify_all();
}

bool MessageQueue::Impl::IsAlive(const WindowCore& core) const {
    std::lock_guard lock(book.mutex);
    return core.alive && !book.closed;
}

void MessageQueue::Impl::Close() {
    {
        std::lock_guard lock(book.mutex);
        book.closed = true;
        messages.clear();
        ready.Lower();
    }
    book.room.notify_all();
    arrived.notify_all();
}

bool MessageQueue::Impl::PopUpTo(std::uint64_t lastSeq, Queued& out) {
    bool wasFull = false;
    {
        std::lock_guard lock(book.mutex);
        if (messages.empty() || messages.front().seq > lastSeq) return false;
        wasFull = messages.size() >= kCapacity;
        out = std::move(messages.front());
        messages.pop_front();
        if (messages.empty()) ready.Lower();
    }
    // Posters wait only while the queue is full.
    if (wasFull) book.room.notify_all();
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
        std::lock_guard lock(impl_->book.mutex);
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
        std::unique_lock lock(impl_->book.mutex);
        impl_->arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this] { return !impl_->messages.empty(); });
    }
    return DispatchPending();
}

MessageWindow::MessageWindow(Procedure procedure)
    : core_(std::make_shared<WindowCore>(MessageQueue::ForCurrentThread(), std::move(procedure))) {}

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
