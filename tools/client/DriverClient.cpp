#include "tools/client/DriverClient.h"

#include <cstdio>

#include "common/com/ComCreate.h"
#include "common/com/ComText.h"
#include "common/com/ExcepInfo.h"

namespace tessel::client {

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

std::string FormText(VARTYPE type) {
    switch (type) {
        case VT_I4:
        case VT_R8:
            return "is not a number";
        case VT_BSTR:
            return "has no text form";
        case VT_BOOL:
            return "is not a boolean";
        case VT_CY:
            return "is not an amount";
        case VT_DATE:
            return "is not a date";
        default:
            return "has no such form";
    }
}

CallFailure Failed(CallFailure::Step step, HRESULT hr, const std::string& member) {
    CallFailure failure;
    failure.step = step;
    failure.hr = hr;
    failure.member = member;
    return failure;
}

}  // namespace

std::string HResultText(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "%08Xh", static_cast<unsigned>(hr));
    for (const KnownResult& known : kKnownResults)
        if (known.hr == hr) return std::string(known.name) + " (" + code + ")";
    return code;
}

std::string FailureText(const CallFailure& f) {
    using Step = CallFailure::Step;
    switch (f.step) {
        case Step::Register:
            return "cannot create " + f.member + ": the class is not registered (" + HResultText(f.hr) + ")";
        case Step::Create:
            return "cannot create " + f.member + ": " +
                   (f.description.empty() ? std::string("the class refused") : f.description) + " (" +
                   HResultText(f.hr) + ")";
        case Step::Name:
            return "the driver has no member \"" + f.member + "\" (" + HResultText(f.hr) + ")";
        case Step::Invoke: {
            std::string message = KindText(f.flags) + " " + f.member + " failed: " + HResultText(f.hr);
            if (!f.description.empty()) message += " " + f.description;
            return message;
        }
        case Step::Convert:
            return f.member + " " + FormText(f.wanted) + " (" + HResultText(f.hr) + ")";
        case Step::Interface:
            return "the driver object offers no ITesselDriver (" + HResultText(f.hr) + ")";
    }
    return HResultText(f.hr);
}

ClientError::ClientError(CallFailure failure)
    : std::runtime_error(FailureText(failure)), failure_(std::move(failure)) {}

ComPtr<IDispatch> TryCreateDriver(const std::string& progId, CallFailure& failure) {
    failure = CallFailure{};
    failure.member = progId;
    CLSID clsid{};
    const UniqueBstr name = Utf8ToBstr(progId);
    HRESULT hr =
        progId.starts_with("{") ? CLSIDFromString(name.get(), &clsid) : CLSIDFromProgID(name.get(), &clsid);
    if (FAILED(hr)) {
        failure.step = CallFailure::Step::Register;
        failure.hr = hr;
        return {};
    }
    ComPtr<IDispatch> dispatch;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, dispatch.PutVoid());
    if (FAILED(hr) || !dispatch) {
        failure.step = CallFailure::Step::Create;
        failure.hr = hr;
        failure.description = LastClassCreationError();
        return {};
    }
    return dispatch;
}

ComPtr<IDispatch> CreateDriver(const std::string& progId, const FailureHandler& onFailure) {
    CallFailure failure;
    ComPtr<IDispatch> dispatch = TryCreateDriver(progId, failure);
    if (!dispatch) {
        if (onFailure) onFailure(failure);
        throw ClientError(std::move(failure));
    }
    return dispatch;
}

LateBoundDriver::LateBoundDriver(ComPtr<IDispatch> dispatch, FailureHandler onFailure, Conversion conversion)
    : dispatch_(std::move(dispatch)), onFailure_(std::move(onFailure)), conversion_(conversion) {}

void LateBoundDriver::Fail(const CallFailure& failure) const {
    if (onFailure_) onFailure_(failure);
    throw ClientError(failure);
}

DISPID LateBoundDriver::IdOf(const std::string& name) const {
    {
        std::lock_guard lock(*idsMutex_);
        if (const auto found = ids_.find(name); found != ids_.end()) return found->second;
    }
    UniqueBstr wide = Utf8ToBstr(name);
    LPOLESTR names[] = {wide.get()};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) Fail(Failed(CallFailure::Step::Name, hr, name));
    std::lock_guard lock(*idsMutex_);
    ids_.emplace(name, id);
    return id;
}

HRESULT LateBoundDriver::TryInvoke(DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result,
                                   std::string& description, UINT* argError) const {
    ExcepInfo exception;
    UINT refused = 0;
    const HRESULT hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                         exception.Get(), &refused);
    if (argError != nullptr) *argError = refused;
    description = hr == DISP_E_EXCEPTION ? exception.Description() : std::string();
    return hr;
}

void LateBoundDriver::Invoke(const std::string& name, WORD flags, DISPPARAMS& params, VARIANT* result) const {
    std::string description;
    const HRESULT hr = TryInvoke(IdOf(name), flags, params, result, description);
    if (FAILED(hr)) {
        CallFailure failure = Failed(CallFailure::Step::Invoke, hr, name);
        failure.flags = flags;
        failure.description = std::move(description);
        Fail(failure);
    }
}

void LateBoundDriver::Call(const std::string& name, VARIANT& result) const {
    VariantClear(&result);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Invoke(name, DISPATCH_METHOD, none, &result);
}

void LateBoundDriver::Get(const std::string& name, VARIANT& value) const {
    VariantClear(&value);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Invoke(name, DISPATCH_PROPERTYGET, none, &value);
}

void LateBoundDriver::Put(const std::string& name, const VARIANT& value) const {
    VARIANT arg = value;  // a shallow copy: the callee only reads its arguments
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&arg, &named, 1, 1};
    Invoke(name, DISPATCH_PROPERTYPUT, params, nullptr);
}

void LateBoundDriver::Convert(const std::string& name, VARIANT& value, VARTYPE type, VARIANT& out) const {
    HRESULT hr = S_OK;
    if (conversion_ == Conversion::Exact) {
        if (value.vt == type) {
            out = value;  // the value moves: `value` is left empty
            value.vt = VT_EMPTY;
        } else {
            hr = DISP_E_TYPEMISMATCH;
        }
    } else {
        hr = VariantChangeType(&out, &value, 0, type);
    }
    if (FAILED(hr)) {
        CallFailure failure = Failed(CallFailure::Step::Convert, hr, name);
        failure.wanted = type;
        Fail(failure);
    }
}

LONG LateBoundDriver::CallLong(const std::string& name) const {
    Variant result;
    Call(name, *result);
    Variant number;
    Convert(name, *result, VT_I4, *number);
    return number->lVal;
}

void LateBoundDriver::GetAs(const std::string& name, VARTYPE type, VARIANT& out) const {
    Variant value;
    Get(name, *value);
    VariantClear(&out);
    Convert(name, *value, type, out);
}

LONG LateBoundDriver::GetLong(const std::string& name) const {
    Variant value;
    GetAs(name, VT_I4, *value);
    return value->lVal;
}

bool LateBoundDriver::GetBool(const std::string& name) const {
    Variant value;
    GetAs(name, VT_BOOL, *value);
    return value->boolVal != VARIANT_FALSE;
}

std::string LateBoundDriver::GetText(const std::string& name) const {
    Variant value;
    GetAs(name, VT_BSTR, *value);
    return BstrToUtf8(value->bstrVal);
}

CY LateBoundDriver::GetCurrency(const std::string& name) const {
    Variant value;
    GetAs(name, VT_CY, *value);
    return value->cyVal;
}

double LateBoundDriver::GetDouble(const std::string& name) const {
    Variant value;
    GetAs(name, VT_R8, *value);
    return value->dblVal;
}

DATE LateBoundDriver::GetDate(const std::string& name) const {
    Variant value;
    GetAs(name, VT_DATE, *value);
    return value->date;
}

void LateBoundDriver::PutLong(const std::string& name, LONG number) const {
    Variant value;
    value.Get()->vt = VT_I4;
    value.Get()->lVal = number;
    Put(name, *value);
}

void LateBoundDriver::PutBool(const std::string& name, bool on) const {
    Variant value;
    value.Get()->vt = VT_BOOL;
    value.Get()->boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
    Put(name, *value);
}

void LateBoundDriver::PutText(const std::string& name, const std::string& text) const {
    Variant value;
    value.Get()->vt = VT_BSTR;
    value.Get()->bstrVal = Utf8ToBstr(text).release();
    Put(name, *value);
}

void LateBoundDriver::PutCurrency(const std::string& name, CY amount) const {
    Variant value;
    value.Get()->vt = VT_CY;
    value.Get()->cyVal = amount;
    Put(name, *value);
}

void LateBoundDriver::PutDouble(const std::string& name, double number) const {
    Variant value;
    value.Get()->vt = VT_R8;
    value.Get()->dblVal = number;
    Put(name, *value);
}

void LateBoundDriver::PutDate(const std::string& name, DATE date) const {
    Variant value;
    value.Get()->vt = VT_DATE;
    value.Get()->date = date;
    Put(name, *value);
}

ComPtr<ITesselDriver> LateBoundDriver::Interface() const {
    ComPtr<ITesselDriver> driver;
    const HRESULT hr = dispatch_.As(IID_ITesselDriver, driver);
    if (FAILED(hr) || !driver) {
        Fail(Failed(CallFailure::Step::Interface, hr, {}));
    }
    return driver;
}

}  // namespace tessel::client
