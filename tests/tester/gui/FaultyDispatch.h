#pragma once
// The driver object behind a dispatch interface that makes one member fail from a chosen call on, as no
// register can make it fail: for the failures a page meets only when something unforeseen goes wrong.

#include <atomic>
#include <mutex>
#include <string>

#include "common/com/ComPtr.h"
#include "common/com/ComText.h"
#include "common/com/OleAuto.h"

namespace tessel_test {

class FaultyDispatch final : public IDispatch {
  public:
    explicit FaultyDispatch(tessel::ComPtr<IDispatch> target) : target_(std::move(target)) {}

    // After `calls` more calls of member `name` go through, every later one fails with `hr` (the object
    // never hears of it).
    void FailAfter(const std::string& name, int calls, HRESULT hr = E_FAIL) {
        const tessel::UniqueBstr text = tessel::Utf8ToBstr(name);
        LPOLESTR names[] = {text.get()};
        DISPID id = DISPID_UNKNOWN;
        target_->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
        std::lock_guard lock(mutex_);
        failing_ = id;
        left_ = calls;
        hr_ = hr;
    }

    // ---- IUnknown: this object for IDispatch, the driver object for every other interface ----
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        return target_->QueryInterface(riid, ppv);
    }
    // Lives in the test's fixture: references are only counted.
    STDMETHOD_(ULONG, AddRef)() override { return ++refs_; }
    STDMETHOD_(ULONG, Release)() override { return --refs_; }

    // ---- IDispatch ----
    STDMETHOD(GetTypeInfoCount)(UINT* count) override { return target_->GetTypeInfoCount(count); }
    STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** info) override {
        return target_->GetTypeInfo(index, lcid, info);
    }
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return target_->GetIDsOfNames(riid, names, count, lcid, ids);
    }
    STDMETHOD(Invoke)
    (DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
     UINT* argErr) override {
        {
            std::lock_guard lock(mutex_);
            if (id == failing_ && left_-- <= 0) return hr_;
        }
        return target_->Invoke(id, riid, lcid, flags, params, result, excep, argErr);
    }

  private:
    tessel::ComPtr<IDispatch> target_;
    std::atomic<ULONG> refs_{1};
    std::mutex mutex_;
    DISPID failing_ = DISPID_UNKNOWN;
    int left_ = 0;
    HRESULT hr_ = S_OK;
};

}  // namespace tessel_test
