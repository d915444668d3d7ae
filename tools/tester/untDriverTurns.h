#pragma once
// Who has the test program's driver object: one thread at a time, each as long as it needs (a worker holds
// it for the calls that belong together, such as RegisterNumber and GetRestReg). The window's thread never
// waits for it: it asks without waiting, and when a worker has it, the window is served next: the worker's
// release says so (OnReleased), and no worker takes the driver again before the window has had it.
//
// Safe to use from any thread. The window's thread is the one that made the object.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tessel::tst {

class TDriverTurns {
  public:
    TDriverTurns() : window_(std::this_thread::get_id()) {}
    TDriverTurns(const TDriverTurns&) = delete;
    TDriverTurns& operator=(const TDriverTurns&) = delete;

    bool OnWindowThread() const { return std::this_thread::get_id() == window_; }

    // A worker: waits until no other thread has the driver and the window is not waiting for it; a thread
    // that has it takes it again at once. Not for the window's thread, which never waits (use TryLock).
    void Lock();
    // Never waits: true when the calling thread has the driver now (a thread that has it takes it again).
    // When the window's thread is refused and `wantTurn`, the window waits for its turn (see OnReleased)
    // until it takes the driver or forgoes its turn.
    bool TryLock(bool wantTurn = true);
    // Each Lock or successful TryLock is undone once. The last release by a worker while the window waits
    // calls OnReleased on the worker's thread.
    void Unlock();
    // The window no longer waits for its turn (it will not take it, as when it closes).
    void ForgoTurn();
    // Whether the window waits for its turn.
    bool WindowWaits() const;
    // Called on a worker's thread when it let the driver go while the window waits for it; it must not
    // take the driver itself, only hand the news to the window's thread.
    void SetOnReleased(std::function<void()> onReleased);

  private:
    const std::thread::id window_;
    mutable std::mutex mutex_;
    std::condition_variable free_;
    std::thread::id owner_;
    int depth_ = 0;
    bool windowWaits_ = false;
    std::function<void()> onReleased_;
};

}  // namespace tessel::tst
