// The Python module `tessel`: the driver, and any other automation server registered in the settings store,
// from Python by ProgID, with late binding and events, as Windows Python scripts reach COM servers.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "tools/python/Apartment.h"
#include "tools/python/ComError.h"
#include "tools/python/Dispatch.h"

namespace py = pybind11;

PYBIND11_MODULE(tessel, module) {
    using namespace tessel::python;
    module.doc() =
        "The Tessel cash register driver from Python: tessel.Dispatch(\"Addin.TesselDriver\") creates the "
        "driver by its ProgID and reaches its members by name; the driver's events come to "
        "d.connect(handler) "
        "while the thread that created the first object pumps (tessel.pump, or tessel.queue_fd with "
        "tessel.dispatch_pending in a selector or an asyncio loop).";
    RegisterComError(module);
    RegisterDispatch(module);
    module.def(
        "pump", &Pump, py::arg("timeout") = py::none(),
        "Waits at most timeout seconds (None: until something comes) for the driver's messages on this "
        "thread, which must be the one that created the first object; delivers what waits (events "
        "reach their handlers) and returns how many messages were delivered.");
    module.def("dispatch_pending", &DispatchPending,
               "Delivers the messages that wait now, without waiting; returns how many were delivered. For "
               "selectors and asyncio: call it when queue_fd() is readable.");
    module.def("queue_fd", &QueueFd,
               "The descriptor that is readable while the driver's messages wait for the thread that created "
               "the first object (before any object exists: for the calling thread).");
    module.attr("__version__") = TESSEL_VERSION;
}
