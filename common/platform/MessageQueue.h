#pragma once
// Per-thread message queues and the hidden windows that receive their messages.
//
// Any thread posts a message to a window; the window's thread dispatches it when it pumps its queue, so the
// window procedure always runs on the thread that created the window. A queue has a descriptor that is
// readable while messages wait, so any event loop can pump it (a socket notifier, a selector, or the blocking
// WaitAndDispatch of a console program).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace tessel {

class WindowCore;

// How a post ended.
enum class PostResult {
    Posted,  // queued
    Full,    // the queue stayed full (no room within the wait, or no wait possible)
    Gone,    // the window is destroyed or its thread has ended
};

// The message queue of one thread. Only the owning thread dispatches; any thread posts (through a window).
// On Windows it is the thread's own system queue and a window is a real hidden window, so every message loop
// of the thread (a host's, a modal dialog's, the system's waits) delivers the messages too.
class MessageQueue {
    struct Key {
        explicit Key() = default;
    };

  public:
    // As many messages as the system's queue holds; a runaway poster cannot grow memory beyond this.
    static constexpr std::size_t kCapacity = 10000;

    // The queue of the calling thread, created on its first use. It stays usable by others holding it after
    // the thread ends, but is then closed: posts to it report Gone and what waited in it is dropped.
    static std::shared_ptr<MessageQueue> ForCurrentThread();

    explicit MessageQueue(Key);
    ~MessageQueue();
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // Readable while at least one message waits; never read or write it. Valid for the queue's life. On
    // Windows -1: the system queue needs no descriptor, every message loop of the thread pumps it.
    int Fd() const;

    // Dispatches, in posting order, every message that waits at the moment of the call; messages posted while
    // it runs wait for the next call. Each message leaves the queue (making room for posters) before its
    // window procedure runs, so a procedure may pump again (a modal loop). Messages of destroyed windows are
    // dropped. Returns how many were delivered. An exception from a procedure propagates; the messages after
    // it stay queued. Throws std::logic_error when called from any thread but the owner. On Windows the
    // system's other messages for the thread's windows are dispatched along the way.
    std::size_t DispatchPending();

    // Waits at most `timeoutMs` until a message waits, then dispatches as DispatchPending does. Returns how
    // many were delivered (0 after the time-out). Throws std::logic_error off the owning thread.
    std::size_t WaitAndDispatch(std::uint32_t timeoutMs);

    // Messages waiting now.
    std::size_t Pending() const;
    bool IsOwnerThread() const { return std::this_thread::get_id() == owner_; }

  private:
    friend class MessageWindow;
    friend class WindowCore;
    struct Impl;  // the platform's

    void RequireOwner(const char* what) const;
    // The owner's thread has ended: posts report Gone from now on and what waits is dropped.
    void Close();
    struct ThreadSlot;  // the thread's hold on its queue (Linux)

  public:
    // Called by the system when a thread that has a queue ends, with the thread's hold on it (Windows).
    static void ThreadEnded(void* slot);

  private:
    const std::thread::id owner_;
    const std::unique_ptr<Impl> impl_;
};

// A hidden window: a target for messages that belongs to the queue of the thread that created it.
class MessageWindow {
  public:
    using Procedure = std::function<void(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam)>;

    // Creates the window on the calling thread's queue; `procedure` runs on this thread when it pumps.
    explicit MessageWindow(Procedure procedure);
    // Destroys the window (see Destroy).
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    // Any thread. Queues a message; false when the queue is full, the window destroyed or its thread ended.
    // `msg` is a private message number, 0x400 (WM_USER) or above: the system reserves those below.
    bool Post(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);

    // Any thread. As Post, but waits at most `timeoutMs` for room in a full queue; the wait ends at once when
    // the window is destroyed (Gone). On the owning thread a full queue gives Full without waiting, since
    // only that thread could make room.
    PostResult PostWait(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                        std::uint32_t timeoutMs);

    // Any thread; idempotent. After it returns the procedure is never called again and waiting messages are
    // dropped. From another thread it first waits for a call of the procedure in progress to end; from within
    // the procedure it takes effect for every later message.
    void Destroy();

    bool IsAlive() const;
    MessageQueue& Queue() const;

  private:
    const std::shared_ptr<WindowCore> core_;
};

}  // namespace tessel
