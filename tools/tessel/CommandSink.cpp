#include "tools/tessel/CommandSink.h"

#include <stdexcept>

#include "common/com/ComText.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "tools/tessel/DispatchDriver.h"

namespace tessel::cli {

STDMETHODIMP CommandSink::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_IDriverEvents) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CommandSink::AddRef() {
    return ++references_;
}

STDMETHODIMP_(ULONG) CommandSink::Release() {
    return --references_;
}

STDMETHODIMP CommandSink::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP CommandSink::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo != nullptr) *ppTInfo = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CommandSink::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
    if (rgszNames == nullptr || rgDispId == nullptr) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < cNames; ++i) {
        const bool command = i == 0 && BstrToUtf8(rgszNames[i]) == "Command";
        rgDispId[i] = command ? TesselDispIdCommandEvent : DISPID_UNKNOWN;
        if (!command) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

STDMETHODIMP CommandSink::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams, VARIANT*,
                                 EXCEPINFO*, UINT* puArgErr) {
    if (dispIdMember != TesselDispIdCommandEvent) return DISP_E_MEMBERNOTFOUND;
    if (pDispParams == nullptr || pDispParams->cArgs != 1 || pDispParams->rgvarg == nullptr) {
        return DISP_E_BADPARAMCOUNT;
    }
    Variant id;
    const HRESULT hr = VariantChangeType(id.Get(), &pDispParams->rgvarg[0], 0, VT_I4);
    if (FAILED(hr)) {
        if (puArgErr != nullptr) *puArgErr = 0;
        return DISP_E_TYPEMISMATCH;
    }
    pending_.push_back(id->lVal);
    return S_OK;
}

std::int32_t CommandSink::TakeNext() {
    const std::int32_t id = pending_.front();
    pending_.pop_front();
    return id;
}

EventConnection::EventConnection(IDispatch& driver, IDispatch& sink) {
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr = driver.QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
    if (FAILED(hr)) throw std::runtime_error("the driver offers no events (" + HResultText(hr) + ")");
    hr = container->FindConnectionPoint(DIID_IDriverEvents, point_.Put());
    if (FAILED(hr))
        throw std::runtime_error("the driver has no IDriverEvents point (" + HResultText(hr) + ")");
    hr = point_->Advise(&sink, &cookie_);
    if (FAILED(hr)) throw std::runtime_error("the driver refused the event sink (" + HResultText(hr) + ")");
}

EventConnection::~EventConnection() {
    point_->Unadvise(cookie_);
}

}  // namespace tessel::cli
