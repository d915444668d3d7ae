// The four exports of the in-process server. Nothing may throw across them:
// every failure is a result code.
#include <new>

#include "common/com/ComInterfaces.h"
#include "common/com/ComTypes.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "driver/automation/ole1C.h"
#include "driver/automation/oleMain.h"
#include "driver/automation/oleRegister.h"
#include "driver/automation/untClassFactory.h"
#include "driver/automation/untDialogs.h"

namespace {

// The class object of the driver's class.
class TDriverFactory final : public TClassFactory {
  public:
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
};

TDriverFactory g_driverFactory;

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualCLSID(clsid, CLSID_TesselDriver)) return g_driverFactory.QueryInterface(riid, ppv);
    if (IsEqualCLSID(clsid, CLSID_TesselDrvPage)) return GetPropertyPageClassObject(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
    // While a client holds an object, a class object or a lock, the server stays.
    return TTesselDrv::LiveObjects() != 0 || TClassFactory::InUse() ? S_FALSE : S_OK;
}

STDAPI DllRegisterServer() {
    return RegisterTesselServer();
}

STDAPI DllUnregisterServer() {
    return UnregisterTesselServer();
}
