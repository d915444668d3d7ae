#include "driver/dialogs/PageObject.h"

#include <new>

#include "common/com/ComText.h"
#include "driver/dialogs/MyForm.h"
#include "driver/dialogs/fmuPage.h"

namespace {

QRect ToQRect(const RECT& r) {
    return QRect(QPoint(r.left, r.top), QSize(r.right - r.left, r.bottom - r.top));
}

LPOLESTR TaskText(const char* utf8) {
    const tessel::UniqueBstr text = tessel::Utf8ToBstr(utf8);
    const std::size_t chars = std::char_traits<OLECHAR>::length(text.get()) + 1;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(chars * sizeof(OLECHAR)));
    if (copy != nullptr) std::char_traits<OLECHAR>::copy(copy, text.get(), chars);
    return copy;
}

}  // namespace

HRESULT TPageObject::Create(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    auto* object = new (std::nothrow) TPageObject;
    if (object == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

TPageObject::~TPageObject() {
    delete page_.data();
}

STDMETHODIMP TPageObject::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IPropertyPage)) return E_NOINTERFACE;
    *ppv = static_cast<IPropertyPage*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) TPageObject::AddRef() {
    return ++refs_;
}

STDMETHODIMP_(ULONG) TPageObject::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP TPageObject::SetPageSite(IPropertyPageSite* site) {
    site_ = tessel::ComPtr<IPropertyPageSite>(site);
    return S_OK;
}

STDMETHODIMP TPageObject::Activate(HWND parent, LPCRECT rect, BOOL) {
    if (!driver_) return E_UNEXPECTED;
    QWidget* container = QWidget::find(static_cast<WId>(reinterpret_cast<std::uintptr_t>(parent)));
    if (container == nullptr) return E_INVALIDARG;
    try {
        delete page_.data();
        page_ = new TfmPage(container, driver_.Get());
        page_->onModified = [this] { MarkDirty(); };
        if (rect != nullptr) page_->move(rect->left, rect->top);
        page_->UpdatePropertyPage();
    } catch (const std::exception&) {
        return E_FAIL;
    }
    return S_OK;
}

STDMETHODIMP TPageObject::Deactivate() {
    delete page_.data();
    return S_OK;
}

STDMETHODIMP TPageObject::GetPageInfo(PROPPAGEINFO* info) {
    if (info == nullptr) return E_POINTER;
    try {
        const QSize size = page_ ? page_->size() : TfmPage::PageSize();
        *info = PROPPAGEINFO{sizeof(PROPPAGEINFO),
                             TaskText(kDriverCaption),
                             {size.width(), size.height()},
                             nullptr,
                             nullptr,
                             0};
    } catch (const std::exception&) {
        return E_FAIL;
    }
    return info->pszTitle != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP TPageObject::SetObjects(ULONG count, IUnknown** objects) {
    if (count == 0) {
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

STDMETHODIMP TPageObject::Show(UINT command) {
    if (page_) page_->setVisible(command != SW_HIDE);
    return S_OK;
}

STDMETHODIMP TPageObject::Move(LPCRECT rect) {
    if (rect == nullptr) return E_POINTER;
    if (page_) page_->move(ToQRect(*rect).topLeft());
    return S_OK;
}

STDMETHODIMP TPageObject::IsPageDirty() {
    return dirty_ ? S_OK : S_FALSE;
}

STDMETHODIMP TPageObject::Apply() {
    if (page_ && !page_->Apply()) return E_FAIL;
    dirty_ = false;
    if (site_) site_->OnStatusChange(PROPPAGESTATUS_CLEAN);
    return S_OK;
}

STDMETHODIMP TPageObject::Help(LPCOLESTR) {
    return E_NOTIMPL;
}

STDMETHODIMP TPageObject::TranslateAccelerator(MSG*) {
    return S_FALSE;
}

void TPageObject::MarkDirty() {
    if (dirty_) return;
    dirty_ = true;
    if (site_) site_->OnStatusChange(PROPPAGESTATUS_DIRTY);
}
