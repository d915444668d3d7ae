#pragma once
// The late-binding caller: the driver reached by its ProgID and driven through IDispatch alone, as a script
// host drives it. Member names are resolved by the driver (English or Russian, any case) and cached.

#include <map>
#include <stdexcept>
#include <string>

#include "common/com/ComPtr.h"
#include "common/com/OleAuto.h"
#include "driver/automation/TesselDrv_TLB.h"

namespace tessel::cli {

// The ProgID under which the driver registers its class.
inline constexpr char kDriverProgId[] = "Addin.TesselDriver";

// A dispatch call that the driver refused (an unknown name, a value it cannot convert). Member failures of
// the driver itself never raise this: they travel in ResultCode.
class DispatchError : public std::runtime_error {
  public:
    DispatchError(const std::string& message, HRESULT hr) : std::runtime_error(message), hr_(hr) {}
    HRESULT Result() const { return hr_; }

  private:
    HRESULT hr_;
};

// The class could not be created; the message says why and how to register the driver.
class CreationError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A VARIANT that clears itself.
class Variant {
  public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT* Get() { return &v_; }
    const VARIANT& operator*() const { return v_; }
    const VARIANT* operator->() const { return &v_; }

  private:
    VARIANT v_;
};

// The name of a result code, e.g. "DISP_E_UNKNOWNNAME (80020006h)".
std::string HResultText(HRESULT hr);

class DispatchDriver {
  public:
    // Creates the registered class for `progId` and asks it for IDispatch. Throws CreationError with the
    // reason and the command that registers the driver.
    static DispatchDriver Create(const std::string& progId = kDriverProgId);
    explicit DispatchDriver(ComPtr<IDispatch> dispatch);

    // Calls a method without arguments and returns its value (the result code), or VT_EMPTY for a method
    // that yields nothing. Throws DispatchError when the name is unknown or the call is refused.
    void Call(const std::string& name, Variant& result);
    // Reads a property. Throws DispatchError as Call does.
    void Get(const std::string& name, Variant& value);
    // Writes a property; the driver converts the value to the property's type. Throws DispatchError as
    // Call does (a value that does not convert, a read-only property).
    void Put(const std::string& name, const VARIANT& value);
    void PutText(const std::string& name, const std::string& text);
    void PutLong(const std::string& name, LONG value);
    // Reads a property converted to a long / to UTF-8 text. Throws DispatchError as Get does, and when the
    // value has no such form.
    LONG GetLong(const std::string& name);
    std::string GetText(const std::string& name);

    // The DISPID of a member name. Throws DispatchError for a name the driver does not know.
    DISPID IdOf(const std::string& name);

    IDispatch* Dispatch() const { return dispatch_.Get(); }
    // The same object's early-bound interface, which the table and search engines drive. Throws
    // std::runtime_error when the object does not offer it.
    ComPtr<ITesselDriver> Interface() const;

  private:
    void Invoke(const std::string& name, WORD flags, DISPPARAMS& params, VARIANT* result);

    ComPtr<IDispatch> dispatch_;
    std::map<std::string, DISPID> ids_;
};

}  // namespace tessel::cli
