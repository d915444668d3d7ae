#pragma once
// The thread that owns the driver objects of the interpreter, and the calls into them.
//
// The driver runs one operation at a time and raises its events on the thread that created the first
// object, when that thread pumps its message queue. Python threads reach it through CallDriver: the
// interpreter lock is released for the call, so other threads run while the driver waits on the line, and
// one process-wide lock keeps the calls one at a time. The lock is recursive, because an event handler runs
// inside the pump's dispatch and may call the driver again. The lock is only ever taken without the
// interpreter lock, so the two cannot deadlock.

#include <pybind11/pybind11.h>

#include <cstddef>
#include <mutex>
#include <optional>

namespace tessel::python {

std::recursive_mutex& DriverLock();

// Runs `call` (a call into a driver object, or anything that may wait for one) without the interpreter lock
// and under DriverLock. `call` must not touch Python objects.
template <typename Call>
auto CallDriver(Call&& call) {
    pybind11::gil_scoped_release unlocked;
    std::lock_guard lock(DriverLock());
    return call();
}

// Bookkeeping of the objects alive: the thread that creates the first one becomes the thread whose queue
// carries the events. Interpreter lock held.
void ObjectCreated();
void ObjectReleased();

// tessel.pump(timeout): waits at most `timeoutSeconds` (none: until a message comes) for messages on the
// event thread's queue, dispatches what waits and returns how many messages were delivered. Stop signals
// (KeyboardInterrupt) end the wait. Throws std::runtime_error on another thread than the event thread while
// objects live, pybind11::value_error for a negative time-out.
std::size_t Pump(std::optional<double> timeoutSeconds);
// tessel.dispatch_pending(): dispatches what waits now, without waiting; the same refusals as Pump.
std::size_t DispatchPending();
// tessel.queue_fd(): the descriptor that is readable while messages wait on the event thread's queue (the
// calling thread's queue before any object exists).
int QueueFd();

// A handler ended with an exception that is not an Exception (KeyboardInterrupt, SystemExit): it is kept and
// raised from the pump once the dispatch has returned. Interpreter lock held.
void DeferInterrupt(pybind11::error_already_set& error);

}  // namespace tessel::python
