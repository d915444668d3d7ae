#include "common/platform/SyncObjects.h"

#include <chrono>

namespace tessel {

void ManualResetEvent::Set() {
    {
        std::lock_guard lock(mutex_);
        signaled_ = true;
    }
    cv_.notify_all();
}

void ManualResetEvent::Reset() {
    std::lock_guard lock(mutex_);
    signaled_ = false;
}

bool ManualResetEvent::IsSet() const {
    std::lock_guard lock(mutex_);
    return signaled_;
}

WaitResult ManualResetEvent::WaitFor(std::uint32_t timeoutMs) const {
    std::unique_lock lock(mutex_);
    const bool ok = cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return signaled_; });
    return ok ? WaitResult::Signaled : WaitResult::Timeout;
}

WaitResult ManualResetEvent::WaitUntil(std::chrono::steady_clock::time_point deadline) const {
    std::unique_lock lock(mutex_);
    const bool ok = cv_.wait_until(lock, deadline, [this] { return signaled_; });
    return ok ? WaitResult::Signaled : WaitResult::Timeout;
}

}  // namespace tessel
