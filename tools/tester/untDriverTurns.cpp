#include "tools/tester/untDriverTurns.h"

#include <stdexcept>

namespace tessel::tst {

void TDriverTurns::Lock() {
    const auto me = std::this_thread::get_id();
    if (me == window_) throw std::logic_error("the window's thread never waits for the driver");
    std::unique_lock lock(mutex_);
    if (owner_ == me) {
        ++depth_;
        return;
    }
    // Bounded by the call of the thread that has it: the window's turn is a few exchanges at most.
    free_.wait(lock, [this] { return depth_ == 0 && !windowWaits_; });
    owner_ = me;
    depth_ = 1;
}

bool TDriverTurns::TryLock(bool wantTurn) {
    const auto me = std::this_thread::get_id();
    std::lock_guard lock(mutex_);
    if (owner_ == me) {
        ++depth_;
        return true;
    }
    const bool window = me == window_;
    if (depth_ == 0 && (window || !windowWaits_)) {
        owner_ = me;
        depth_ = 1;
        if (window) windowWaits_ = false;
        return true;
    }
    if (window && wantTurn) windowWaits_ = true;
    return false;
}

void TDriverTurns::Unlock() {
    std::function<void()> tell;
    {
        std::lock_guard lock(mutex_);
        if (owner_ != std::this_thread::get_id() || depth_ == 0)
            throw std::logic_error("the driver is let go by a thread that does not have it");
        if (--depth_ > 0) return;
        owner_ = {};
        if (windowWaits_ && !OnWindowThread()) tell = onReleased_;
    }
    free_.notify_all();
    if (tell) tell();
}

void TDriverTurns::ForgoTurn() {
    {
        std::lock_guard lock(mutex_);
        windowWaits_ = false;
    }
    free_.notify_all();
}

bool TDriverTurns::WindowWaits() const {
    std::lock_guard lock(mutex_);
    return windowWaits_;
}

void TDriverTurns::SetOnReleased(std::function<void()> onReleased) {
    std::lock_guard lock(mutex_);
    onReleased_ = std::move(onReleased);
}

}  // namespace tessel::tst
