#pragma once
// The IUnknown and IDispatch parts of the test doubles that a test hands to COM code: sinks, hosts, objects
// in VARIANTs. They live on the test's stack or in its fixture and count their references instead of freeing
// themselves, so a test can check every AddRef and Release.

#include <atomic>
#include <utility>
#include <vector>

#include "common/com/ComInterfaces.h"

namespace tessel_test {

class StackDispatch : public IDispatch {
  public:
    // Answers IUnknown, IDispatch and the dispinterfaces in `alike` (what a connection point asks its sink
    // for) with its IDispatch.
    explicit StackDispatch(std::vector<IID> alike = {}) : alike_(std::move(alike)) {}
    virtual ~StackDispatch() = default;
    StackDispatch(const StackDispatch&) = delete;
    StackDispatch& operator=(const StackDispatch&) = delete;

    // The references held: the test's own, which it starts with, and those the code under test took.
    std::atomic<ULONG> refs{1};

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = IsAlike(riid) ? static_cast<IDispatch*>(this) : OtherInterface(riid);
        if (*ppv == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++refs; }
    STDMETHOD_(ULONG, Release)() override { return --refs; }

    STDMETHOD(GetTypeInfoCount)(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }

  protected:
    // Another interface of a derived double that is not its IDispatch; nullptr when it has none.
    virtual void* OtherInterface(REFIID) { return nullptr; }

  private:
    bool IsAlike(REFIID riid) const {
        if (riid == IID_IUnknown || riid == IID_IDispatch) return true;
        for (const IID& iid : alike_) {
            if (riid == iid) return true;
        }
        return false;
    }

    std::vector<IID> alike_;
};

}  // namespace tessel_test
