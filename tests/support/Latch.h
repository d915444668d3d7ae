#pragma once
// A single-use count that threads wait on, as std::latch, but over a mutex and a condition variable: GCC 12's
// std::latch waits through the library's atomic wait, which on Windows (winpthreads, under Wine) can lose its
// wake-up and hang the test program for good.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace tessel_test {

class Latch {
  public:
    explicit Latch(std::ptrdiff_t count) : count_(count) {}
    Latch(const Latch&) = delete;
    Latch& operator=(const Latch&) = delete;

    void count_down() {
        const std::lock_guard lock(mutex_);
        if (count_ > 0 && --count_ == 0) zero_.notify_all();
    }

    // Waits until the count is zero; a count still above zero after `bound` fails the test and returns.
    void wait(std::chrono::milliseconds bound = std::chrono::seconds(30)) {
        std::unique_lock lock(mutex_);
        if (!zero_.wait_for(lock, bound, [this] { return count_ == 0; }))
            ADD_FAILURE() << "latch still at " << count_ << " after " << bound.count() << " ms";
    }

    void arrive_and_wait() {
        count_down();
        wait();
    }

  private:
    std::mutex mutex_;
    std::condition_variable zero_;
    std::ptrdiff_t count_;
};

}  // namespace tessel_test
