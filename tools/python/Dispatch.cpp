#include "tools/python/Dispatch.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <utility>

#include "common/com/ComText.h"
#include "tools/client/DriverClient.h"
#include "tools/python/Apartment.h"
#include "tools/python/ComError.h"
#include "tools/python/Convert.h"

namespace py = pybind11;

namespace tessel::python {

namespace {

// The arguments of one call, cleared whatever happens to the call.
class VariantArray {
  public:
    explicit VariantArray(std::size_t count) : items_(count) {
        for (VARIANT& v : items_) VariantInit(&v);
    }
    ~VariantArray() {
        for (VARIANT& v : items_) VariantClear(&v);
    }
    VariantArray(const VariantArray&) = delete;
    VariantArray& operator=(const VariantArray&) = delete;

    VARIANT& operator[](std::size_t i) { return items_[i]; }
    VARIANT* Data() { return items_.empty() ? nullptr : items_.data(); }

  private:
    std::vector<VARIANT> items_;
};

std::string Verb(WORD flags) {
    if ((flags & DISPATCH_PROPERTYPUT) != 0) return "setting ";
    if ((flags & DISPATCH_METHOD) != 0 && (flags & DISPATCH_PROPERTYGET) == 0) return "calling ";
    return "reading ";
}

// A method of one object, as `d.GetECRStatus` gives it; calling it calls the method.
class Method {
  public:
    Method(py::object owner, DISPID id, std::string name)
        : owner_(std::move(owner)), id_(id), name_(std::move(name)) {}

    py::object Call(const py::args& args) { return owner_.cast<Dispatch&>().Call(id_, name_, args); }
    std::string Repr() const {
        return "<tessel method " + name_ + " of " + py::repr(owner_).cast<std::string>() + ">";
    }

    py::handle Owner() const { return owner_; }
    void DropOwner() { owner_ = py::none(); }

  private:
    py::object owner_;
    DISPID id_;
    std::string name_;
};

// Lets the garbage collector see the Python object that a C++ object holds, so that a cycle through it (a
// handler that keeps its driver object) is collected. `Held` gives the object, `Drop` lets it go.
template <typename T, py::handle (*Held)(T&), void (*Drop)(T&)>
py::custom_type_setup CollectedThrough() {
    return py::custom_type_setup([](PyHeapTypeObject* heapType) {
        PyTypeObject* type = &heapType->ht_type;
        type->tp_flags |= Py_TPFLAGS_HAVE_GC;
        type->tp_traverse = [](PyObject* self, visitproc visit, void* arg) {
            Py_VISIT(Py_TYPE(self));
            try {
                Py_VISIT(Held(py::handle(self).cast<T&>()).ptr());
            } catch (const py::cast_error&) {
                // Not constructed yet: it holds nothing.
            }
            return 0;
        };
        type->tp_clear = [](PyObject* self) {
            try {
                Drop(py::handle(self).cast<T&>());
            } catch (const py::cast_error&) {
            }
            return 0;
        };
    });
}

py::handle HandlerOf(Dispatch& d) {
    return d.Handler();
}
void DropHandlerOf(Dispatch& d) {
    d.DropHandler();
}
py::handle OwnerOf(Method& m) {
    return m.Owner();
}
void DropOwnerOf(Method& m) {
    m.DropOwner();
}

}  // namespace

std::unique_ptr<Dispatch> Dispatch::Create(const std::string& progId) {
    client::CallFailure failure;
    ComPtr<IDispatch> dispatch;
    CallDriver([&] {
        dispatch = client::TryCreateDriver(progId, failure);
        return failure.hr;
    });
    if (!dispatch && failure.step == client::CallFailure::Step::Register) {
        throw ComFailure(failure.hr, "cannot create \"" + progId + "\": the class is not registered (" +
                                         ResultText(failure.hr) +
                                         "); register the server with tessel-regsvr");
    }
    if (!dispatch) {
        const HRESULT hr = FAILED(failure.hr) ? failure.hr : E_NOINTERFACE;
        const std::string reason = failure.description.empty() ? "the class refused" : failure.description;
        throw ComFailure(hr, "cannot create \"" + progId + "\": " + reason + " (" + ResultText(hr) + ")");
    }
    return std::make_unique<Dispatch>(std::move(dispatch), progId);
}

Dispatch::Dispatch(ComPtr<IDispatch> dispatch, std::string label)
    : dispatch_(std::move(dispatch)),
      calls_(std::make_unique<client::LateBoundDriver>(dispatch_)),
      label_(std::move(label)),
      members_(MemberTable::Of(*dispatch_.Get())) {
    ObjectCreated();
}

Dispatch::~Dispatch() {
    Disconnect();
    // The last release of the driver saves its settings and closes its ports, which waits for the port
    // threads.
    CallDriver([&] {
        calls_.reset();
        dispatch_.Reset();
    });
    ObjectReleased();
}

const Dispatch::Binding& Dispatch::Resolve(const std::string& name) {
    if (const auto found = names_.find(name); found != names_.end()) return found->second;
    const UniqueBstr wide = Utf8ToBstr(name);
    LPOLESTR names[] = {wide.get()};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr =
        CallDriver([&] { return dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); });
    if (FAILED(hr)) throw ComFailure(hr, label_ + " has no member \"" + name + "\" (" + ResultText(hr) + ")");
    return names_.emplace(name, Binding{id, members_->Find(id)}).first->second;
}

py::object Dispatch::Invoke(const Binding& binding, const std::string& name, WORD flags,
                            const std::vector<py::handle>& values) {
    const std::size_t count = values.size();
    VariantArray args(count);
    // The first argument goes last, as COM orders them.
    for (std::size_t i = 0; i < count; ++i) {
        try {
            ToVariant(values[i], args[count - 1 - i], static_cast<int>(i));
        } catch (const ComFailure& failure) {
            throw ComFailure(
                failure.Code(),
                Verb(flags) + name + " failed: " + failure.what() + " (" + ResultText(failure.Code()) + ")",
                failure.Argument());
        } catch (const py::type_error& error) {
            throw py::type_error(Verb(flags) + name + " failed: " + error.what() + ", argument " +
                                 std::to_string(i));
        }
    }
    DISPID named = DISPID_PROPERTYPUT;
    const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    DISPPARAMS params{args.Data(), put ? &named : nullptr, static_cast<UINT>(count), put ? 1u : 0u};
    OwnedVariant result;
    std::string description;
    UINT argError = 0;
    const HRESULT hr = CallDriver([&] {
        return calls_->TryInvoke(binding.id, flags, params, put ? nullptr : result.Get(), description,
                                 &argError);
    });
    if (FAILED(hr)) {
        std::optional<int> argument;
        if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND || hr == DISP_E_OVERFLOW) &&
            argError < count)
            argument = static_cast<int>(count - 1 - argError);
        std::string text = Verb(flags) + name + " failed";
        if (!description.empty()) text += ": " + description;
        throw ComFailure(hr, text + " (" + ResultText(hr) + ")", argument);
    }
    return FromVariant(*result, binding.member != nullptr && binding.member->bytes);
}

py::object Dispatch::GetAttr(py::handle self, const std::string& name) {
    // Python asks for its protocols (__len__, __deepcopy__, ...) by name; they are never the object's.
    if (name.size() > 4 && name.starts_with("__") && name.ends_with("__")) throw py::attribute_error(name);
    const Binding& binding = Resolve(name);
    if (binding.member != nullptr && binding.member->method)
        return py::cast(Method(py::reinterpret_borrow<py::object>(self), binding.id, name));
    // Without type information the object decides whether the name is a property or a method.
    const WORD flags =
        binding.member != nullptr ? DISPATCH_PROPERTYGET : DISPATCH_PROPERTYGET | DISPATCH_METHOD;
    return Invoke(binding, name, flags, {});
}

void Dispatch::SetAttr(const std::string& name, py::handle value) {
    Invoke(Resolve(name), name, DISPATCH_PROPERTYPUT, {value});
}

py::object Dispatch::Call(DISPID id, const std::string& name, const py::args& args) {
    std::vector<py::handle> values(args.begin(), args.end());
    return Invoke(Binding{id, members_->Find(id)}, name, DISPATCH_METHOD, values);
}

std::vector<std::string> Dispatch::Dir() const {
    std::vector<std::string> names = members_->Names();
    names.insert(names.end(), {"connect", "disconnect"});
    std::sort(names.begin(), names.end());
    return names;
}

std::string Dispatch::Repr() const {
    return "<tessel.Dispatch " + label_ + ">";
}

// Connections are taken out of the member before they close: closing lets the interpreter lock go, and
// another thread may connect meanwhile.
void Dispatch::Connect(py::handle handler) {
    Disconnect();
    auto connection = std::make_unique<EventConnection>(*dispatch_.Get(), handler);
    std::swap(events_, connection);
}

void Dispatch::Disconnect() {
    const auto closing = std::move(events_);
}

py::handle Dispatch::Handler() const {
    return events_ ? events_->Target() : py::handle();
}

void Dispatch::DropHandler() {
    if (events_) events_->DropTarget();
}

py::object WrapDispatch(ComPtr<IDispatch> dispatch, std::string label) {
    return py::cast(std::make_unique<Dispatch>(std::move(dispatch), std::move(label)));
}

IDispatch* DispatchOf(py::handle value) {
    if (!py::isinstance<Dispatch>(value)) return nullptr;
    return value.cast<Dispatch&>().Get();
}

void RegisterDispatch(py::module_& module) {
    py::class_<Method>(module, "Method", CollectedThrough<Method, &OwnerOf, &DropOwnerOf>())
        .def("__call__", &Method::Call)
        .def("__repr__", &Method::Repr);

    py::class_<Dispatch>(
        module, "Dispatch", CollectedThrough<Dispatch, &HandlerOf, &DropHandlerOf>(),
        R"(Dispatch(progid) creates the COM class registered under progid ("Addin.TesselDriver")
and reaches it by name: d.PortNumber = 1, d.GetECRStatus(), d.ECRModeDescription, d.РежимККМ.)")
        .def(py::init(&Dispatch::Create), py::arg("progid"))
        .def("__getattr__",
             [](py::object self, const std::string& name) {
                 return self.cast<Dispatch&>().GetAttr(self, name);
             })
        .def("__setattr__", &Dispatch::SetAttr)
        .def("__dir__", &Dispatch::Dir)
        .def("__repr__", &Dispatch::Repr)
        .def(
            "connect", &Dispatch::Connect, py::arg("handler"),
            "Delivers the object's IDriverEvents to handler: handler.OnCommand(CommandID) when it has such a "
            "method, else handler(CommandID); on the thread that created the first object, while it pumps. "
            "Replaces a handler connected before.")
        .def("disconnect", &Dispatch::Disconnect,
             "Stops the events; nothing happens when none are connected.");
}

}  // namespace tessel::python
