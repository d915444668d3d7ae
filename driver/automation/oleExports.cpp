// The four exports of the in-process server. Nothing may throw across them:
// every failure is a result code.
#include <atomic>
#include <new>

#include "common/com/ComInterfaces.h"
#include "common/com/ComTypes.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "driver/automation/ole1C.h"
#include "driver/automation/oleMain.h"
#include "driver/automation/oleRegister.h"

namespace {

// Client references to the class factory and LockServer locks: while either is
// held, the server stays.
std::atomic<LONG> g_factoryRefs{0};
std::atomic<LONG> g_serverLocks{0};

// The factory of the driver's class. There is one per process; its references
// are what DllCanUnloadNow counts as factories in use.
class TDriverFactory final : public IClassFactory {
  public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IClassFactory)) return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++g_factoryRefs); }
    STDMETHODIMP_(ULONG) Release() override {
        // An unbalanced Release must not wrap the count and keep the server "in
        // use" for ever.
        LONG refs = g_factoryRefs.load();
        while (refs > 0 && !g_factoryRefs.compare_exchange_weak(refs, refs - 1)) {
        }
        return static_cast<ULONG>(refs > 0 ? refs - 1 : 0);
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        HRESULT hr = E_FAIL;
        try {
            hr = Tole1C::CreateInstance(riid, ppv);
        } catch (const std::bad_alloc&) {
            hr = E_OUTOFMEMORY;
        } catch (...) {
            hr = E_FAIL;
        }
        if (FAILED(hr)) *ppv = nullptr;
        return hr;
    }

    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            ++g_serverLocks;
            return S_OK;
        }
        LONG locks = g_serverLocks.load();
        do {
            // Unlocking what was never locked is the caller's error, not a reason to
            // go negative.
            if (locks <= 0) return E_UNEXPECTED;
        } while (!g_serverLocks.compare_exchange_weak(locks, locks - 1));
        return S_OK;
    }
};

TDriverFactory g_driverFactory;

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_TesselDriver)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_driverFactory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow() {
    const bool inUse =
        TTesselDrv::LiveObjects() != 0 || g_serverLocks.load() != 0 || g_factoryRefs.load() != 0;
    return inUse ? S_FALSE : S_OK;
}

STDAPI DllRegisterServer() {
    return RegisterTesselServer();
}

STDAPI DllUnregisterServer() {
    return UnregisterTesselServer();
}
