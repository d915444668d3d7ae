#pragma once
// tessel.Dispatch: a COM object reached through IDispatch by name, as Windows scripts reach it. Attributes
// are the object's members: reading a property gets it, assigning sets it, a method is a callable that
// yields the method's value. Names (English or Russian, any case, as the object resolves them) are looked
// up once per object and kept; the type information says which names are methods and which members hold
// bytes, and gives dir() its list.

#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/com/ComPtr.h"
#include "tools/client/DriverClient.h"
#include "tools/python/Events.h"
#include "tools/python/Members.h"

namespace tessel::python {

class Dispatch {
  public:
    // Creates the class registered under `progId` (CLSIDFromProgID, or a CLSID in registry form) with
    // CoCreateInstance and asks it for IDispatch. Throws ComFailure with the reason (the class is not
    // registered, its library cannot be loaded) and the HRESULT.
    static std::unique_ptr<Dispatch> Create(const std::string& progId);
    // Interpreter lock held.
    Dispatch(ComPtr<IDispatch> dispatch, std::string label);
    // Disconnects the events and releases the object.
    ~Dispatch();
    Dispatch(const Dispatch&) = delete;
    Dispatch& operator=(const Dispatch&) = delete;

    // d.Name: a property's value, or a bound method for a method. Throws ComFailure (MemberNotFoundError for
    // an unknown name) and pybind11::attribute_error for Python's own special names, which never reach the
    // object.
    pybind11::object GetAttr(pybind11::handle self, const std::string& name);
    // d.Name = value. Throws ComFailure when the object refuses (a read-only member, a value of the wrong
    // type: argument 0) and what ToVariant throws.
    void SetAttr(const std::string& name, pybind11::handle value);
    // Calls the method `id` with `args` (positional, in the caller's order) and returns its value.
    pybind11::object Call(DISPID id, const std::string& name, const pybind11::args& args);
    // The members of the type information with connect and disconnect.
    std::vector<std::string> Dir() const;
    std::string Repr() const;

    // Advises `handler` on IDriverEvents (replacing a handler connected before) / undoes it.
    void Connect(pybind11::handle handler);
    void Disconnect();

    IDispatch* Get() const { return dispatch_.Get(); }
    // For the garbage collector: the handler the object holds, and letting it go.
    pybind11::handle Handler() const;
    void DropHandler();

  private:
    struct Binding {
        DISPID id;
        const Member* member;  // null when the type information does not describe it
    };
    const Binding& Resolve(const std::string& name);
    pybind11::object Invoke(const Binding& binding, const std::string& name, WORD flags,
                            const std::vector<pybind11::handle>& values);

    ComPtr<IDispatch> dispatch_;
    std::unique_ptr<client::LateBoundDriver> calls_;  // the calls, over the client library
    std::string label_;
    std::shared_ptr<const MemberTable> members_;
    std::unordered_map<std::string, Binding> names_;
    std::unique_ptr<EventConnection> events_;
};

// A new tessel.Dispatch around `dispatch` (a value the object handed out); `label` names it in repr().
pybind11::object WrapDispatch(ComPtr<IDispatch> dispatch, std::string label);
// The IDispatch of a tessel.Dispatch, or nullptr for any other object.
IDispatch* DispatchOf(pybind11::handle value);

// Defines tessel.Dispatch and the type of its bound methods.
void RegisterDispatch(pybind11::module_& module);

}  // namespace tessel::python
