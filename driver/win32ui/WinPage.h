#pragma once
// The Win32 window of the driver's property page, a view of TPageForm: a child dialog inside the property
// frame.

#include <functional>
#include <memory>

#include "driver/client/DriverCalls.h"
#include "driver/forms/PageForm.h"
#include "driver/win32ui/WinForm.h"

class TWinPage final : public TWinForm, private IPageView {
  public:
    // A page working on `driver`; its window is made by CreateChild.
    explicit TWinPage(const TDriverCalls& driver);

    // Called when the user changes a value that UpdateObject writes.
    std::function<void()> onModified;

    void UpdatePropertyPage() { form_.UpdatePropertyPage(); }
    // UpdateObject for the frame; false when it failed (the result line says why).
    bool Apply() { return form_.Apply(); }

    // The size of the page's window, in pixels, as CreateChild makes it.
    static SIZE PageSize();

  protected:
    bool OnInit() override;
    bool OnCommand(int id, int code) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    const int* BusyButtons() const override;

  private:
    // IPageView
    void SetBusy(bool busy) override { TWinForm::SetBusy(busy); }
    void ShowError(const std::string& text) override { TWinForm::ShowError(text); }
    void ShowValues(const std::string& version, const TPageSettings& settings, bool deviceEnabled) override;
    TPageSettings Settings() const override;
    void ShowDevices(const std::vector<std::string>& entries, int current, bool listEnabled,
                     bool buttonEnabled) override;
    void ShowResult(const std::string& line) override;
    void ShowDeviceEnabled(bool enabled) override;
    void ShowBaudRate(int index) override;
    LONG OwnerHandle() const override;
    bool ShowDevicesDialog() override;
    void CentreFrame() override;

    // A spin field's value, kept within the range of its arrows.
    LONG SpinValue(int id, int upDownId) const;
    void Modified();

    const TDriverCalls& driver_;
    TPageForm form_;
    // Set while the page writes its controls itself, whose notifications are then no change of the user's.
    bool loading_ = false;
};
