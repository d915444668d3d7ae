#include "driver/forms/DevicesForm.h"

#include <cstdio>

std::string DeviceEntryText(LONG number, const std::string& name) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, number <= 9 ? "№ %ld " : "№%ld ", static_cast<long>(number));
    return prefix + name;
}

TDeviceList ReadDevices(const TDriverCalls& driver) {
    TDeviceList list;
    list.current = driver.Get(&ITesselDriver::get_LDIndex);
    const LONG count = driver.Get(&ITesselDriver::get_LDCount);
    try {
        for (LONG i = 0; i < count; ++i) {
            driver.Put(&ITesselDriver::put_LDIndex, i);
            const LONG number = driver.Get(&ITesselDriver::get_LDNumber);
            list.numbers.push_back(number);
            list.entries.push_back(DeviceEntryText(number, driver.Get(&ITesselDriver::get_LDName)));
        }
    } catch (...) {
        try {
            driver.Put(&ITesselDriver::put_LDIndex, list.current);
        } catch (...) {
            // The first error is the one the user sees.
        }
        throw;
    }
    driver.Put(&ITesselDriver::put_LDIndex, list.current);
    return list;
}

TDevicesForm::TDevicesForm(const TDriverCalls& driver, IDevicesView& view) : driver_(driver), view_(view) {}

void TDevicesForm::Load() {
    ShowErrors(view_, [this] { Rebuild(); });
}

void TDevicesForm::Rebuild() {
    TDeviceList list = ReadDevices(driver_);
    numbers_ = std::move(list.numbers);
    view_.ShowDevices(list.entries, list.current);
    view_.ShowName(driver_.Get(&ITesselDriver::get_LDName));
    const auto count = static_cast<int>(numbers_.size());
    view_.EnableAdd(count < kMaxDevices);
    view_.EnableDelete(count > 1);
}

void TDevicesForm::AddClicked() {
    if (static_cast<int>(numbers_.size()) >= kMaxDevices) return;
    ShowErrors(view_, [this] {
        driver_.Check(&ITesselDriver::AddLD);
        changed_ = true;
        Rebuild();
    });
}

void TDevicesForm::DeleteClicked() {
    if (numbers_.size() <= 1) return;
    ShowErrors(view_, [this] {
        driver_.Check(&ITesselDriver::DeleteLD);
        changed_ = true;
        Rebuild();
    });
}

void TDevicesForm::RowClicked(int row) {
    if (row < 0) return;
    ShowErrors(view_, [this, row] {
        driver_.Put(&ITesselDriver::put_LDIndex, row);
        driver_.CheckResult();
        view_.ShowName(driver_.Get(&ITesselDriver::get_LDName));
    });
}

void TDevicesForm::NameEdited(const std::string& name) {
    ShowErrors(view_, [this, &name] {
        driver_.Put(&ITesselDriver::put_LDName, name);
        driver_.CheckResult();
        const int row = view_.SelectedRow();
        if (row >= 0 && row < static_cast<int>(numbers_.size()))
            view_.ShowEntry(row, DeviceEntryText(numbers_[static_cast<std::size_t>(row)], name));
    });
}

void TDevicesForm::NameEscaped() {
    ShowErrors(view_, [this] { view_.ShowName(driver_.Get(&ITesselDriver::get_LDName)); });
}
