#include "driver/native1c/HostConnection.h"

#include <algorithm>
#include <new>
#include <string>

#include "common/com/OleAuto.h"

namespace {

// A modifiable NUL-terminated copy of a BSTR, as the platform's event takes its texts.
std::basic_string<WCHAR_T> Copy(BSTR text) {
    if (text == nullptr) return {};
    return std::basic_string<WCHAR_T>(text, SysStringLen(text));
}

}  // namespace

THostConnection::THostConnection(IAddInDefBase& platform) : platform_(&platform) {}

void THostConnection::Detach() {
    const std::lock_guard lock(lock_);
    platform_ = nullptr;
}

STDMETHODIMP THostConnection::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDispatch)) {
        *ppv = static_cast<IDispatch*>(this);
    } else if (IsEqualGUID(riid, IID_IAsyncEvent)) {
        *ppv = static_cast<IAsyncEvent*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) THostConnection::AddRef() {
    return ++refCount_;
}

STDMETHODIMP_(ULONG) THostConnection::Release() {
    const ULONG left = --refCount_;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP THostConnection::GetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP THostConnection::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo == nullptr) return E_POINTER;
    *ppTInfo = nullptr;
    return DISP_E_BADINDEX;
}

STDMETHODIMP THostConnection::GetIDsOfNames(REFIID, LPOLESTR*, UINT cNames, LCID, DISPID* rgDispId) {
    if (rgDispId == nullptr) return E_INVALIDARG;
    for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP THostConnection::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return DISP_E_MEMBERNOTFOUND;
}

STDMETHODIMP THostConnection::SetEventBufferDepth(LONG lDepth) {
    const std::lock_guard lock(lock_);
    if (platform_ == nullptr) return E_FAIL;
    return platform_->SetEventBufferDepth(lDepth) ? S_OK : E_FAIL;
}

STDMETHODIMP THostConnection::GetEventBufferDepth(LONG* plDepth) {
    if (plDepth == nullptr) return E_POINTER;
    const std::lock_guard lock(lock_);
    if (platform_ == nullptr) return E_FAIL;
    const long depth = platform_->GetEventBufferDepth();
    *plDepth = depth < 0 ? 0 : static_cast<LONG>(std::min<long>(depth, 0x7FFFFFFF));
    return S_OK;
}

STDMETHODIMP THostConnection::ExternalEvent(BSTR bstrSource, BSTR bstrMessage, BSTR bstrData) {
    try {
        std::basic_string<WCHAR_T> source = Copy(bstrSource);
        std::basic_string<WCHAR_T> message = Copy(bstrMessage);
        std::basic_string<WCHAR_T> data = Copy(bstrData);
        const std::lock_guard lock(lock_);
        if (platform_ == nullptr) return E_FAIL;
        return platform_->ExternalEvent(source.data(), message.data(), data.data()) ? S_OK : E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

STDMETHODIMP THostConnection::CleanBuffer() {
    const std::lock_guard lock(lock_);
    if (platform_ == nullptr) return E_FAIL;
    platform_->CleanEventBuffer();
    return S_OK;
}
