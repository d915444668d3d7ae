#include "driver/forms/PageForm.h"

#include <stdexcept>

#include "driver/base/untError.h"
#include "driver/forms/DevicesForm.h"

namespace {

constexpr int kPortCount = 32;

// Runs `restore` when the scope ends, however it ends; for the settings an action puts back.
class TFinally {
  public:
    explicit TFinally(std::function<void()> restore) : restore_(std::move(restore)) {}
    ~TFinally() {
        try {
            restore_();
        } catch (...) {
            // The action's own error, if any, is the one the user sees.
        }
    }
    TFinally(const TFinally&) = delete;
    TFinally& operator=(const TFinally&) = delete;

  private:
    std::function<void()> restore_;
};

// The item of a list of `count` items whose value is `value` (item i refers to i + 1), or -1.
int IndexOf(LONG value, std::size_t count) {
    return value >= 1 && value <= static_cast<LONG>(count) ? static_cast<int>(value - 1) : -1;
}

// The text of an error on the page: a driver error with its code.
std::string PageErrorText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const EDriverError& e) {
        return "(" + std::to_string(e.ErrorCode()) + ") " + e.what();
    } catch (...) {
        return ErrorText(std::current_exception());
    }
}

}  // namespace

const std::vector<std::string>& TPageForm::PortItems() {
    static const std::vector<std::string> items = [] {
        std::vector<std::string> ports;
        for (int port = 1; port <= kPortCount; ++port) ports.push_back("COM " + std::to_string(port));
        return ports;
    }();
    return items;
}

const std::vector<std::string>& TPageForm::BaudRateItems() {
    static const std::vector<std::string> items = {"1200",  "2400",  "4800",  "9600",
                                                   "19200", "38400", "57600", "115200"};
    return items;
}

TPageForm::TPageForm(const TDriverCalls& driver, IPageView& view) : driver_(driver), view_(view) {}

void TPageForm::UpdatePropertyPage() {
    Guard([this] {
        LoadValues();
        LoadDevices();
    });
}

void TPageForm::LoadValues() {
    const TDriverCalls& d = driver_;
    const std::string version = "Версия: " + d.Get(&ITesselDriver::get_Version);
    TPageSettings s;
    s.fuel = d.Get(&ITesselDriver::get_Fuel);
    s.repCount = d.Get(&ITesselDriver::get_RepCount);
    s.timeout = d.Get(&ITesselDriver::get_Timeout);
    s.srcAddress = d.Get(&ITesselDriver::get_SrcAddress);
    s.dstAddress = d.Get(&ITesselDriver::get_DstAddress);
    s.baudRateIndex = IndexOf(d.Get(&ITesselDriver::get_BaudRate), BaudRateItems().size());
    s.portIndex = IndexOf(d.Get(&ITesselDriver::get_PortNumber), PortItems().size());
    view_.ShowValues(version, s, d.Get(&ITesselDriver::get_DeviceEnabled));
}

void TPageForm::LoadDevices() {
    const TDeviceList list = ReadDevices(driver_);
    const bool locked = driver_.Get(&ITesselDriver::get_LockDevices);
    view_.ShowDevices(list.entries, list.current, list.entries.size() >= 2 && !locked, !locked);
}

void TPageForm::UpdateObject() {
    const TDriverCalls& d = driver_;
    const TPageSettings s = view_.Settings();
    d.Put(&ITesselDriver::put_Fuel, s.fuel);
    // A value the lists do not hold (a port above 32) is left as the driver has it.
    if (s.baudRateIndex >= 0) d.Put(&ITesselDriver::put_BaudRate, s.baudRateIndex + 1);
    d.Put(&ITesselDriver::put_DstAddress, s.dstAddress);
    if (s.portIndex >= 0) d.Put(&ITesselDriver::put_PortNumber, s.portIndex + 1);
    d.Put(&ITesselDriver::put_SrcAddress, s.srcAddress);
    d.Put(&ITesselDriver::put_RepCount, s.repCount);
    d.Put(&ITesselDriver::put_Timeout, s.timeout);
}

bool TPageForm::Apply() {
    return Guard([this] { UpdateObject(); });
}

void TPageForm::Shown() {
    if (shown_) return;
    shown_ = true;
    Guard([this] {
        if (driver_.Get(&ITesselDriver::get_IsClient1C) && driver_.Get(&ITesselDriver::get_IsShowProperties))
            view_.CentreFrame();
    });
}

bool TPageForm::Guard(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (...) {
        view_.ShowResult(PageErrorText(std::current_exception()));
        return false;
    }
}

void TPageForm::Action(const std::function<void()>& action) {
    view_.SetBusy(true);
    Guard(action);
    view_.SetBusy(false);
}

void TPageForm::ShowResultLine() {
    view_.ShowResult(driver_.ResultLine());
}

void TPageForm::ConnectClicked() {
    Action([this] {
        const TDriverCalls& d = driver_;
        UpdateObject();
        const bool enabled = d.Get(&ITesselDriver::get_DeviceEnabled);
        TFinally restore([&] { d.Put(&ITesselDriver::put_DeviceEnabled, enabled); });
        view_.ShowResult("");
        d.Call(&ITesselDriver::GetDeviceMetrics);
        if (d.Get(&ITesselDriver::get_ResultCode) != 0)
            ShowResultLine();
        else
            view_.ShowResult("Название ККМ: " + d.Get(&ITesselDriver::get_UDescription));
    });
}

void TPageForm::SetBaudRateClicked() {
    Action([this] {
        const TDriverCalls& d = driver_;
        const LONG present = d.Get(&ITesselDriver::get_BaudRate);
        const int index = view_.Settings().baudRateIndex;
        const LONG chosen = index >= 0 ? index + 1 : present;
        const bool enabled = d.Get(&ITesselDriver::get_DeviceEnabled);
        TFinally restore([&] { d.Put(&ITesselDriver::put_DeviceEnabled, enabled); });
        UpdateObject();
        // The register is still at the present speed: ask it there to move to the chosen one.
        d.Put(&ITesselDriver::put_BaudRate, present);
        d.Put(&ITesselDriver::put_DeviceEnabled, true);
        if (d.Get(&ITesselDriver::get_ResultCode) == 0) {
            d.Call(&ITesselDriver::GetECRStatus);
            if (d.Get(&ITesselDriver::get_ResultCode) == 0) {
                d.Put(&ITesselDriver::put_ECRPortNumber, 0);
                d.Put(&ITesselDriver::put_ECRTimeout, 100);
                d.Put(&ITesselDriver::put_ECRBaudRate, chosen);
                d.Call(&ITesselDriver::SetExchangeParam);
            }
        }
        ShowResultLine();
        // The driver follows the register only once it has moved: else it stays where the register answers,
        // and the page shows that speed.
        if (d.Get(&ITesselDriver::get_ResultCode) == 0)
            d.Put(&ITesselDriver::put_BaudRate, chosen);
        else
            view_.ShowBaudRate(IndexOf(present, BaudRateItems().size()));
    });
}

void TPageForm::DialogClicked(TDriverCalls::TMethod method) {
    Action([this, method] {
        const TScopedParentWnd owner(driver_, view_.OwnerHandle());
        driver_.Call(method);
        ShowResultLine();
    });
}

void TPageForm::TablesClicked() {
    DialogClicked(&ITesselDriver::ShowTablesDlg);
}

void TPageForm::ServiceClicked() {
    DialogClicked(&ITesselDriver::ShowServiceDlg);
}

void TPageForm::LogParamsClicked() {
    DialogClicked(&ITesselDriver::ShowLogDlg);
}

void TPageForm::SearchClicked() {
    Action([this] {
        LONG code = 0;
        {
            const TScopedParentWnd owner(driver_, view_.OwnerHandle());
            code = driver_.Call(&ITesselDriver::ShowSearchDlg);
        }
        LoadValues();
        // A search that could not be shown says why; one that ran leaves the line empty.
        if (code != 0)
            ShowResultLine();
        else
            view_.ShowResult("");
    });
}

void TPageForm::AboutClicked() {
    Action([this] {
        // AboutBox yields nothing and keeps the last result, which its own failure replaces: a failure
        // standing after it stays in the line (the same failure twice cannot be told from an earlier one
        // kept).
        const HRESULT hr = driver_.Interface()->AboutBox();
        if (FAILED(hr)) throw std::runtime_error("Окно «О программе» не открылось");
        if (driver_.Get(&ITesselDriver::get_ResultCode) != 0)
            ShowResultLine();
        else
            view_.ShowResult("");
    });
}

void TPageForm::DefaultsClicked() {
    Action([this] {
        driver_.Call(&ITesselDriver::SetDefaults);
        LoadValues();
    });
}

void TPageForm::DeviceClicked() {
    Guard([this] {
        const LONG current = driver_.Get(&ITesselDriver::get_LDIndex);
        const bool listChanged = view_.ShowDevicesDialog();
        // A row clicked in the dialog makes its device the current one: the page shows that device from now
        // on, or its next write would give it the settings of the device it showed.
        if (listChanged || driver_.Get(&ITesselDriver::get_LDIndex) != current)
            UpdatePropertyPage();
        else
            LoadDevices();  // a device may have been renamed
    });
}

void TPageForm::DeviceChosen(int index) {
    Guard([this, index] {
        // The settings on the page belong to the device being left.
        UpdateObject();
        driver_.Put(&ITesselDriver::put_LDIndex, index);
        LoadValues();
    });
}

void TPageForm::DeviceEnabledClicked(bool checked) {
    Guard([this, checked] {
        UpdateObject();
        driver_.Put(&ITesselDriver::put_DeviceEnabled, checked);
        ShowResultLine();
        view_.ShowDeviceEnabled(driver_.Get(&ITesselDriver::get_DeviceEnabled));
    });
}
