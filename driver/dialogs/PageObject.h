#pragma once
// The object of the driver's property page class with the Qt page's window (TfmPage); the page protocol that
// a property frame drives is the shared one.

#include <QPointer>

#include "driver/forms/PageObject.h"

class TfmPage;

class TPageObject final : public TPageObjectBase {
  public:
    // A new object, as `riid` (IUnknown or IPropertyPage) in *ppv.
    static HRESULT Create(REFIID riid, void** ppv) { return TPageObjectBase::Create<TPageObject>(riid, ppv); }

  private:
    friend class TPageObjectBase;
    TPageObject() = default;
    ~TPageObject() override;

    // `parent` is the native handle of a window of this process.
    bool MakePage(HWND parent, const RECT* rect, ITesselDriver* driver) override;
    void DropPage() override;
    bool HasPage() const override { return !page_.isNull(); }
    SIZE PageSize() const override;
    void ShowPage(bool visible) override;
    void MovePage(const RECT& rect) override;
    bool ApplyPage() override;

    QPointer<TfmPage> page_;
};
