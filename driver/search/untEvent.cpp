#include "driver/search/untEvent.h"

#include "driver/search/untSearchParams.h"

namespace {

// The stock events of a control (click, key and mouse events) that a host may raise on any sink.
constexpr DISPID kFirstStockEvent = -607;
constexpr DISPID kLastStockEvent = -600;

tessel::ComPtr<IUnknown> AsUnknown(tessel::ComPtr<ITesselDriver> driver) {
    tessel::ComPtr<IUnknown> unknown;
    unknown.Attach(driver.Detach());
    return unknown;
}

}  // namespace

TEventDispatch::TEventDispatch(TCommandHandler handler, const IID& events)
    : events_(events), handler_(std::move(handler)) {}

STDMETHODIMP TEventDispatch::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == events_) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TEventDispatch::AddRef() {
    return ++refs_;
}

STDMETHODIMP_(ULONG) TEventDispatch::Release() {
    return --refs_;
}

STDMETHODIMP TEventDispatch::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP TEventDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo != nullptr) *ppTInfo = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP TEventDispatch::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

STDMETHODIMP TEventDispatch::Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pDispParams,
                                    VARIANT*, EXCEPINFO*, UINT*) {
    if (dispIdMember >= kFirstStockEvent && dispIdMember <= kLastStockEvent) return S_OK;
    if (dispIdMember != TesselDispIdCommandEvent) return S_OK;
    if (pDispParams == nullptr || pDispParams->cArgs == 0 || pDispParams->rgvarg == nullptr) return S_OK;
    // Arguments come last first: the first argument is the last element.
    VARIANT id;
    VariantInit(&id);
    if (FAILED(VariantChangeType(&id, &pDispParams->rgvarg[pDispParams->cArgs - 1], 0, VT_I4))) return S_OK;
    const std::int32_t commandID = id.lVal;
    std::lock_guard lock(handlerMutex_);
    if (!handler_) return S_OK;
    std::string failure;
    try {
        handler_(commandID);
        return S_OK;
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "unknown error";
    }
    // The event was delivered; what the handler made of it is no failure of the driver's call.
    {
        std::lock_guard failureLock(failureMutex_);
        lastFailure_ = std::move(failure);
    }
    ++failures_;
    return S_OK;
}

std::string TEventDispatch::LastHandlerFailure() const {
    std::lock_guard lock(failureMutex_);
    return lastFailure_;
}

void TEventDispatch::DetachHandler() {
    std::lock_guard lock(handlerMutex_);
    handler_ = nullptr;
}

TEventDriver::TEventDriver(tessel::ComPtr<ITesselDriver> driver, TCommandHandler handler)
    : TEventDriver(AsUnknown(std::move(driver)), DIID_IPageEvents, std::move(handler)) {}

TEventDriver::TEventDriver(tessel::ComPtr<IUnknown> source, const IID& events, TCommandHandler handler)
    : source_(std::move(source)), dispatch_(std::make_unique<TEventDispatch>(std::move(handler), events)) {}

TEventDriver::~TEventDriver() {
    Disconnect();
    // Whoever still holds the object after Unadvise would be left with a dangling reference; keeping it
    // alive, detached from its handler, is the lesser harm.
    if (dispatch_->RefCount() != 0) static_cast<void>(dispatch_.release());
}

void TEventDriver::Connect() {
    if (FAILED(TryConnect())) throw ESearchError("Невозможно подключиться к событийному интерфейсу");
}

HRESULT TEventDriver::TryConnect() noexcept {
    if (Connected()) return S_OK;
    if (!source_) return E_POINTER;
    tessel::ComPtr<IConnectionPointContainer> container;
    HRESULT hr = source_.As(IID_IConnectionPointContainer, container);
    if (FAILED(hr)) return hr;
    if (!container) return E_NOINTERFACE;
    tessel::ComPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(dispatch_->Events(), point.Put());
    if (FAILED(hr)) return hr;
    if (!point) return CONNECT_E_NOCONNECTION;
    DWORD cookie = 0;
    hr = point->Advise(static_cast<IDispatch*>(dispatch_.get()), &cookie);
    if (FAILED(hr)) return hr;
    // Without a cookie the connection could never be undone.
    if (cookie == 0) return CONNECT_E_CANNOTCONNECT;
    point_ = std::move(point);
    cookie_ = cookie;
    return S_OK;
}

void TEventDriver::Disconnect() noexcept {
    if (point_) {
        // A refused Unadvise leaves nothing to undo here: the handler is detached below all the same.
        static_cast<void>(point_->Unadvise(cookie_));
        point_.Reset();
    }
    cookie_ = 0;
    dispatch_->DetachHandler();
}
