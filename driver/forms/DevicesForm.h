#pragma once
// What the logical-device dialog ("Логические устройства") does: lists the driver's logical devices, adds,
// deletes and renames them, and makes a clicked one the current device. Errors go to the view's error box
// and leave the dialog open.

#include <string>
#include <vector>

#include "driver/client/DriverCalls.h"
#include "driver/forms/FormView.h"

// A logical device in a list: "№ %d %s" up to number 9, "№%d %s" from 10, so that the names line up.
std::string DeviceEntryText(LONG number, const std::string& name);

// The driver's logical devices as the lists show them.
struct TDeviceList {
    std::vector<LONG> numbers;
    std::vector<std::string> entries;  // DeviceEntryText of each
    int current = -1;                  // LDIndex
};

// Reads every device by moving LDIndex over them; LDIndex is set back in every case.
TDeviceList ReadDevices(const TDriverCalls& driver);

class IDevicesView : public IFormView {
  public:
    // The list anew with row `current` selected; selecting it is no click of the user.
    virtual void ShowDevices(const std::vector<std::string>& entries, int current) = 0;
    // Rewrites the text of row `row`.
    virtual void ShowEntry(int row, const std::string& text) = 0;
    // The selected row, or -1.
    virtual int SelectedRow() const = 0;
    // The name field's text; setting it is no edit of the user.
    virtual void ShowName(const std::string& name) = 0;
    // "Добавить" and "Удалить", as buttons and as menu items.
    virtual void EnableAdd(bool enabled) = 0;
    virtual void EnableDelete(bool enabled) = 0;
};

class TDevicesForm {
  public:
    static constexpr int kMaxDevices = 99;
    // The name field's length, in characters.
    static constexpr int kMaxNameLength = 20;

    TDevicesForm(const TDriverCalls& driver, IDevicesView& view);

    // Lists the devices, keeping the current one current and selected, with the name field and the enable
    // rules of "Добавить" (fewer than 99 devices) and "Удалить" (more than one).
    void Load();
    // "Добавить" and "Удалить", by button, menu item or key; nothing while the rule disables them.
    void AddClicked();
    void DeleteClicked();
    // A row clicked: its device becomes the current one.
    void RowClicked(int row);
    // Each change of the name field, and Enter in it, renames the current device.
    void NameEdited(const std::string& name);
    // Esc in the name field takes back what was typed.
    void NameEscaped();

    // Whether a device was added or deleted.
    bool Changed() const { return changed_; }

  private:
    void Rebuild();

    const TDriverCalls& driver_;
    IDevicesView& view_;
    std::vector<LONG> numbers_;
    bool changed_ = false;
};
