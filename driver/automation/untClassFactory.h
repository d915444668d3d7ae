#pragma once
// The class objects of the server: one per creatable class, living as long as the process. What they share is
// what DllCanUnloadNow counts: client references to any of them and LockServer locks.

#include <atomic>

#include "common/com/ComInterfaces.h"

class TClassFactory : public IClassFactory {
  public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    // An unbalanced Release never wraps the count below zero.
    STDMETHODIMP_(ULONG) Release() override;
    // Unlocking what was never locked is E_UNEXPECTED.
    STDMETHODIMP LockServer(BOOL lock) override;

    // Whether a client holds a class object or a lock.
    static bool InUse();

  protected:
    TClassFactory() = default;
    ~TClassFactory() = default;

  private:
    static std::atomic<LONG> refs_;
    static std::atomic<LONG> locks_;
};
