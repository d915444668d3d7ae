#pragma once
// The engine's operation lock: operations run one at a time, whichever thread calls them. A recursive mutex
// that also says when it is free again, so that work which must not wait for it (the delivery of received
// commands on the thread that pumps the window) can be put aside and taken up once the holder lets go.

#include <functional>
#include <mutex>
#include <utility>

class TOperationLock {
  public:
    // Called on the releasing thread, outside the lock, each time the lock becomes free.
    void SetOnReleased(std::function<void()> onReleased) { onReleased_ = std::move(onReleased); }

    void lock() {
        mutex_.lock();
        ++depth_;
    }
    bool try_lock() {
        if (!mutex_.try_lock()) return false;
        ++depth_;
        return true;
    }
    void unlock() {
        // depth_ changes only under the mutex, on the thread that holds it.
        const bool last = --depth_ == 0;
        mutex_.unlock();
        if (last && onReleased_) onReleased_();
    }

  private:
    std::recursive_mutex mutex_;
    int depth_ = 0;
    std::function<void()> onReleased_;
};
