#pragma once
// What the driver's property page does: it edits the current logical device (port, speed, addresses) and the
// exchange settings, tests the link, changes the register's speed and opens the other dialogs, all through
// the driver's ITesselDriver. The result of the last action is shown in the result line as "(%d) %s"; any
// error in a handler goes there too, and the page stays usable.

#include <functional>
#include <string>
#include <vector>

#include "driver/client/DriverCalls.h"
#include "driver/forms/FormView.h"

// The values UpdateObject writes, as the page holds them. A list index is -1 when no item is selected (the
// driver holds a value the list has not got).
struct TPageSettings {
    bool fuel = false;
    int baudRateIndex = -1;  // into TPageForm::BaudRateItems()
    LONG dstAddress = 1;
    int portIndex = -1;  // into TPageForm::PortItems()
    LONG srcAddress = 1;
    LONG repCount = 1;
    LONG timeout = 0;
};

class IPageView : public IFormView {
  public:
    // The version line and the values of the current device; setting them runs no action and is no change
    // of the user's.
    virtual void ShowValues(const std::string& version, const TPageSettings& settings,
                            bool deviceEnabled) = 0;
    // The values as the user has set them.
    virtual TPageSettings Settings() const = 0;
    // The device list anew with entry `current` selected, and whether the list and its "..." button are
    // enabled.
    virtual void ShowDevices(const std::vector<std::string>& entries, int current, bool listEnabled,
                             bool buttonEnabled) = 0;
    virtual void ShowResult(const std::string& line) = 0;
    // The check box "Устройство включено", set without its click action.
    virtual void ShowDeviceEnabled(bool enabled) = 0;
    virtual void ShowBaudRate(int index) = 0;
    // The native handle of the window the page is in, the owner of the dialogs it opens.
    virtual LONG OwnerHandle() const = 0;
    // Shows the logical-device dialog modally; whether a device was added or deleted.
    virtual bool ShowDevicesDialog() = 0;
    // Centres the property frame around the page on the screen.
    virtual void CentreFrame() = 0;
};

class TPageForm {
  public:
    // The items of the port list ("COM 1".."COM 32") and the speed list; item i refers to the value i + 1.
    static const std::vector<std::string>& PortItems();
    static const std::vector<std::string>& BaudRateItems();

    TPageForm(const TDriverCalls& driver, IPageView& view);

    // Loads the values and the logical devices.
    void UpdatePropertyPage();
    // Writes the page's values: Fuel, BaudRate, DstAddress, PortNumber, SrcAddress, RepCount, Timeout.
    // Throws what the driver raised.
    void UpdateObject();
    // UpdateObject for the frame; false when it failed (the result line says why).
    bool Apply();
    // Each time the page is shown: the first time, a 1C:Enterprise host's frame (shown where the system puts
    // it) is centred on the screen.
    void Shown();

    // The buttons.
    void ConnectClicked();
    void SetBaudRateClicked();
    void TablesClicked();
    void SearchClicked();
    void ServiceClicked();
    void LogParamsClicked();
    void DefaultsClicked();
    void AboutClicked();
    void DeviceClicked();
    // Entry `index` chosen in the device list.
    void DeviceChosen(int index);
    // "Устройство включено" clicked to `checked`.
    void DeviceEnabledClicked(bool checked);

  private:
    void LoadValues();
    void LoadDevices();
    // Runs a handler; an error goes to the result line.
    bool Guard(const std::function<void()>& handler);
    // Runs an action with the eight action buttons disabled, enabling them again in every case.
    void Action(const std::function<void()>& action);
    void ShowResultLine();
    void DialogClicked(TDriverCalls::TMethod method);

    const TDriverCalls& driver_;
    IPageView& view_;
    bool shown_ = false;
};
