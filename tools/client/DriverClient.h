#pragma once
// The driver as a program outside it reaches it: its class created by the ProgID through the registration,
// its members called by name through IDispatch, as a script host calls them, or through ITesselDriver. The
// programs word failures their own way: a call that fails hands a CallFailure to the program's handler,
// which throws the program's own error.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "common/com/ComPtr.h"
#include "common/com/OleAuto.h"
#include "common/com/OwnedVariant.h"
#include "driver/automation/TesselDrv_TLB.h"

namespace tessel::client {

// The ProgID under which the driver registers its class.
inline constexpr char kDriverProgId[] = "Addin.TesselDriver";

// What failed, for the program to put in words. Failures of the driver's own operations are never one: they
// travel in ResultCode.
struct CallFailure {
    enum class Step {
        Register,   // the ProgID names no registered class
        Create,     // the class would not be created or offers no IDispatch
        Name,       // the driver does not know the member name
        Invoke,     // the driver refused the call
        Convert,    // the value has not the type asked for
        Interface,  // the object offers no ITesselDriver
    };
    Step step = Step::Invoke;
    HRESULT hr = S_OK;
    std::string member;  // the member name; the ProgID for Register and Create
    WORD flags = 0;      // Invoke: DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
    std::string
        description;  // Invoke: EXCEPINFO's description of DISP_E_EXCEPTION; Create: the loader's reason
    VARTYPE wanted = VT_EMPTY;  // Convert: the type asked for
};

// The name of a result code, e.g. "DISP_E_UNKNOWNNAME (80020006h)".
std::string HResultText(HRESULT hr);
// The failure in the library's own words, e.g. "reading Foo failed: DISP_E_MEMBERNOTFOUND (80020003h)".
std::string FailureText(const CallFailure& failure);

// A failure that no handler put in other words; the message is FailureText's.
class ClientError : public std::runtime_error {
  public:
    explicit ClientError(CallFailure failure);
    const CallFailure& Failure() const { return failure_; }
    HRESULT Result() const { return failure_.hr; }

  private:
    CallFailure failure_;
};

// Throws the program's own error for a failure. A handler that returns, or none, leaves ClientError thrown.
using FailureHandler = std::function<void(const CallFailure&)>;

// How a typed get takes a value of another type: converted as automation converts, or refused.
enum class Conversion { Coerce, Exact };

using Variant = tessel::OwnedVariant;

// Creates the registered class of `progId` (a ProgID, or a CLSID in registry form "{...}") and asks it for
// IDispatch; null with `failure` filled in when it cannot.
ComPtr<IDispatch> TryCreateDriver(const std::string& progId, CallFailure& failure);
// As TryCreateDriver, failing through `onFailure` (Register or Create).
ComPtr<IDispatch> CreateDriver(const std::string& progId, const FailureHandler& onFailure = {});

// Late-bound calls on a driver object. Member names are resolved by the driver (English or Russian, any
// case) once per object. Safe to call from several threads at once: the cache of names has a lock of its
// own, and the driver runs one operation at a time. Every failing call goes to the handler.
class LateBoundDriver {
  public:
    explicit LateBoundDriver(ComPtr<IDispatch> dispatch, FailureHandler onFailure = {},
                             Conversion conversion = Conversion::Coerce);

    IDispatch* Object() const { return dispatch_.Get(); }

    DISPID IdOf(const std::string& name) const;
    // The call by DISPID with its result: no handler is asked. On DISP_E_EXCEPTION `description` is the
    // driver's description of it; `argError`, when given, receives the position of a refused argument.
    HRESULT TryInvoke(DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result, std::string& description,
                      UINT* argError = nullptr) const;
    void Invoke(const std::string& name, WORD flags, DISPPARAMS& params, VARIANT* result) const;

    // A method without arguments; `result` is its value, VT_EMPTY for a method that yields nothing.
    void Call(const std::string& name, VARIANT& result) const;
    void Get(const std::string& name, VARIANT& value) const;
    // The driver converts the value to the property's type.
    void Put(const std::string& name, const VARIANT& value) const;

    // A method's value, the result code.
    LONG CallLong(const std::string& name) const;
    // The property's value as `type` (Convert fails when it has no such form).
    void GetAs(const std::string& name, VARTYPE type, VARIANT& out) const;
    LONG GetLong(const std::string& name) const;
    bool GetBool(const std::string& name) const;
    std::string GetText(const std::string& name) const;
    CY GetCurrency(const std::string& name) const;
    double GetDouble(const std::string& name) const;
    DATE GetDate(const std::string& name) const;

    void PutLong(const std::string& name, LONG value) const;
    void PutBool(const std::string& name, bool value) const;
    void PutText(const std::string& name, const std::string& text) const;
    void PutCurrency(const std::string& name, CY value) const;
    void PutDouble(const std::string& name, double value) const;
    void PutDate(const std::string& name, DATE value) const;

    // The same object's early-bound interface (Interface fails when it offers none).
    ComPtr<ITesselDriver> Interface() const;

  private:
    [[noreturn]] void Fail(const CallFailure& failure) const;
    // `value` as `type` into `out`, by this object's Conversion.
    void Convert(const std::string& name, VARIANT& value, VARTYPE type, VARIANT& out) const;

    ComPtr<IDispatch> dispatch_;
    FailureHandler onFailure_;
    Conversion conversion_;
    std::unique_ptr<std::mutex> idsMutex_ = std::make_unique<std::mutex>();  // held apart: the object moves
    mutable std::map<std::string, DISPID> ids_;
};

}  // namespace tessel::client
