#include "tools/tessel/DispatchDriver.h"

#include <cstdio>

#include "common/com/ComCreate.h"
#include "common/com/ComText.h"
#include "common/com/ExcepInfo.h"

namespace tessel::cli {

namespace {

struct KnownResult {
    HRESULT hr;
    const char* name;
};

constexpr KnownResult kKnownResults[] = {
    {E_NOTIMPL, "E_NOTIMPL"},
    {E_NOINTERFACE, "E_NOINTERFACE"},
    {E_POINTER, "E_POINTER"},
    {E_FAIL, "E_FAIL"},
    {E_UNEXPECTED, "E_UNEXPECTED"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {E_INVALIDARG, "E_INVALIDARG"},
    {REGDB_E_READREGDB, "REGDB_E_READREGDB"},
    {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
    {CO_E_CLASSSTRING, "CO_E_CLASSSTRING"},
    {CO_E_DLLNOTFOUND, "CO_E_DLLNOTFOUND"},
    {CO_E_ERRORINDLL, "CO_E_ERRORINDLL"},
    {CLASS_E_CLASSNOTAVAILABLE, "CLASS_E_CLASSNOTAVAILABLE"},
    {DISP_E_MEMBERNOTFOUND, "DISP_E_MEMBERNOTFOUND"},
    {DISP_E_PARAMNOTFOUND, "DISP_E_PARAMNOTFOUND"},
    {DISP_E_TYPEMISMATCH, "DISP_E_TYPEMISMATCH"},
    {DISP_E_UNKNOWNNAME, "DISP_E_UNKNOWNNAME"},
    {DISP_E_NONAMEDARGS, "DISP_E_NONAMEDARGS"},
    {DISP_E_BADVARTYPE, "DISP_E_BADVARTYPE"},
    {DISP_E_EXCEPTION, "DISP_E_EXCEPTION"},
    {DISP_E_OVERFLOW, "DISP_E_OVERFLOW"},
    {DISP_E_BADPARAMCOUNT, "DISP_E_BADPARAMCOUNT"},
    {DISP_E_PARAMNOTOPTIONAL, "DISP_E_PARAMNOTOPTIONAL"},
};

std::string KindText(WORD flags) {
    if ((flags & DISPATCH_PROPERTYPUT) != 0) return "setting";
    if ((flags & DISPATCH_PROPERTYGET) != 0) return "reading";
    return "calling";
}

}  // namespace

std::string HResultText(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "%08Xh", static_cast<unsigned>(hr));
    for (const KnownResult& known : kKnownResults)
        if (known.hr == hr) return std::string(known.name) + " (" + code + ")";
    return code;
}

DispatchDriver DispatchDriver::Create(const std::string& progId) {
    const std::string& name = progId;
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(Utf8ToBstr(progId).get(), &clsid);
    if (FAILED(hr)) {
        throw CreationError("cannot create " + name + ": the class is not registered (" + HResultText(hr) +
                            ")");
    }
    ComPtr<IDispatch> dispatch;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, dispatch.PutVoid());
    if (FAILED(hr) || !dispatch) {
        std::string reason = LastClassCreationError();
        if (reason.empty()) reason = "the class refused";
        throw CreationError("cannot create " + name + ": " + reason + " (" + HResultText(hr) + ")");
    }
    return DispatchDriver(std::move(dispatch));
}

DispatchDriver::DispatchDriver(ComPtr<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {}

DISPID DispatchDriver::IdOf(const std::string& name) {
    if (const auto found = ids_.find(name); found != ids_.end()) return found->second;
    UniqueBstr wide = Utf8ToBstr(name);
    LPOLESTR names[] = {wide.get()};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        throw DispatchError("the driver has no member \"" + name + "\" (" + HResultText(hr) + ")", hr);
    }
    ids_.emplace(name, id);
    return id;
}

ComPtr<ITesselDriver> DispatchDriver::Interface() const {
    ComPtr<ITesselDriver> driver;
    const HRESULT hr = dispatch_.As(IID_ITesselDriver, driver);
    if (FAILED(hr) || !driver) {
        throw std::runtime_error("the driver object offers no ITesselDriver (" + HResultText(hr) + ")");
    }
    return driver;
}

void DispatchDriver::Invoke(const std::string& name, WORD flags, DISPPARAMS& params, VARIANT* result) {
    const DISPID id = IdOf(name);
    ExcepInfo exception;
    UINT argError = 0;
    const HRESULT hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                         exception.Get(), &argError);
    if (FAILED(hr)) {
        std::string message = KindText(flags) + " " + name + " failed: " + HResultText(hr);
        if (hr == DISP_E_EXCEPTION) {
            if (const std::string description = exception.Description(); !description.empty())
                message += " " + description;
        }
        throw DispatchError(message, hr);
    }
}

void DispatchDriver::Call(const std::string& name, Variant& result) {
    VariantClear(result.Get());
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Invoke(name, DISPATCH_METHOD, none, result.Get());
}

void DispatchDriver::Get(const std::string& name, Variant& value) {
    VariantClear(value.Get());
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Invoke(name, DISPATCH_PROPERTYGET, none, value.Get());
}

void DispatchDriver::Put(const std::string& name, const VARIANT& value) {
    VARIANT arg = value;  // a shallow copy: the callee only reads its arguments
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&arg, &named, 1, 1};
    Invoke(name, DISPATCH_PROPERTYPUT, params, nullptr);
}

void DispatchDriver::PutText(const std::string& name, const std::string& text) {
    Variant value;
    value.Get()->vt = VT_BSTR;
    value.Get()->bstrVal = Utf8ToBstr(text).release();
    Put(name, *value);
}

void DispatchDriver::PutLong(const std::string& name, LONG number) {
    Variant value;
    value.Get()->vt = VT_I4;
    value.Get()->lVal = number;
    Put(name, *value);
}

LONG DispatchDriver::GetLong(const std::string& name) {
    Variant value;
    Get(name, value);
    Variant number;
    const HRESULT hr = VariantChangeType(number.Get(), value.Get(), 0, VT_I4);
    if (FAILED(hr)) throw DispatchError(name + " is not a number (" + HResultText(hr) + ")", hr);
    return number->lVal;
}

std::string DispatchDriver::GetText(const std::string& name) {
    Variant value;
    Get(name, value);
    Variant text;
    const HRESULT hr = VariantChangeType(text.Get(), value.Get(), 0, VT_BSTR);
    if (FAILED(hr)) throw DispatchError(name + " has no text form (" + HResultText(hr) + ")", hr);
    return BstrToUtf8(text->bstrVal);
}

}  // namespace tessel::cli
