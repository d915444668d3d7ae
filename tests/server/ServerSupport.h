#pragma once
// What the server tests share: the driver's identifiers, the built driver library as a client sees it, its
// registration, and late-bound calls on a driver object.

#include <dlfcn.h>

#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>

#include "common/com/ComCreate.h"
#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "common/com/OleAuto.h"
#include "common/platform/Registry.h"
#include "support/DriverRegistration.h"
#include "support/EmulatorProgram.h"
#include "support/ScopedEnv.h"
#include "support/ScopedVariant.h"

namespace server_test {

using tessel_test::DriverCopy;
using tessel_test::DriverLibrary;
using tessel_test::EmulatorProgram;
using tessel_test::Env;
using tessel_test::kRegisterAt2;
using tessel_test::PortVariable;
using tessel_test::RegsvrSucceeds;
using tessel_test::RunRegsvr;
using tessel_test::RunResult;
using tessel_test::ScopedEnv;
using tessel_test::ScopedVariant;

inline const std::string kDriverClsid = "{16A80A2A-BB4C-4B65-B28E-8EBDAAE426C8}";
inline const std::string kPageClsid = "{F9B8E223-0785-4F4E-8C9F-DD4E08D42CD1}";
inline const std::string kLibid = "{5758880F-6501-4DE5-A374-E94EDB750A8C}";
inline const std::string kProgId = "Addin.TesselDriver";
inline constexpr CLSID kDriverClass = {
    0x16A80A2A, 0xBB4C, 0x4B65, {0xB2, 0x8E, 0x8E, 0xBD, 0xAA, 0xE4, 0x26, 0xC8}};

// The driver library loaded in this process, as class creation loads it: once, and never unloaded, since
// objects it handed out may outlive any test.
inline void* LoadedDriver() {
    static void* const handle = ::dlopen(DriverLibrary().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error("cannot load the driver library");
    return handle;
}

template <typename Function>
Function DriverExport(const char* name) {
    void* symbol = ::dlsym(LoadedDriver(), name);
    if (symbol == nullptr) throw std::runtime_error(std::string("the driver does not export ") + name);
    return reinterpret_cast<Function>(symbol);
}

// The default value of an HKEY_CLASSES_ROOT key, or a named value; nothing when missing.
inline std::optional<std::string> ClassesValue(const std::string& key, const std::string& name = "") {
    tessel::Registry reg(tessel::Hive::ClassesRoot);
    if (!reg.OpenKey("\\" + key, false) || !reg.ValueExists(name)) return std::nullopt;
    return reg.ReadString(name);
}

inline bool ClassesKeyExists(const std::string& key) {
    return tessel::Registry(tessel::Hive::ClassesRoot).KeyExists("\\" + key);
}

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
    LONG GetLong(const std::string& name) const { return Long(name, DISPATCH_PROPERTYGET); }
    std::string GetString(const std::string& name) const {
        ScopedVariant value;
        InvokeInto(name, DISPATCH_PROPERTYGET, nullptr, value.v);
        if (value.v.vt != VT_BSTR) throw std::runtime_error(name + " is not a string");
        return tessel::BstrToUtf8(value.v.bstrVal);
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

}  // namespace server_test
