#include "driver/win32ui/WinPageObject.h"

#include <atomic>
#include <cwchar>
#include <memory>
#include <new>

#include "common/com/ComPtr.h"
#include "common/com/PropertyPage.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "driver/forms/FormView.h"
#include "driver/win32ui/WinPage.h"

namespace {

LPOLESTR TaskText(const std::wstring& text) {
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (copy != nullptr) std::wmemcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

class TWinPageObject final : public IPropertyPage {
  public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IPropertyPage)) return E_NOINTERFACE;
        *ppv = static_cast<IPropertyPage*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP SetPageSite(IPropertyPageSite* site) override {
        site_ = tessel::ComPtr<IPropertyPageSite>(site);
        return S_OK;
    }

    // Makes the page's window inside `parent` at `rect` and fills it from the driver. E_UNEXPECTED before
    // SetObjects.
    STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL) override {
        if (!driver_) return E_UNEXPECTED;
        try {
            page_.reset();
            calls_ = std::make_unique<TDriverCalls>(driver_.Get());
            page_ = std::make_unique<TWinPage>(*calls_);
            page_->onModified = [this] { MarkDirty(); };
            const HWND hwnd = page_->CreateChild(parent);
            if (rect != nullptr)
                SetWindowPos(hwnd, nullptr, rect->left, rect->top, 0, 0,
                             SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            page_->UpdatePropertyPage();
        } catch (const std::exception&) {
            page_.reset();
            return E_FAIL;
        }
        return S_OK;
    }
    STDMETHODIMP Deactivate() override {
        page_.reset();
        return S_OK;
    }

    // Title "Драйвер ККМ" and the page's size.
    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override {
        if (info == nullptr) return E_POINTER;
        SIZE size{};
        RECT r{};
        if (page_ && GetWindowRect(page_->Handle(), &r))
            size = SIZE{r.right - r.left, r.bottom - r.top};
        else
            size = TWinPage::PageSize();
        *info = PROPPAGEINFO{sizeof(PROPPAGEINFO), TaskText(Wide(kDriverCaption)), size, nullptr, nullptr, 0};
        return info->pszTitle != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    // The first object must serve ITesselDriver (E_NOINTERFACE otherwise); none lets go of the driver.
    STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override {
        if (count == 0) {
            page_.reset();
            calls_.reset();
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
    STDMETHODIMP Show(UINT command) override {
        if (page_) ShowWindow(page_->Handle(), command == SW_HIDE ? SW_HIDE : SW_SHOWNORMAL);
        return S_OK;
    }
    STDMETHODIMP Move(LPCRECT rect) override {
        if (rect == nullptr) return E_POINTER;
        if (page_)
            SetWindowPos(page_->Handle(), nullptr, rect->left, rect->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return S_OK;
    }
    // S_OK once the user changed a value that Apply writes, S_FALSE otherwise.
    STDMETHODIMP IsPageDirty() override { return dirty_ ? S_OK : S_FALSE; }
    // Writes the page's values to the driver; E_FAIL when that failed (the result line says why).
    STDMETHODIMP Apply() override {
        if (page_ && !page_->Apply()) return E_FAIL;
        dirty_ = false;
        if (site_) site_->OnStatusChange(PROPPAGESTATUS_CLEAN);
        return S_OK;
    }
    STDMETHODIMP Help(LPCOLESTR) override { return E_NOTIMPL; }
    // The page is a control of the frame's dialog (DS_CONTROL): the frame's own dialog keys reach it.
    STDMETHODIMP TranslateAccelerator(MSG*) override { return S_FALSE; }

  private:
    ~TWinPageObject() {
        // The window goes before the driver calls it holds.
        page_.reset();
    }
    void MarkDirty() {
        if (dirty_) return;
        dirty_ = true;
        if (site_) site_->OnStatusChange(PROPPAGESTATUS_DIRTY);
    }

    std::atomic<ULONG> refs_{1};
    tessel::ComPtr<IPropertyPageSite> site_;
    tessel::ComPtr<ITesselDriver> driver_;
    std::unique_ptr<TDriverCalls> calls_;
    std::unique_ptr<TWinPage> page_;
    bool dirty_ = false;
};

}  // namespace

HRESULT CreateWinPageObject(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    auto* object = new (std::nothrow) TWinPageObject;
    if (object == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}
