#pragma once
// Test doubles for the COM layer: objects that live on the stack and count their references instead of
// freeing themselves, so a test can check every AddRef and Release.

#include <vector>

#include "support/StackDispatch.h"

namespace comtest {

// An IDispatch whose value property (DISPID_VALUE) yields a 32-bit integer; answers IUnknown, IDispatch and
// the extra interfaces it is given.
class CountedDispatch : public tessel_test::StackDispatch {
  public:
    explicit CountedDispatch(LONG value = 0, std::vector<IID> extra = {})
        : StackDispatch(std::move(extra)), value_(value) {}

    int invokes = 0;

    STDMETHOD(Invoke)
    (DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
        ++invokes;
        if (id != DISPID_VALUE || (flags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
        if (result == nullptr) return E_POINTER;
        result->vt = VT_I4;
        result->lVal = value_;
        return S_OK;
    }

  private:
    LONG value_;
};

}  // namespace comtest
