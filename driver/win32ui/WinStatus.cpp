#include "driver/win32ui/WinStatus.h"

#include <string>

#include "driver/base/untDateTime.h"
#include "driver/client/DriverCalls.h"
#include "driver/forms/StatusForm.h"
#include "driver/win32ui/ServiceIds.h"
#include "driver/win32ui/WinForm.h"

namespace {

// The text a Get*FormatW function writes for `time`; empty when it fails.
template <typename Format>
std::string FormattedText(Format format, const SYSTEMTIME& time, DWORD flags) {
    wchar_t text[128] = {};
    if (format(LOCALE_USER_DEFAULT, flags, &time, nullptr, text, 128) == 0) return {};
    return Narrow(text);
}

// The user's short date and time formats of the system.
class TWinDateTimeFormat final : public IDateTimeFormat {
  public:
    std::string DateText(TDateTime value) const override {
        SYSTEMTIME time{};
        return SystemTimeOf(value, time) ? FormattedText(::GetDateFormatW, time, DATE_SHORTDATE)
                                         : std::string();
    }
    std::string TimeText(TDateTime value) const override {
        SYSTEMTIME time{};
        return SystemTimeOf(value, time) ? FormattedText(::GetTimeFormatW, time, 0) : std::string();
    }
};

RECT ChildRect(HWND dialog, HWND child) {
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// A control's place as the window opened, and how it follows the window's edges: a growing control takes
// all of the growth, the others keep to the bottom edge, and to the right one too when `right`.
struct TAnchor {
    int id;
    bool grow;
    bool right;
    RECT opened;
};

class TWinStatus final : public TWinForm, private IStatusView {
  public:
    explicit TWinStatus(const TDriverCalls& driver) : TWinForm(IDD_STATUS), form_(driver, *this) {}
    ~TWinStatus() override {
        if (fixedFont_ != nullptr) ::DeleteObject(fixedFont_);
    }

    void SetBusy(bool busy) override { TWinForm::SetBusy(busy); }
    void ShowError(const std::string& text) override { TWinForm::ShowError(text); }

  protected:
    bool OnInit() override {
        fixedFont_ =
            ::CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
        if (fixedFont_ != nullptr)
            Send(IDC_STATUS_MEMO, WM_SETFONT, reinterpret_cast<WPARAM>(fixedFont_), TRUE);
        RECT window{}, client{};
        ::GetWindowRect(Handle(), &window);
        ::GetClientRect(Handle(), &client);
        opened_ = {window.right - window.left, window.bottom - window.top};
        openedClient_ = {client.right, client.bottom};
        for (TAnchor& anchor : anchors_) anchor.opened = ChildRect(Handle(), Item(anchor.id));
        // The text area would take the focus with all its text selected.
        ::SetFocus(Item(IDOK));
        return false;
    }

    bool OnCommand(int id, int code) override {
        if (code != BN_CLICKED) return false;
        if (id == IDC_STATUS_ECR) form_.ECRStatus();
        if (id == IDC_STATUS_FM) form_.FMStatus();
        return id == IDC_STATUS_ECR || id == IDC_STATUS_FM;
    }

    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override {
        if (opened_.cx == 0) return false;  // not yet initialised
        if (message == WM_GETMINMAXINFO) {
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {opened_.cx, opened_.cy};
            result = 0;
            return true;
        }
        if (message == WM_SIZE && wParam != SIZE_MINIMIZED) {
            Arrange(LOWORD(lParam) - openedClient_.cx, HIWORD(lParam) - openedClient_.cy);
            result = 0;
            return true;
        }
        return false;
    }

    const int* BusyButtons() const override {
        static const int buttons[] = {IDC_STATUS_ECR, IDC_STATUS_FM, 0};
        return buttons;
    }

  private:
    void ClearLines() override {
        text_.clear();
        SetText(IDC_STATUS_MEMO, text_);
    }
    void AddLine(const std::string& line) override {
        if (!text_.empty()) text_ += "\r\n";
        text_ += line;
        SetText(IDC_STATUS_MEMO, text_);
    }
    const IDateTimeFormat& DateTimeFormat() const override { return format_; }

    // The window grew by `dx`, `dy` from its opening size.
    void Arrange(int dx, int dy) const {
        for (const TAnchor& a : anchors_) {
            const RECT& r = a.opened;
            ::SetWindowPos(Item(a.id), nullptr, r.left + (a.right ? dx : 0), r.top + (a.grow ? 0 : dy),
                           r.right - r.left + (a.grow ? dx : 0), r.bottom - r.top + (a.grow ? dy : 0),
                           SWP_NOZORDER | SWP_NOACTIVATE);
        }
        ::InvalidateRect(Handle(), nullptr, TRUE);
    }

    TStatusForm form_;
    TWinDateTimeFormat format_;
    std::string text_;
    HFONT fixedFont_ = nullptr;
    SIZE opened_{};        // the window's size as it opened: its least size
    SIZE openedClient_{};  // its client area then
    TAnchor anchors_[4] = {{IDC_STATUS_MEMO, true, false, {}},
                           {IDC_STATUS_ECR, false, false, {}},
                           {IDC_STATUS_FM, false, false, {}},
                           {IDOK, false, true, {}}};
};

}  // namespace

bool SystemTimeOf(TDateTime value, SYSTEMTIME& time) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!DecodeDate(value, year, month, day) || !DecodeTime(value, hour, minute, second)) return false;
    time = SYSTEMTIME{};
    time.wYear = static_cast<WORD>(year);
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(day);
    time.wHour = static_cast<WORD>(hour);
    time.wMinute = static_cast<WORD>(minute);
    time.wSecond = static_cast<WORD>(second);
    return true;
}

LONG ShowWinStatus(const TDialogCall& call) {
    const TDriverCalls driver(call.driver);
    TWinStatus dialog(driver);
    return dialog.ShowModal(reinterpret_cast<HWND>(static_cast<LONG_PTR>(call.parentWnd))) == IDOK ? 1 : 0;
}
