#pragma once
// Sync objects standing in for the system's: a re-entrant critical section and a manual-reset event.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tessel {

// Re-entrant like a system critical section: the owning thread may enter it again.
// Satisfies Lockable, so std::lock_guard and std::unique_lock work with it.
class CriticalSection {
  public:
    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool try_lock() { return mutex_.try_lock(); }

  private:
    std::recursive_mutex mutex_;
};

enum class WaitResult { Signaled, Timeout, Abandoned, Error };

// Manual-reset event: stays signalled until reset; every waiter wakes.
class ManualResetEvent {
  public:
    explicit ManualResetEvent(bool initiallySignaled = false) : signaled_(initiallySignaled) {}
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // Waits at most `timeoutMs` milliseconds; returns Signaled or Timeout.
    WaitResult WaitFor(std::uint32_t timeoutMs) const;
    // Waits until `deadline` at most, to the clock's precision; returns Signaled or Timeout.
    WaitResult WaitUntil(std::chrono::steady_clock::time_point deadline) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    bool signaled_;
};

}  // namespace tessel
