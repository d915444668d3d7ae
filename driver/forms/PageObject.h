#pragma once
// The page protocol of the driver's property page class, once for both toolkits: the reference count, the
// site, the driver that the frame hands over, the dirty state and the page's title. A toolkit's page object
// adds only its window: how it is made, shown, moved, measured and how it writes its values.

#include <atomic>
#include <new>

#include "common/com/ComPtr.h"
#include "common/com/PropertyPage.h"
#include "driver/automation/TesselDrv_TLB.h"

class TPageObjectBase : public IPropertyPage {
  public:
    // A new object of the toolkit's class T, as `riid` (IUnknown or IPropertyPage) in *ppv.
    template <class T>
    static HRESULT Create(REFIID riid, void** ppv);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
    // Makes the page's window inside `parent` at `rect` and fills it from the driver. E_UNEXPECTED before
    // SetObjects, E_INVALIDARG for a parent the toolkit does not know, E_FAIL when the page could not be
    // made.
    STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
    STDMETHODIMP Deactivate() override;
    // Title "Драйвер ККМ" and the page's size.
    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
    // The first object must serve ITesselDriver (E_NOINTERFACE otherwise); none lets go of the driver.
    STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
    STDMETHODIMP Show(UINT command) override;
    STDMETHODIMP Move(LPCRECT rect) override;
    // S_OK once the user changed a value that Apply writes, S_FALSE otherwise.
    STDMETHODIMP IsPageDirty() override;
    // Writes the page's values to the driver; E_FAIL when that failed (the result line says why).
    STDMETHODIMP Apply() override;
    STDMETHODIMP Help(LPCOLESTR helpDir) override;
    // The page is a control of the frame's dialog: the frame's own dialog keys reach it.
    STDMETHODIMP TranslateAccelerator(MSG* msg) override;

  protected:
    TPageObjectBase() = default;
    virtual ~TPageObjectBase() = default;

    // The toolkit's window. MakePage replaces any earlier window (false: `parent` is not a window it knows;
    // throws when the page could not be made); the others do nothing while there is no window.
    virtual bool MakePage(HWND parent, const RECT* rect, ITesselDriver* driver) = 0;
    virtual void DropPage() = 0;
    virtual bool HasPage() const = 0;
    // The window's size, or the page's own size while there is none.
    virtual SIZE PageSize() const = 0;
    virtual void ShowPage(bool visible) = 0;
    virtual void MovePage(const RECT& rect) = 0;
    virtual bool ApplyPage() = 0;

    // The page's windows call this once the user changes a value that Apply writes.
    void MarkDirty();

  private:
    std::atomic<ULONG> refs_{1};
    tessel::ComPtr<IPropertyPageSite> site_;
    tessel::ComPtr<ITesselDriver> driver_;
    bool dirty_ = false;
};

template <class T>
HRESULT TPageObjectBase::Create(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    TPageObjectBase* object = new (std::nothrow) T;
    if (object == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}
