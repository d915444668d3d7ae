#include "tools/python/Events.h"

#include <atomic>
#include <string>

#include "driver/automation/TesselDrv_TLB.h"
#include "tools/python/Apartment.h"
#include "tools/python/ComError.h"
#include "tools/python/Convert.h"

namespace py = pybind11;

namespace tessel::python {

// The dispatch object on the driver's connection point. It lives as long as anyone holds it (the driver
// may still hold it after a refused Unadvise), but lets its Python target go when its connection closes, so
// that it never owns a Python object when a release without the interpreter lock frees it.
class EventSink final : public IDispatch {
  public:
    explicit EventSink(py::object target) : target_(std::move(target)) {}
    EventSink(const EventSink&) = delete;
    EventSink& operator=(const EventSink&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_IDriverEvents) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

    // Command(CommandID) calls the target; any other event is not one of IDriverEvents and is ignored.
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT* argErr) override {
        if (result != nullptr) VariantInit(result);
        if (id != TesselDispIdCommandEvent) return S_OK;
        if (params == nullptr || params->cArgs != 1 || params->rgvarg == nullptr) return DISP_E_BADPARAMCOUNT;
        OwnedVariant commandID;
        if (FAILED(VariantChangeType(commandID.Get(), &params->rgvarg[0], 0, VT_I4))) {
            if (argErr != nullptr) *argErr = 0;
            return DISP_E_TYPEMISMATCH;
        }
        py::gil_scoped_acquire locked;
        if (!target_) return S_OK;
        // Held for the call: the handler may disconnect, which lets the sink's reference go.
        const py::object target = target_;
        try {
            target((*commandID).lVal);
            return S_OK;
        } catch (py::error_already_set& error) {
            if (!error.matches(PyExc_Exception)) {
                DeferInterrupt(error);
            } else {
                Log(error, (*commandID).lVal, target);
            }
        } catch (const std::exception& error) {
            PyErr_SetString(PyExc_RuntimeError, error.what());
            py::error_already_set fetched;
            Log(fetched, (*commandID).lVal, target);
        }
        return DISP_E_EXCEPTION;
    }

    py::handle Target() const { return target_; }
    // Interpreter lock held.
    void DropTarget() { target_ = py::object(); }

  private:
    ~EventSink() {
        // Only a connection that was never closed leaves a target here; without the interpreter lock it is
        // left alive rather than released unsafely.
        if (target_ && PyGILState_Check() == 0) static_cast<void>(target_.release());
    }

    static void Log(py::error_already_set& error, LONG commandID, py::handle target) {
        try {
            py::module_::import("logging").attr("getLogger")("tessel").attr("error")(
                "the handler %r of Command(%d) raised; the pump goes on", target, commandID,
                py::arg("exc_info") = error.value());
        } catch (py::error_already_set& failure) {
            failure.discard_as_unraisable("tessel: logging a failed event handler");
        }
    }

    std::atomic<ULONG> refs_{0};
    py::object target_;
};

namespace {

py::object TargetOf(py::handle handler) {
    if (py::hasattr(handler, "OnCommand")) return handler.attr("OnCommand");
    if (PyCallable_Check(handler.ptr()) != 0) return py::reinterpret_borrow<py::object>(handler);
    throw py::type_error("connect: the handler must be callable or have an OnCommand(CommandID) method");
}

}  // namespace

EventConnection::EventConnection(IDispatch& source, py::handle handler) {
    sink_ = ComPtr<EventSink>(new EventSink(TargetOf(handler)));
    const HRESULT hr = CallDriver([&] {
        ComPtr<IConnectionPointContainer> container;
        HRESULT result = source.QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
        if (FAILED(result) || !container) return FAILED(result) ? result : E_NOINTERFACE;
        result = container->FindConnectionPoint(DIID_IDriverEvents, point_.Put());
        if (FAILED(result) || !point_) return FAILED(result) ? result : CONNECT_E_NOCONNECTION;
        result = point_->Advise(static_cast<IDispatch*>(sink_.Get()), &cookie_);
        return FAILED(result) ? result : (cookie_ == 0 ? CONNECT_E_CANNOTCONNECT : S_OK);
    });
    if (FAILED(hr)) {
        Close();
        throw ComFailure(hr, "connecting to IDriverEvents failed (" + ResultText(hr) + ")");
    }
}

EventConnection::~EventConnection() {
    Close();
}

void EventConnection::Close() noexcept {
    if (sink_) sink_->DropTarget();
    if (point_ || sink_) {
        CallDriver([&] {
            // A refused Unadvise leaves nothing to undo: the sink has let its handler go already.
            if (point_ && cookie_ != 0) static_cast<void>(point_->Unadvise(cookie_));
            point_.Reset();
            sink_.Reset();
        });
    }
    cookie_ = 0;
}

py::handle EventConnection::Target() const {
    return sink_ ? sink_->Target() : py::handle();
}

void EventConnection::DropTarget() {
    if (sink_) sink_->DropTarget();
}

}  // namespace tessel::python
