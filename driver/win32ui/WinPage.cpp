#include "driver/win32ui/WinPage.h"

#include <commctrl.h>

#include <cstdlib>

#include "driver/win32ui/PageIds.h"
#include "driver/win32ui/WinDevice.h"

namespace {

struct TSpin {
    int edit;
    int upDown;
    int min;
    int max;
};

constexpr TSpin kSpins[] = {
    {IDC_PAGE_DSTADDRESS, IDC_PAGE_DSTADDRESS_UD, 1, 255},
    {IDC_PAGE_SRCADDRESS, IDC_PAGE_SRCADDRESS_UD, 1, 255},
    {IDC_PAGE_TIMEOUT, IDC_PAGE_TIMEOUT_UD, 0, 32767},
    {IDC_PAGE_REPCOUNT, IDC_PAGE_REPCOUNT_UD, 1, 255},
};

constexpr int kActionButtons[] = {IDC_PAGE_CONNECT,  IDC_PAGE_SETBAUDRATE, IDC_PAGE_TABLES,
                                  IDC_PAGE_SEARCH,   IDC_PAGE_SERVICE,     IDC_PAGE_LOGPARAMS,
                                  IDC_PAGE_DEFAULTS, IDC_PAGE_ABOUT,       0};

// Sets a flag for the lifetime of the object.
class TScopedFlag {
  public:
    explicit TScopedFlag(bool& flag) : flag_(flag), before_(flag) { flag_ = true; }
    ~TScopedFlag() { flag_ = before_; }
    TScopedFlag(const TScopedFlag&) = delete;
    TScopedFlag& operator=(const TScopedFlag&) = delete;

  private:
    bool& flag_;
    bool before_;
};

// A window of the parent's class that is never shown, for measuring the page before the frame has made its
// place.
class TMeasuringParent {
  public:
    TMeasuringParent()
        : hwnd_(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, ModuleInstance(),
                                nullptr)) {}
    ~TMeasuringParent() {
        if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    }
    TMeasuringParent(const TMeasuringParent&) = delete;
    TMeasuringParent& operator=(const TMeasuringParent&) = delete;
    HWND Handle() const { return hwnd_; }

  private:
    HWND hwnd_;
};

}  // namespace

TWinPage::TWinPage(const TDriverCalls& driver) : TWinForm(IDD_PAGE), driver_(driver), form_(driver, *this) {}

SIZE TWinPage::PageSize() {
    const TMeasuringParent parent;
    if (parent.Handle() == nullptr) return SIZE{0, 0};
    // A page without a driver behind it: OnInit fills nothing from it.
    struct TProbe final : TWinForm {
        TProbe() : TWinForm(IDD_PAGE) {}
    } probe;
    RECT r{};
    GetWindowRect(probe.CreateChild(parent.Handle()), &r);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

bool TWinPage::OnInit() {
    const TScopedFlag quiet(loading_);
    for (const TSpin& spin : kSpins) {
        Send(spin.upDown, UDM_SETRANGE32, static_cast<WPARAM>(spin.min), static_cast<LPARAM>(spin.max));
        Send(spin.edit, EM_LIMITTEXT, 5);
    }
    const std::pair<int, const std::vector<std::string>*> lists[] = {
        {IDC_PAGE_PORT, &TPageForm::PortItems()},
        {IDC_PAGE_BAUDRATE, &TPageForm::BaudRateItems()},
    };
    for (const auto& [id, items] : lists)
        for (const std::string& item : *items)
            Send(id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
    return false;
}

const int* TWinPage::BusyButtons() const {
    return kActionButtons;
}

bool TWinPage::OnCommand(int id, int code) {
    static const std::pair<int, void (TPageForm::*)()> kActions[] = {
        {IDC_PAGE_CONNECT, &TPageForm::ConnectClicked},
        {IDC_PAGE_SETBAUDRATE, &TPageForm::SetBaudRateClicked},
        {IDC_PAGE_TABLES, &TPageForm::TablesClicked},
        {IDC_PAGE_SEARCH, &TPageForm::SearchClicked},
        {IDC_PAGE_SERVICE, &TPageForm::ServiceClicked},
        {IDC_PAGE_LOGPARAMS, &TPageForm::LogParamsClicked},
        {IDC_PAGE_DEFAULTS, &TPageForm::DefaultsClicked},
        {IDC_PAGE_ABOUT, &TPageForm::AboutClicked},
        {IDC_PAGE_DEVICE_BUTTON, &TPageForm::DeviceClicked},
    };
    if (code == BN_CLICKED) {
        for (const auto& [button, action] : kActions) {
            if (button != id) continue;
            (form_.*action)();
            return true;
        }
        if (id == IDC_PAGE_DEVICE_ENABLED) {
            form_.DeviceEnabledClicked(Checked(id));
            return true;
        }
        if (id == IDC_PAGE_FUEL) {
            Modified();
            return true;
        }
    }
    if (code == CBN_SELCHANGE && id == IDC_PAGE_DEVICE) {
        form_.DeviceChosen(static_cast<int>(Send(id, CB_GETCURSEL)));
        return true;
    }
    if (code == CBN_SELCHANGE && (id == IDC_PAGE_PORT || id == IDC_PAGE_BAUDRATE)) {
        Modified();
        return true;
    }
    if (code == EN_CHANGE) {
        for (const TSpin& spin : kSpins)
            if (spin.edit == id) Modified();
        return true;
    }
    // Enter and Esc belong to the frame around the page.
    return id == IDOK || id == IDCANCEL;
}

bool TWinPage::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
    if (message != WM_SHOWWINDOW || wParam == FALSE) return false;
    form_.Shown();
    result = 0;
    return true;
}

void TWinPage::ShowValues(const std::string& version, const TPageSettings& settings, bool deviceEnabled) {
    const TScopedFlag quiet(loading_);
    SetText(IDC_PAGE_VERSION, version);
    SetChecked(IDC_PAGE_FUEL, settings.fuel);
    const LONG values[] = {settings.dstAddress, settings.srcAddress, settings.timeout, settings.repCount};
    for (std::size_t i = 0; i < std::size(kSpins); ++i)
        Send(kSpins[i].upDown, UDM_SETPOS32, 0, static_cast<LPARAM>(values[i]));
    Send(IDC_PAGE_BAUDRATE, CB_SETCURSEL, static_cast<WPARAM>(settings.baudRateIndex));
    Send(IDC_PAGE_PORT, CB_SETCURSEL, static_cast<WPARAM>(settings.portIndex));
    SetChecked(IDC_PAGE_DEVICE_ENABLED, deviceEnabled);
}

LONG TWinPage::SpinValue(int id, int upDownId) const {
    const std::string text = Text(id);
    LONG value = std::strtol(text.c_str(), nullptr, 10);
    int low = 0, high = 0;
    Send(upDownId, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
    if (value < low) value = low;
    if (value > high) value = high;
    return value;
}

TPageSettings TWinPage::Settings() const {
    TPageSettings s;
    s.fuel = Checked(IDC_PAGE_FUEL);
    s.baudRateIndex = static_cast<int>(Send(IDC_PAGE_BAUDRATE, CB_GETCURSEL));
    s.dstAddress = SpinValue(IDC_PAGE_DSTADDRESS, IDC_PAGE_DSTADDRESS_UD);
    s.portIndex = static_cast<int>(Send(IDC_PAGE_PORT, CB_GETCURSEL));
    s.srcAddress = SpinValue(IDC_PAGE_SRCADDRESS, IDC_PAGE_SRCADDRESS_UD);
    s.repCount = SpinValue(IDC_PAGE_REPCOUNT, IDC_PAGE_REPCOUNT_UD);
    s.timeout = SpinValue(IDC_PAGE_TIMEOUT, IDC_PAGE_TIMEOUT_UD);
    return s;
}

void TWinPage::ShowDevices(const std::vector<std::string>& entries, int current, bool listEnabled,
                           bool buttonEnabled) {
    Send(IDC_PAGE_DEVICE, CB_RESETCONTENT);
    for (const std::string& entry : entries)
        Send(IDC_PAGE_DEVICE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(entry).c_str()));
    Send(IDC_PAGE_DEVICE, CB_SETCURSEL, static_cast<WPARAM>(current));
    Enable(IDC_PAGE_DEVICE, listEnabled);
    Enable(IDC_PAGE_DEVICE_BUTTON, buttonEnabled);
}

void TWinPage::ShowResult(const std::string& line) {
    SetText(IDC_PAGE_RESULT, line);
}

void TWinPage::ShowDeviceEnabled(bool enabled) {
    SetChecked(IDC_PAGE_DEVICE_ENABLED, enabled);
}

void TWinPage::ShowBaudRate(int index) {
    Send(IDC_PAGE_BAUDRATE, CB_SETCURSEL, static_cast<WPARAM>(index));
}

LONG TWinPage::OwnerHandle() const {
    return static_cast<LONG>(reinterpret_cast<LONG_PTR>(GetAncestor(Handle(), GA_ROOT)));
}

bool TWinPage::ShowDevicesDialog() {
    return ShowWinDevices(driver_, GetAncestor(Handle(), GA_ROOT));
}

void TWinPage::CentreFrame() {
    const HWND frame = GetAncestor(Handle(), GA_ROOT);
    RECT r{}, work{};
    if (frame == nullptr || !GetWindowRect(frame, &r)) return;
    const HMONITOR monitor = MonitorFromWindow(frame, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) return;
    work = info.rcWork;
    const LONG width = r.right - r.left, height = r.bottom - r.top;
    SetWindowPos(frame, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWinPage::Modified() {
    if (!loading_ && onModified) onModified();
}
