#pragma once
// The Win32 window of the logical-device dialog ("Логические устройства"), a view of TDevicesForm.

#include "driver/client/DriverCalls.h"
#include "driver/forms/DevicesForm.h"
#include "driver/win32ui/WinForm.h"

class TWinDevice final : public TWinForm, private IDevicesView {
  public:
    explicit TWinDevice(const TDriverCalls& driver);

    // Whether a device was added or deleted while the dialog was open.
    bool Changed() const { return form_.Changed(); }

  protected:
    bool OnInit() override;
    bool OnCommand(int id, int code) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

  private:
    // IDevicesView
    void SetBusy(bool busy) override { TWinForm::SetBusy(busy); }
    void ShowError(const std::string& text) override { TWinForm::ShowError(text); }
    void ShowDevices(const std::vector<std::string>& entries, int current) override;
    void ShowEntry(int row, const std::string& text) override;
    int SelectedRow() const override;
    void ShowName(const std::string& name) override;
    void EnableAdd(bool enabled) override;
    void EnableDelete(bool enabled) override;

    void ShowMenu(POINT at);
    // The name field's own keys: Esc there takes back what was typed, as the field's key, whatever the
    // dialog's focus was when the dialog heard of it.
    static LRESULT CALLBACK NameProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                          DWORD_PTR self);
    bool Focused(int id) const { return GetFocus() == Item(id); }

    TDevicesForm form_;
    // Set while the dialog writes the name field itself, whose change is then no edit of the user's.
    bool loading_ = false;
};

// Shows TWinDevice modally over `owner`; whether a device was added or deleted.
bool ShowWinDevices(const TDriverCalls& driver, HWND owner);
