#include "driver/engine/untDevice.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "common/platform/CodePage.h"
#include "common/platform/Registry.h"
#include "driver/base/untError.h"
#include "driver/base/untLogFile.h"
#include "driver/link/CUCommLink.h"

namespace {

const char kDefaultName[] = "Без названия";

const char kValueName[] = "DeviceName";
const char kValueNumber[] = "DeviceNumber";
const char kValueFuel[] = "Fuel";
const char kValueBaudRate[] = "BaudRate";
const char kValuePortNumber[] = "PortNumber";
const char kValueDstAddress[] = "DstAddress";
const char kValueEnabled[] = "DeviceEnabled";

const char kLoadHeading[] = "Инициализация логических устройств.";
const char kLoadEnabledFailed[] = "Ошибка при установке свойства DeviceEnabled.";
const char kLoadValuesFailed[] = "Ошибка при чтении и установке параметров устройства.";
const char kSaveFailed[] = "Ошибка при сохранении логических устройств.";
const char kUnknownError[] = "Неизвестная ошибка";

// The list whose frame handler runs on this thread, if any.
thread_local const TDevices* tDelivering = nullptr;

class DeliveryMark {
  public:
    explicit DeliveryMark(const TDevices* list) : previous_(tDelivering) { tDelivering = list; }
    ~DeliveryMark() { tDelivering = previous_; }
    DeliveryMark(const DeliveryMark&) = delete;
    DeliveryMark& operator=(const DeliveryMark&) = delete;

  private:
    const TDevices* previous_;
};

std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) tessel::NextUtf8Char(text, pos);
    return count;
}

// Runs `step`; the message of its failure, or nothing when it succeeded.
template <typename Step>
std::optional<std::string> FailureOf(Step&& step) {
    try {
        step();
        return std::nullopt;
    } catch (const std::exception& e) {
        return std::string(e.what());
    } catch (...) {
        return std::string(kUnknownError);
    }
}

std::string DeviceKeyPath(int number) {
    return std::string(TDevices::kDevicesKey) + "\\Device" + std::to_string(number);
}

// Each value only when present, in this order, through the same setters as the properties.
void ReadDeviceSettings(const tessel::Registry& reg, TDevice& device) {
    if (reg.ValueExists(kValueName)) device.SetDeviceName(reg.ReadString(kValueName));
    if (reg.ValueExists(kValueNumber)) device.SetDeviceNumber(reg.ReadInteger(kValueNumber));
    if (reg.ValueExists(kValueFuel)) device.SetFuel(reg.ReadBool(kValueFuel));
    if (reg.ValueExists(kValueBaudRate)) device.SetBaudRate(reg.ReadInteger(kValueBaudRate));
    if (reg.ValueExists(kValuePortNumber)) device.SetPortNumber(reg.ReadInteger(kValuePortNumber));
    // The address property keeps the low 8 bits of what it is given.
    if (reg.ValueExists(kValueDstAddress)) {
        device.SetDstAddress(static_cast<std::uint8_t>(reg.ReadInteger(kValueDstAddress) & 0xFF));
    }
}

void WriteDeviceSettings(tessel::Registry& reg, const TDevice& device) {
    reg.WriteString(kValueName, device.DeviceName());
    // A device that never had a number is stored without one: a stored 0 would be refused on the next
    // load, together with every value after it.
    if (device.DeviceNumber() != 0) reg.WriteInteger(kValueNumber, device.DeviceNumber());
    reg.WriteBool(kValueFuel, device.Fuel());
    reg.WriteInteger(kValueBaudRate, device.BaudRate());
    reg.WriteInteger(kValuePortNumber, device.PortNumber());
    reg.WriteInteger(kValueDstAddress, device.DstAddress());
    reg.WriteBool(kValueEnabled, device.DeviceEnabled());
}

void LogLoadFailure(TLogFile* log, const char* step, const std::string& message) {
    if (log == nullptr) return;
    log->Write(kLoadHeading);
    log->WriteError(step, message);
}

}  // namespace

// TDevice

TDevice::TDevice(TDevices& owner, std::unique_ptr<ICommPort> port, TLogFile* log)
    : TDriver(std::move(port), log), owner_(owner), name_(kDefaultName) {}

TDevice::~TDevice() {
    SetDeviceEnabled(false);
}

void TDevice::SetDeviceName(const std::string& value) {
    if (value == name_) return;
    if (CharacterCount(value) > kMaxNameLength) throw EDriverError(E_INVALIDVALUE);
    name_ = value;
}

void TDevice::SetDeviceNumber(int value) {
    if (value < kMinNumber || value > kMaxNumber) throw EDriverError(E_INVALIDVALUE);
    number_.store(value);
}

void TDevice::FrameComplete(TEcrFrame& frame) {
    owner_.DeliverFrame(*this, frame);
}

void TDevice::BadEscape(TEcrFrame& frame) {
    owner_.DeliverBadEscape(*this, frame);
}

void TDevice::PortGone(const std::string& reason) {
    TDriver::PortGone(reason);
    owner_.DeliverPortGone(*this, reason);
}

// TDevices

TDevices::TDevices(TLogFile* log, PortFactory portFactory) : log_(log), portFactory_(std::move(portFactory)) {
    if (!portFactory_) {
        portFactory_ = [](TLogFile* portLog) { return std::make_unique<TLinkComm>(portLog); };
    }
}

TDevices::~TDevices() {
    Clear();
}

void TDevices::SetFrameHandler(FrameHandler handler) {
    std::lock_guard guard(lock_);
    onFrame_ = std::move(handler);
}

void TDevices::SetBadEscapeHandler(FrameHandler handler) {
    std::lock_guard guard(lock_);
    onBadEscape_ = std::move(handler);
}

void TDevices::SetPortGoneHandler(PortGoneHandler handler) {
    std::lock_guard guard(lock_);
    onPortGone_ = std::move(handler);
}

void TDevices::DeliverPortGone(TDevice& device, const std::string& reason) {
    std::lock_guard guard(lock_);
    DeliveryMark mark(this);
    if (onPortGone_) onPortGone_(device, reason);
}

void TDevices::DeliverFrame(TDevice& device, const TEcrFrame& frame) {
    std::lock_guard guard(lock_);
    DeliveryMark mark(this);
    if (onFrame_) onFrame_(device, frame);
}

void TDevices::DeliverBadEscape(TDevice& device, const TEcrFrame& frame) {
    std::lock_guard guard(lock_);
    DeliveryMark mark(this);
    if (onBadEscape_) onBadEscape_(device, frame);
}

void TDevices::CheckNotInHandler() const {
    if (tDelivering == this) {
        throw std::logic_error("Список логических устройств нельзя менять из обработчика кадра");
    }
}

TDevice& TDevices::At(int index) const {
    if (index < 0 || index >= Count()) throw EDriverError(E_LDNOTFOUND);
    return *devices_[static_cast<std::size_t>(index)];
}

void TDevices::SelectByIndex(int index) {
    if (index < 0 || index > kMaxDevices - 1) throw EDriverError(E_INVALIDVALUE);
    if (index >= Count()) throw EDriverError(E_LDNOTFOUND);
    index_.store(index);
}

void TDevices::SelectByNumber(int number) {
    if (number < TDevice::kMinNumber || number > TDevice::kMaxNumber) throw EDriverError(E_INVALIDVALUE);
    const auto found = std::find_if(devices_.begin(), devices_.end(),
                                    [number](const auto& d) { return d->DeviceNumber() == number; });
    if (found == devices_.end()) throw EDriverError(E_LDNOTFOUND);
    index_.store(static_cast<int>(found - devices_.begin()));
}

void TDevices::SetCurrentName(const std::string& name) {
    Current().SetDeviceName(name);
}

std::unique_ptr<TDevice> TDevices::CreateDevice() {
    return std::make_unique<TDevice>(*this, portFactory_(log_), log_);
}

TDevice& TDevices::Attach(std::unique_ptr<TDevice> device) {
    TDevice& attached = *device;
    std::lock_guard guard(lock_);
    devices_.push_back(std::move(device));
    return attached;
}

void TDevices::SortByNumber() {
    std::lock_guard guard(lock_);
    std::stable_sort(devices_.begin(), devices_.end(),
                     [](const auto& a, const auto& b) { return a->DeviceNumber() < b->DeviceNumber(); });
}

int TDevices::IndexOf(const TDevice& device) const {
    const auto found = std::find_if(devices_.begin(), devices_.end(),
                                    [&device](const auto& d) { return d.get() == &device; });
    return static_cast<int>(found - devices_.begin());
}

int TDevices::SmallestFreeNumber() const {
    int number = TDevice::kMinNumber;
    while (std::any_of(devices_.begin(), devices_.end(),
                       [number](const auto& d) { return d->DeviceNumber() == number; })) {
        ++number;
    }
    return number;
}

void TDevices::Add() {
    CheckNotInHandler();
    if (Count() >= kMaxDevices) throw EDriverError(E_ADDDEVICE);
    auto device = CreateDevice();
    device->SetDeviceNumber(SmallestFreeNumber());
    const TDevice& added = Attach(std::move(device));
    SortByNumber();
    index_.store(IndexOf(added));
}

void TDevices::Delete() {
    CheckNotInHandler();
    if (Count() <= 1) throw EDriverError(E_DELETEDEVICE);
    std::unique_ptr<TDevice> doomed;
    {
        std::lock_guard guard(lock_);
        const auto index = static_cast<std::size_t>(std::clamp(index_.load(), 0, Count() - 1));
        doomed = std::move(devices_[index]);
        devices_.erase(devices_.begin() + static_cast<std::ptrdiff_t>(index));
        index_.store(std::min(static_cast<int>(index), Count() - 1));
    }
    // Outside the lock: closing the port joins its thread, which may be waiting for the lock.
    doomed.reset();
}

void TDevices::Clear() noexcept {
    std::vector<std::unique_ptr<TDevice>> doomed;
    {
        std::lock_guard guard(lock_);
        doomed.swap(devices_);
        index_.store(0);
    }
    doomed.clear();
}

void TDevices::Load() {
    CheckNotInHandler();
    Clear();
    try {
        LoadStored();
    } catch (...) {
        // The engine reports the failure; it still needs a usable list.
        if (devices_.empty()) Add();
        SortByNumber();
        throw;
    }
    if (devices_.empty()) Add();
    SortByNumber();
}

void TDevices::LoadStored() {
    tessel::Registry reg;
    if (!reg.OpenKey(kDevicesKey, false)) return;
    for (const std::string& name : reg.GetKeyNames()) LoadDevice(std::string(kDevicesKey) + "\\" + name);
    std::optional<int> current;
    if (reg.ValueExists(kValueNumber)) current = reg.ReadInteger(kValueNumber);
    SortByNumber();
    if (!current) return;
    try {
        SelectByNumber(*current);
    } catch (const EDriverError&) {
        // No such device: the first one stays current.
    }
}

void TDevices::LoadDevice(const std::string& keyPath) {
    tessel::Registry reg;
    if (!reg.OpenKey(keyPath, false)) return;
    TDevice& device = Attach(CreateDevice());
    std::optional<bool> enabled;
    const auto readFailure = FailureOf([&] {
        ReadDeviceSettings(reg, device);
        if (reg.ValueExists(kValueEnabled)) enabled = reg.ReadBool(kValueEnabled);
    });
    if (readFailure) {
        LogLoadFailure(log_, kLoadValuesFailed, *readFailure);
        return;
    }
    if (!enabled) return;
    const auto enableFailure = FailureOf([&] { device.SetDeviceEnabled(*enabled); });
    if (enableFailure) {
        // Opening may have got as far as the line states; the device stays, with its port closed.
        device.SetDeviceEnabled(false);
        LogLoadFailure(log_, kLoadEnabledFailed, *enableFailure);
    }
}

void TDevices::Save() noexcept {
    const auto failure = FailureOf([this] {
        // Deleted and written anew in one write, and in none when the list is as stored.
        tessel::RegistryUpdate update;
        tessel::Registry reg;
        reg.DeleteKey(kDevicesKey);
        reg.OpenKey(kDevicesKey, true);
        if (!devices_.empty()) reg.WriteInteger(kValueNumber, CurrentNumber());
        for (const auto& device : devices_) {
            tessel::Registry deviceReg;
            deviceReg.OpenKey(DeviceKeyPath(device->DeviceNumber()), true);
            WriteDeviceSettings(deviceReg, *device);
        }
        update.Commit();
    });
    if (failure && log_ != nullptr) log_->WriteError(kSaveFailed, *failure);
}
