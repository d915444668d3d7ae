#include "driver/forms/PageObject.h"

#include <exception>
#include <string>

#include "common/com/ComText.h"
#include "driver/forms/FormView.h"

namespace {

LPOLESTR TaskText(const char* utf8) {
    const tessel::UniqueBstr text = tessel::Utf8ToBstr(utf8);
    const std::size_t chars = std::char_traits<OLECHAR>::length(text.get()) + 1;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(chars * sizeof(OLECHAR)));
    if (copy != nullptr) std::char_traits<OLECHAR>::copy(copy, text.get(), chars);
    return copy;
}

}  // namespace

STDMETHODIMP TPageObjectBase::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IPropertyPage)) return E_NOINTERFACE;
    *ppv = static_cast<IPropertyPage*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) TPageObjectBase::AddRef() {
    return ++refs_;
}

STDMETHODIMP_(ULONG) TPageObjectBase::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP TPageObjectBase::SetPageSite(IPropertyPageSite* site) {
    site_ = tessel::ComPtr<IPropertyPageSite>(site);
    return S_OK;
}

STDMETHODIMP TPageObjectBase::Activate(HWND parent, LPCRECT rect, BOOL) {
    if (!driver_) return E_UNEXPECTED;
    try {
        if (!MakePage(parent, rect, driver_.Get())) return E_INVALIDARG;
    } catch (const std::exception&) {
        DropPage();
        return E_FAIL;
    }
    return S_OK;
}

STDMETHODIMP TPageObjectBase::Deactivate() {
    DropPage();
    return S_OK;
}

STDMETHODIMP TPageObjectBase::GetPageInfo(PROPPAGEINFO* info) {
    if (info == nullptr) return E_POINTER;
    try {
        *info = PROPPAGEINFO{sizeof(PROPPAGEINFO), TaskText(kDriverCaption), PageSize(), nullptr, nullptr, 0};
    } catch (const std::exception&) {
        return E_FAIL;
    }
    return info->pszTitle != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP TPageObjectBase::SetObjects(ULONG count, IUnknown** objects) {
    if (count == 0) {
        // The window calls the driver: it goes first.
        DropPage();
        driver_.Reset();
        return S_OK;
    }
    if (objects == nullptr || objects[0] == nullptr) return E_POINTER;
    tessel::ComPtr<ITesselDriver> driver;
    const HRESULT hr = objects[0]->QueryInterface(IID_ITesselDriver, driver.PutVoid());
    if (FAILED(hr)) return hr;
    driver_ = driver;
    return S_OK;
}

STDMETHODIMP TPageObjectBase::Show(UINT command) {
    if (HasPage()) ShowPage(command != SW_HIDE);
    return S_OK;
}

STDMETHODIMP TPageObjectBase::Move(LPCRECT rect) {
    if (rect == nullptr) return E_POINTER;
    if (HasPage()) MovePage(*rect);
    return S_OK;
}

STDMETHODIMP TPageObjectBase::IsPageDirty() {
    return dirty_ ? S_OK : S_FALSE;
}

STDMETHODIMP TPageObjectBase::Apply() {
    if (HasPage() && !ApplyPage()) return E_FAIL;
    dirty_ = false;
    if (site_) site_->OnStatusChange(PROPPAGESTATUS_CLEAN);
    return S_OK;
}

STDMETHODIMP TPageObjectBase::Help(LPCOLESTR) {
    return E_NOTIMPL;
}

STDMETHODIMP TPageObjectBase::TranslateAccelerator(MSG*) {
    return S_FALSE;
}

void TPageObjectBase::MarkDirty() {
    if (dirty_) return;
    dirty_ = true;
    if (site_) site_->OnStatusChange(PROPPAGESTATUS_DIRTY);
}
