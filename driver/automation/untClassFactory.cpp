#include "driver/automation/untClassFactory.h"

std::atomic<LONG> TClassFactory::refs_{0};
std::atomic<LONG> TClassFactory::locks_{0};

namespace {

// Decrements `count` unless it is 0; the count before.
LONG DecrementAboveZero(std::atomic<LONG>& count) {
    LONG value = count.load();
    while (value > 0 && !count.compare_exchange_weak(value, value - 1)) {
    }
    return value;
}

}  // namespace

STDMETHODIMP TClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) TClassFactory::AddRef() {
    return static_cast<ULONG>(++refs_);
}

STDMETHODIMP_(ULONG) TClassFactory::Release() {
    const LONG before = DecrementAboveZero(refs_);
    return static_cast<ULONG>(before > 0 ? before - 1 : 0);
}

STDMETHODIMP TClassFactory::LockServer(BOOL lock) {
    if (lock) {
        ++locks_;
        return S_OK;
    }
    return DecrementAboveZero(locks_) > 0 ? S_OK : E_UNEXPECTED;
}

bool TClassFactory::InUse() {
    return refs_.load() != 0 || locks_.load() != 0;
}
