#include "tools/python/Apartment.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "common/platform/MessageQueue.h"

namespace py = pybind11;

namespace tessel::python {

namespace {

// A wait is taken in slices of this length, so that a stop signal that another thread received (the
// driver's port threads may get it) still ends the wait soon.
constexpr int kSliceMs = 200;

// What the interpreter lock guards; never freed, so that nothing of it runs after the interpreter has gone.
struct EventThread {
    std::size_t liveObjects = 0;
    std::thread::id owner;
    std::shared_ptr<MessageQueue> queue;
    std::optional<py::error_already_set> deferred;
};

EventThread& State() {
    static auto* state = new EventThread;
    return *state;
}

// The queue that this thread may dispatch: its own, which must be the event thread's while objects live.
std::shared_ptr<MessageQueue> QueueToDispatch() {
    const EventThread& state = State();
    if (state.liveObjects > 0 && state.owner != std::this_thread::get_id()) {
        throw std::runtime_error(
            "the driver's events are delivered on the thread that created the first driver object; pump "
            "there");
    }
    return MessageQueue::ForCurrentThread();
}

std::size_t DispatchNow(MessageQueue& queue) {
    const std::size_t delivered = CallDriver([&] { return queue.DispatchPending(); });
    EventThread& state = State();
    if (state.deferred) {
        py::error_already_set error = std::move(*state.deferred);
        state.deferred.reset();
        throw error;
    }
    return delivered;
}

}  // namespace

std::recursive_mutex& DriverLock() {
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

void ObjectCreated() {
    EventThread& state = State();
    if (state.liveObjects++ > 0) return;
    state.owner = std::this_thread::get_id();
    state.queue = MessageQueue::ForCurrentThread();
}

void ObjectReleased() {
    EventThread& state = State();
    if (state.liveObjects > 0) --state.liveObjects;
}

std::size_t Pump(std::optional<double> timeoutSeconds) {
    if (timeoutSeconds && !(*timeoutSeconds >= 0))
        throw py::value_error("pump: the time-out must be 0 or more");
    const auto queue = QueueToDispatch();
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    // Bounded so that a huge time-out cannot overflow the clock; that is still more than a century.
    const auto limit = std::chrono::milliseconds(
        timeoutSeconds ? static_cast<long long>(std::ceil(std::min(*timeoutSeconds, 4.0e9) * 1000)) : 0);
    for (;;) {
        if (queue->Pending() > 0) {
            // Messages of destroyed windows are dropped without a delivery: keep waiting then.
            if (const std::size_t delivered = DispatchNow(*queue); delivered > 0) return delivered;
        }
        int slice = kSliceMs;
        if (timeoutSeconds) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(limit - (Clock::now() - start));
            if (left.count() <= 0) return 0;
            slice = static_cast<int>(std::min<long long>(slice, left.count()));
        }
        int ready = 0;
        int error = 0;
        {
            py::gil_scoped_release unlocked;
            pollfd watched{queue->Fd(), POLLIN, 0};
            ready = ::poll(&watched, 1, slice);
            error = errno;
        }
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
        if (ready < 0 && error != EINTR) throw std::system_error(error, std::generic_category(), "poll");
    }
}

std::size_t DispatchPending() {
    const auto queue = QueueToDispatch();
    return DispatchNow(*queue);
}

int QueueFd() {
    const EventThread& state = State();
    if (state.liveObjects > 0) return state.queue->Fd();
    return MessageQueue::ForCurrentThread()->Fd();
}

void DeferInterrupt(py::error_already_set& error) {
    EventThread& state = State();
    if (!state.deferred) state.deferred = error;
}

}  // namespace tessel::python
