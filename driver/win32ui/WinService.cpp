#include "driver/win32ui/WinService.h"

#include <commctrl.h>

#include <algorithm>

#include "driver/base/untDateTime.h"
#include "driver/client/DriverCalls.h"
#include "driver/forms/ServiceForm.h"
#include "driver/win32ui/ServiceIds.h"
#include "driver/win32ui/WinForm.h"
#include "driver/win32ui/WinStatus.h"

namespace {

// The one timer of the dialog: the followed clock's next second.
constexpr UINT_PTR kClockTimer = 1;

class TWinService final : public TWinForm, private IServiceView {
  public:
    explicit TWinService(const TDriverCalls& driver) : TWinForm(IDD_SERVICE), form_(driver, *this) {}

    void SetBusy(bool busy) override { TWinForm::SetBusy(busy); }
    void ShowError(const std::string& text) override { TWinForm::ShowError(text); }

  protected:
    bool OnInit() override {
        form_.Open();
        CentreOnScreen();
        return true;
    }

    bool OnCommand(int id, int code) override {
        if (code != BN_CLICKED) return false;
        switch (id) {
            case IDC_SERVICE_SETDATE:
                form_.SetDate();
                return true;
            case IDC_SERVICE_SETTIME:
                form_.SetTime();
                return true;
            case IDC_SERVICE_FROMECR:
                form_.FromECR();
                return true;
            case IDC_SERVICE_FROMPC:
                form_.FromPC();
                return true;
            case IDC_SERVICE_INITTABLES:
                form_.InitTables();
                return true;
            case IDC_SERVICE_GETSTATUS:
                form_.GetStatus();
                return true;
            default:
                return false;
        }
    }

    // A picker changed by the user (the form's own changes are not announced as such).
    LRESULT OnNotify(const NMHDR& header) override {
        if (header.code != DTN_DATETIMECHANGE || showing_) return -1;
        if (header.idFrom == IDC_SERVICE_DATE) form_.DateEdited();
        if (header.idFrom == IDC_SERVICE_TIME) form_.TimeEdited();
        return 0;
    }

    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override {
        (void)lParam;
        if (message != WM_TIMER || wParam != kClockTimer) return false;
        ::KillTimer(Handle(), kClockTimer);
        form_.ClockTick();
        result = 0;
        return true;
    }

    const int* BusyButtons() const override {
        static const int buttons[] = {IDC_SERVICE_SETDATE,
                                      IDC_SERVICE_SETTIME,
                                      IDC_SERVICE_FROMECR,
                                      IDC_SERVICE_FROMPC,
                                      IDC_SERVICE_INITTABLES,
                                      IDC_SERVICE_GETSTATUS,
                                      0};
        return buttons;
    }

  private:
    void ShowDate(TDateTime value) override {
        SYSTEMTIME date{};
        if (SystemTimeOf(value, date)) Show(IDC_SERVICE_DATE, date);
    }
    void ShowTime(TDateTime value) override {
        // The time picker holds a whole date and time: its own date keeps it a valid one.
        SYSTEMTIME time{};
        if (!SystemTimeOf(value, time)) return;
        SYSTEMTIME shown = Picked(IDC_SERVICE_TIME);
        shown.wHour = time.wHour;
        shown.wMinute = time.wMinute;
        shown.wSecond = time.wSecond;
        shown.wMilliseconds = 0;
        Show(IDC_SERVICE_TIME, shown);
    }
    TDateTime PickedDate() const override {
        const SYSTEMTIME date = Picked(IDC_SERVICE_DATE);
        TDateTime value = 0;
        TryEncodeDate(date.wYear, date.wMonth, date.wDay, value);
        return value;
    }
    TDateTime PickedTime() const override {
        const SYSTEMTIME time = Picked(IDC_SERVICE_TIME);
        TDateTime value = 0;
        TryEncodeTime(time.wHour, time.wMinute, time.wSecond, value);
        return value;
    }
    void StartClockTimer(int ms) override {
        ::SetTimer(Handle(), kClockTimer, static_cast<UINT>(std::max(ms, USER_TIMER_MINIMUM)), nullptr);
    }
    void StopClockTimer() override { ::KillTimer(Handle(), kClockTimer); }
    LONG WindowHandle() const override { return static_cast<LONG>(reinterpret_cast<LONG_PTR>(Handle())); }

    void Show(int id, const SYSTEMTIME& value) {
        showing_ = true;
        Send(id, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&value));
        showing_ = false;
    }
    SYSTEMTIME Picked(int id) const {
        SYSTEMTIME value{};
        if (Send(id, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&value)) != GDT_VALID)
            ::GetLocalTime(&value);
        return value;
    }

    TServiceForm form_;
    bool showing_ = false;  // the form, not the user, is setting a picker
};

}  // namespace

LONG ShowWinService(const TDialogCall& call) {
    const TDriverCalls driver(call.driver);
    TWinService dialog(driver);
    return dialog.ShowModal(reinterpret_cast<HWND>(static_cast<LONG_PTR>(call.parentWnd))) == IDOK ? 1 : 0;
}
