#pragma once
// The object of the driver's property page class: the page protocol that a property frame drives, around the
// page's window (TfmPage). It reaches the driver by asking the object it edits for ITesselDriver.

#include <QPointer>
#include <atomic>

#include "common/com/ComPtr.h"
#include "common/com/PropertyPage.h"
#include "driver/automation/TesselDrv_TLB.h"

class TfmPage;

class TPageObject final : public IPropertyPage {
  public:
    // A new object, as `riid` (IUnknown or IPropertyPage) in *ppv.
    static HRESULT Create(REFIID riid, void** ppv);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
    // Makes the page's window inside the window with native handle `parent` (a window of this process) at
    // `rect`, and fills it from the driver. E_UNEXPECTED before SetObjects, E_INVALIDARG for an unknown
    // parent.
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
    STDMETHODIMP TranslateAccelerator(MSG* msg) override;

  private:
    TPageObject() = default;
    ~TPageObject();
    void MarkDirty();

    std::atomic<ULONG> refs_{1};
    tessel::ComPtr<IPropertyPageSite> site_;
    tessel::ComPtr<ITesselDriver> driver_;
    QPointer<TfmPage> page_;
    bool dirty_ = false;
};
