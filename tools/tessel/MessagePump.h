#pragma once
// Waiting the way a console client of the driver must: the driver raises its events on this thread only
// while the thread pumps its message queue, and a stop signal must end any wait at once.

#include <cstdint>
#include <functional>
#include <memory>

#include "common/platform/MessageQueue.h"

namespace tessel::cli {

// A request to stop: on Linux SIGINT and SIGTERM, blocked in the whole process (threads started later, the
// driver's port threads among them, inherit the mask, so no call is interrupted half-way) and read from a
// descriptor instead; on Windows Ctrl+C, Ctrl+Break and the console window's closing, taken by a console
// handler. Create it before the driver; one at a time. Platform backend.
class StopSignals {
  public:
    // Throws std::system_error when the signals cannot be taken.
    StopSignals();
    // Gives the signals back; on Linux one still pending is then delivered as usual.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Whether a stop signal has arrived; stays true once it has.
    bool Stopped();
    // A descriptor that is readable while a stop signal is pending, for an event loop to watch (Linux); -1
    // on Windows, whose programs wait through Wait.
    int Fd() const;
    // Sleeps at most `ms` until messages wait in `queue` or, when `watchStop`, a stop signal is pending,
    // without taking the signal. True when messages wait. A signal that is not watched stays pending
    // without waking the sleep.
    bool Wait(MessageQueue& queue, std::uint32_t ms, bool watchStop);
    // The first stop signal that arrived (SIGINT or SIGTERM; on Windows Ctrl+C and Ctrl+Break count as
    // SIGINT, the console's closing as SIGTERM); 0 while none has.
    int Signal() { return Stopped() ? signal_ : 0; }

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool stopped_ = false;
    int signal_ = 0;
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
