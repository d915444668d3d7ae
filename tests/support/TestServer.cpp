// A minimal in-process server for the class-creation tests: one class whose objects count themselves, served
// through DllGetClassObject as a real driver library serves its own.
#include <atomic>

#include "common/com/ComInterfaces.h"
#include "common/com/ComTypes.h"

namespace {

// {0C0FFEE1-1234-4321-8001-020304050607}, the class the tests register.
constexpr CLSID kServedClsid = {0x0C0FFEE1, 0x1234, 0x4321, {0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}};

std::atomic<LONG> liveObjects{0};

class Object final : public IUnknown {
  public:
    Object() { ++liveObjects; }
    ~Object() { --liveObjects; }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualGUID(riid, IID_IUnknown)) return E_NOINTERFACE;
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = --refs_;
        if (left == 0) delete this;  // COM reference counting owns the object
        return static_cast<ULONG>(left);
    }

  private:
    std::atomic<LONG> refs_{1};
};

class Factory final : public IClassFactory {
  public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IClassFactory)) return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    // The factory is static: counting it would only hide leaks of the objects.
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* object = new Object;  // COM reference counting owns the object
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

Factory factory;

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualGUID(clsid, kServedClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(riid, ppv);
}

STDAPI_(LONG) TestServerLiveObjects() {
    return liveObjects.load();
}
