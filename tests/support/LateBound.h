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
#include "common/com/OwnedVariant.h"
#include "driver/client/DriverClient.h"

namespace tessel_test {

inline const std::string kProgId = "Addin.TesselDriver";

// Late-bound calls on a driver object, names resolved by GetIDsOfNames as a script host does. Every value
// must come in the type asked for; a failing call throws, which fails the test with the member's name.
class LateBound {
  public:
    explicit LateBound(tessel::ComPtr<IDispatch> object)
        : calls_(std::move(object), Raise, tessel::client::Conversion::Exact) {}

    IDispatch* Object() const { return calls_.Object(); }

    DISPID Id(const std::string& name) const { return calls_.IdOf(name); }

    LONG Call(const std::string& name) const { return calls_.CallLong(name); }
    // A method that yields nothing (AboutBox).
    void CallProcedure(const std::string& name) const {
        tessel::OwnedVariant ignored;
        calls_.Call(name, *ignored);
    }
    LONG GetLong(const std::string& name) const { return calls_.GetLong(name); }
    std::string GetString(const std::string& name) const { return calls_.GetText(name); }
    bool GetBool(const std::string& name) const { return calls_.GetBool(name); }
    DATE GetDate(const std::string& name) const { return calls_.GetDate(name); }
    void PutString(const std::string& name, const std::string& value) const { calls_.PutText(name, value); }
    void PutLong(const std::string& name, LONG value) const { calls_.PutLong(name, value); }
    void PutBool(const std::string& name, bool value) const { calls_.PutBool(name, value); }

  private:
    static void Raise(const tessel::client::CallFailure& f) {
        using Step = tessel::client::CallFailure::Step;
        if (f.step == Step::Convert) {
            switch (f.wanted) {
                case VT_I4:
                    throw std::runtime_error(f.member + " did not yield a long");
                case VT_BSTR:
                    throw std::runtime_error(f.member + " is not a string");
                case VT_BOOL:
                    throw std::runtime_error(f.member + " is not a boolean");
                default:
                    throw std::runtime_error(f.member + " is not a date");
            }
        }
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(f.hr));
        const char* step = f.step == Step::Name ? "GetIDsOfNames" : "Invoke";
        throw std::runtime_error(std::string(step) + " of " + f.member + " failed: " + code);
    }

    tessel::client::LateBoundDriver calls_;
};

// A driver object created by its ProgID through the registration, as any client creates it.
inline tessel::ComPtr<IDispatch> CreateByProgId(HRESULT& hr) {
    tessel::client::CallFailure failure;
    tessel::ComPtr<IDispatch> object = tessel::client::TryCreateDriver(kProgId, failure);
    hr = object ? S_OK : failure.hr;
    return object;
}

}  // namespace tessel_test
