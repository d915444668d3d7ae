#pragma once
// The driver's IDriverEvents delivered to Python: a sink advised on the object's connection point calls the
// handler with the CommandID of every Command event. Events come on the event thread while it pumps
// (tessel.pump, tessel.dispatch_pending); a handler that raises is logged to the "tessel" logger and the
// pump goes on (the driver logs the failed event too).

#include <pybind11/pybind11.h>

#include "common/com/ComPtr.h"

namespace tessel::python {

class EventSink;

class EventConnection {
  public:
    // Advises a sink on `source`'s IDriverEvents that calls handler.OnCommand(CommandID) when the handler has
    // such a method, else handler(CommandID). Throws pybind11::type_error for a handler that is neither, and
    // ComFailure when the object has no such connection point or refuses the sink. Interpreter lock held.
    EventConnection(IDispatch& source, pybind11::handle handler);
    // Disconnects (see Close).
    ~EventConnection();
    EventConnection(const EventConnection&) = delete;
    EventConnection& operator=(const EventConnection&) = delete;

    // Lets the handler go at once, then unadvises; no event reaches the handler after it returns. Never
    // throws; idempotent. Interpreter lock held.
    void Close() noexcept;

    // The Python object the sink calls, for the garbage collector; DropTarget lets it go without
    // unadvising (the collector breaking a cycle). Interpreter lock held.
    pybind11::handle Target() const;
    void DropTarget();

  private:
    ComPtr<EventSink> sink_;
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

}  // namespace tessel::python
