#pragma once
// Test doubles for the COM layer: objects that live on the stack and count their references instead of
// freeing themselves, so a test can check every AddRef and Release.

#include <string>
#include <vector>

#include "common/com/ComInterfaces.h"

namespace comtest {

// An IDispatch whose value property (DISPID_VALUE) yields a 32-bit integer; answers IUnknown, IDispatch and
// the extra interfaces it is given.
class CountedDispatch : public IDispatch {
  public:
    explicit CountedDispatch(LONG value = 0, std::vector<IID> extra = {})
        : value_(value), extra_(std::move(extra)) {}

    ULONG refs = 1;
    int invokes = 0;

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        bool known = riid == IID_IUnknown || riid == IID_IDispatch;
        for (const IID& iid : extra_) known = known || riid == iid;
        if (!known) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override { return --refs; }
    STDMETHOD(GetTypeInfoCount)(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
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
    std::vector<IID> extra_;
};

}  // namespace comtest
