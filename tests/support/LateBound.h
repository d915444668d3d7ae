#pragma once
// A driver object as a script host reaches it: created by its ProgID through the registration, its members
// called by name through IDispatch.

#include <cstdio>
#include <stdexcept>
#include <string>

#include "common/com/ComCreate.h"
#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "common/com/OleAuto.h"
#include "support/ScopedVariant.h"

namespace tessel_test {

inline const std::string kProgId = "Addin.TesselDriver";

// Late-bound calls on a driver object, names resolved by GetIDsOfNames as a script host does. A failing
// call throws, which fails the test with the member's name.
class LateBound {
  public:
    explicit LateBound(tessel::ComPtr<IDispatch> object) : object_(std::move(object)) {}

    IDispatch* Object() const { return object_.Get(); }

    DISPID Id(const std::string& name) const {
        tessel::UniqueBstr text = tessel::Utf8ToBstr(name);
        LPOLESTR names[] = {text.get()};
        DISPID id = DISPID_UNKNOWN;
        Check(object_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), "GetIDsOfNames", name);
        return id;
    }

    LONG Call(const std::string& name) const { return Long(name, DISPATCH_METHOD); }
    // A method that yields nothing (AboutBox).
    void CallProcedure(const std::string& name) const {
        ScopedVariant ignored;
        InvokeInto(name, DISPATCH_METHOD, nullptr, ignored.v);
    }
    LONG GetLong(const std::string& name) const { return Long(name, DISPATCH_PROPERTYGET); }
    std::string GetString(const std::string& name) const {
        ScopedVariant value;
        InvokeInto(name, DISPATCH_PROPERTYGET, nullptr, value.v);
        if (value.v.vt != VT_BSTR) throw std::runtime_error(name + " is not a string");
        return tessel::BstrToUtf8(value.v.bstrVal);
    }
    bool GetBool(const std::string& name) const {
        ScopedVariant value;
        InvokeInto(name, DISPATCH_PROPERTYGET, nullptr, value.v);
        if (value.v.vt != VT_BOOL) throw std::runtime_error(name + " is not a boolean");
        return value.v.boolVal != VARIANT_FALSE;
    }
    DATE GetDate(const std::string& name) const {
        ScopedVariant value;
        InvokeInto(name, DISPATCH_PROPERTYGET, nullptr, value.v);
        if (value.v.vt != VT_DATE) throw std::runtime_error(name + " is not a date");
        return value.v.date;
    }
    void PutString(const std::string& name, const std::string& value) const {
        ScopedVariant arg;
        arg.v.vt = VT_BSTR;
        arg.v.bstrVal = tessel::Utf8ToBstr(value).release();
        Put(name, arg.v);
    }
    void PutLong(const std::string& name, LONG value) const {
        ScopedVariant arg;
        arg.v.vt = VT_I4;
        arg.v.lVal = value;
        Put(name, arg.v);
    }
    void PutBool(const std::string& name, bool value) const {
        ScopedVariant arg;
        arg.v.vt = VT_BOOL;
        arg.v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        Put(name, arg.v);
    }

  private:
    static void Check(HRESULT hr, const char* step, const std::string& name) {
        if (FAILED(hr)) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
            throw std::runtime_error(std::string(step) + " of " + name + " failed: " + code);
        }
    }
    LONG Long(const std::string& name, WORD flags) const {
        ScopedVariant value;
        InvokeInto(name, flags, nullptr, value.v);
        if (value.v.vt != VT_I4) throw std::runtime_error(name + " did not yield a long");
        return value.v.lVal;
    }
    void InvokeInto(const std::string& name, WORD flags, DISPPARAMS* params, VARIANT& result) const {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        Check(object_->Invoke(Id(name), IID_NULL, 0, flags, params != nullptr ? params : &none, &result,
                              nullptr, nullptr),
              "Invoke", name);
    }
    void Put(const std::string& name, VARIANT& value) const {
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &named, 1, 1};
        ScopedVariant ignored;
        InvokeInto(name, DISPATCH_PROPERTYPUT, &params, ignored.v);
    }

    tessel::ComPtr<IDispatch> object_;
};

// A driver object created by its ProgID through the registration, as any client creates it.
inline tessel::ComPtr<IDispatch> CreateByProgId(HRESULT& hr) {
    tessel::ComPtr<IDispatch> object;
    tessel::UniqueBstr progId = tessel::Utf8ToBstr(kProgId);
    CLSID clsid{};
    hr = CLSIDFromProgID(progId.get(), &clsid);
    if (FAILED(hr)) return object;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid());
    return object;
}

}  // namespace tessel_test
