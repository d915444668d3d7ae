#include "driver/automation/ole1C.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "common/com/ComText.h"

namespace {

// The component technology version this component follows, as the host reads it from GetInfo.
constexpr std::string_view kComponentVersion = "1000";

// The message of a failing result from the host, as the log shows it.
std::string HostFailureText(HRESULT hr) {
    char text[64];
    std::snprintf(text, sizeof text, "Ошибка OLE %08X", static_cast<unsigned>(hr));
    return text;
}

// Frees the VARIANT it holds on every way out.
struct TVariantHolder {
    VARIANT value;
    TVariantHolder() { VariantInit(&value); }
    ~TVariantHolder() { VariantClear(&value); }
    TVariantHolder(const TVariantHolder&) = delete;
    TVariantHolder& operator=(const TVariantHolder&) = delete;
};

}  // namespace

Tole1C::Tole1C() : ToleAddin(TDeferEvents{}) {
    ListenToCommands();
}

Tole1C::~Tole1C() = default;

HRESULT Tole1C::CreateInstance(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    tessel::ComPtr<IInitDone> object;
    try {
        // The object frees itself when its last reference goes; the pointer adopts the first one.
        object.Attach(std::make_unique<Tole1C>().release());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
    return object->QueryInterface(riid, ppv);
}

STDMETHODIMP Tole1C::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IInitDone) {
        *ppv = static_cast<IInitDone*>(this);
        AddRef();
        return S_OK;
    }
    return ToleAddin::QueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) Tole1C::AddRef() {
    return ToleAddin::AddRef();
}

STDMETHODIMP_(ULONG) Tole1C::Release() {
    return ToleAddin::Release();
}

STDMETHODIMP Tole1C::Init(IDispatch* pConnection) {
    SetIsClient1C(true);
    if (pConnection != nullptr) {
        tessel::ComPtr<IAsyncEvent> host;
        // A host without IAsyncEvent leaves the object without one: the failure itself is no error.
        if (FAILED(pConnection->QueryInterface(IID_IAsyncEvent, host.PutVoid()))) host.Reset();
        if (host) EnlargeEventBuffer(*host.Get());
        // The one replaced is released outside the lock.
        const std::lock_guard lock(hostLock_);
        std::swap(asyncEvent_, host);
    }
    return S_OK;
}

STDMETHODIMP Tole1C::Done() {
    tessel::ComPtr<IAsyncEvent> host;
    const std::lock_guard lock(hostLock_);
    std::swap(asyncEvent_, host);
    return S_OK;
}

void Tole1C::EnlargeEventBuffer(IAsyncEvent& host) {
    std::string failure;
    try {
        LONG depth = 0;
        HRESULT hr = host.GetEventBufferDepth(&depth);
        if (SUCCEEDED(hr) && depth >= EventBufferDepth) return;
        if (SUCCEEDED(hr)) hr = host.SetEventBufferDepth(EventBufferDepth);
        if (SUCCEEDED(hr)) return;
        failure = HostFailureText(hr);
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "Неизвестная ошибка";
    }
    Engine().Log().WriteError(BufferErrorStep, failure);
}

STDMETHODIMP Tole1C::GetInfo(SAFEARRAY** pInfo) {
    if (pInfo == nullptr || *pInfo == nullptr) return E_POINTER;
    try {
        TVariantHolder version;
        version.value.vt = VT_BSTR;
        version.value.bstrVal = tessel::Utf8ToBstr(kComponentVersion).release();
        LONG index = 0;
        return SafeArrayPutElement(*pInfo, &index, &version.value);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

void Tole1C::FireCommand(std::int32_t commandID) {
    // A sink or the host may drop the last reference while being told; the object outlives the call.
    tessel::ComPtr<IInitDone> self(this);
    TTesselDrv::FireCommand(commandID);
    SendExternalEvent(commandID);
}

void Tole1C::SendExternalEvent(std::int32_t commandID) {
    // A copy, so that a host calling Done from inside the event does not free what is being called.
    tessel::ComPtr<IAsyncEvent> host;
    {
        const std::lock_guard lock(hostLock_);
        host = asyncEvent_;
    }
    if (!host) return;
    bool failed = true;
    std::string failure;
    try {
        const tessel::UniqueBstr source = tessel::Utf8ToBstr(EventSource);
        const tessel::UniqueBstr message = tessel::Utf8ToBstr(EventMessage);
        const tessel::UniqueBstr data = tessel::Utf8ToBstr(std::to_string(commandID));
        const HRESULT hr = host->ExternalEvent(source.get(), message.get(), data.get());
        failed = FAILED(hr);
        if (failed) failure = HostFailureText(hr);
    } catch (const std::exception& error) {
        failure = error.what();
    } catch (...) {
        failure = "Неизвестная ошибка";
    }
    if (failed) Engine().Log().WriteError(EventErrorStep, failure);
}
