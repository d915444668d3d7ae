#pragma once
// The engine's hidden command window: carries the number of a received command from a port thread to the
// thread that created the engine, where the engine pre-processes and announces it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "common/platform/MessageQueue.h"

// WM_USER + 100: wParam is the command number, lParam 0.
constexpr std::uint32_t kCommandMessage = 1124;

class TCmdWnd {
  public:
    using TCommandEvent = std::function<void(TCmdWnd& sender)>;

    // How long a post waits for room in a full queue before the announcement is given up.
    static constexpr std::uint32_t kDefaultPostWaitMs = 5000;

    // Creates the window on the calling thread; commands are delivered when that thread pumps its queue
    // (tessel::MessageQueue::ForCurrentThread()). Throws std::system_error when the queue cannot be created.
    explicit TCmdWnd(TCommandEvent onCommand = {}, std::uint32_t postWaitMs = kDefaultPostWaitMs);
    // Destroys the window (see Close).
    ~TCmdWnd();
    TCmdWnd(const TCmdWnd&) = delete;
    TCmdWnd& operator=(const TCmdWnd&) = delete;

    // Any thread. Queues the command number for delivery. While the queue is full it waits, without
    // spinning, for the owner to make room, at most the post wait. Returns false (the number is dropped)
    // when the window is closed (at once, also for a post already waiting), when the wait runs out, or when
    // called on the owning thread with a full queue: that thread cannot wait for its own pumping.
    bool Post(std::uint32_t number);

    // Any thread; idempotent. Destroys the window: queued numbers are dropped, posts waiting for room return
    // false at once and later posts fail. The engine calls it before it stops its port threads, so that none
    // of them stays blocked in Post.
    void Close();

    // The number last delivered through the window (0 before the first).
    std::uint32_t LastCommand() const { return lastCommand_.load(); }
    const TCommandEvent& OnCommand() const { return onCommand_; }
    // Owning thread only (the handler is called there).
    void SetOnCommand(TCommandEvent handler) { onCommand_ = std::move(handler); }

  private:
    void WindowProc(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);

    std::unique_ptr<tessel::MessageWindow> window_;
    std::atomic<std::uint32_t> lastCommand_{0};
    TCommandEvent onCommand_;
    const std::uint32_t postWaitMs_;
};
