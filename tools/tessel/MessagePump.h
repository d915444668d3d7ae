#pragma once
// Waiting the way a console client of the driver must: the driver raises its events on this thread only
// while the thread pumps its message queue, and a stop signal must end any wait at once.

#include <csignal>
#include <cstdint>
#include <functional>
#include <memory>

#include "common/platform/MessageQueue.h"

namespace tessel::cli {

// SIGINT and SIGTERM taken as a request to stop: blocked in the whole process (threads started later,
// the driver's port threads among them, inherit the mask, so no call is interrupted half-way) and read
// from a descriptor instead. Create it before the driver; one at a time.
class StopSignals {
  public:
    // Throws std::system_error when the descriptor cannot be made.
    StopSignals();
    // Restores the signal mask of the thread; a signal still pending is then delivered as usual.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Readable once a stop signal is pending.
    int Fd() const { return fd_; }
    // Whether a stop signal has arrived; stays true once it has.
    bool Stopped();

  private:
    int fd_ = -1;
    sigset_t previous_{};
    bool stopped_ = false;
};

// Pumps the calling thread's message queue.
class MessagePump {
  public:
    // Called after each batch of dispatched messages; returns false to end the wait.
    using AfterDispatch = std::function<bool()>;

    explicit MessagePump(StopSignals& signals);

    // Dispatches what waits now; returns how many messages were delivered.
    std::size_t DispatchPending();
    // Dispatches messages as they come for `ms` milliseconds, calling `after` after every batch. Ends early
    // on a stop signal. No busy waiting: it sleeps in poll() on the queue's descriptor and the signal
    // descriptor.
    void PumpFor(std::uint64_t ms, const AfterDispatch& after = {});
    // As PumpFor without a time limit: until `after` returns false or a stop signal comes.
    void PumpUntilStopped(const AfterDispatch& after);
    // Dispatches messages until `done` holds, asking it before the first wait, after every batch and at least
    // once a second. True when `done` held; false at a stop signal when `stopOnSignal`, which is otherwise
    // not waited for (a second signal then changes nothing).
    bool PumpUntil(const std::function<bool()>& done, bool stopOnSignal = true);

  private:
    void Pump(bool endless, std::uint64_t ms, const AfterDispatch& after);

    StopSignals& signals_;
    std::shared_ptr<MessageQueue> queue_;
};

}  // namespace tessel::cli
