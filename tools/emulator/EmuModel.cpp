#include "tools/emulator/EmuModel.h"

#include <algorithm>
#include <stdexcept>

#include "common/platform/CodePage.h"

namespace {

constexpr std::uint64_t kMaxSerial = 99'999'999ULL;    // bcd4
constexpr std::uint64_t kMaxINN = 999'999'999'999ULL;  // bcd6
constexpr std::uint64_t kMaxEKLZ = 9'999'999'999ULL;   // bcd5
constexpr std::size_t kMaxPorts = 256;                 // a port number is one byte

void CheckIdentity(const std::optional<std::uint64_t>& value, std::uint64_t max, const char* name) {
    if (value && *value > max) {
        throw std::invalid_argument(std::string(name) + " has more digits than its field holds");
    }
}

const EmuDumpDevice& DeviceAt(const std::array<EmuDumpDevice, EmuRegisterModel::kDumpDeviceCount>& devices,
                              std::uint8_t device, std::uint16_t block) {
    if (device < 1 || device > devices.size())
        throw std::out_of_range("no dump device " + std::to_string(device));
    const EmuDumpDevice& d = devices[device - 1];
    if (block >= d.blockCount) {
        throw std::out_of_range("dump device " + std::to_string(device) + " has no block " +
                                std::to_string(block));
    }
    return d;
}

}  // namespace

std::array<std::string, EmuRegisterModel::kFlagCount> EmuRegisterModel::DefaultFlagNames() {
    return {"Рулон чековой ленты",
            "Рулон контр. ленты",
            "Денежный ящик",
            "Крышка корпуса",
            "ЭКЛЗ",
            "Смена открыта",
            "24 часа истекли",
            "Чек открыт",
            "Десятичная точка",
            "Датчик бумаги",
            "Буфер печати пуст",
            "Печать прервана",
            "Режим обучения",
            "Фискализирована",
            "Питание от батареи",
            "Резерв"};
}

std::array<EmuDumpDevice, EmuRegisterModel::kDumpDeviceCount> EmuRegisterModel::DefaultDumpDevices() {
    std::array<EmuDumpDevice, kDumpDeviceCount> devices;
    // The fiscal memory store, clock, non-volatile memory, fiscal processor, program memory, RAM; no
    // external RAM fitted.
    const std::uint16_t counts[kDumpDeviceCount] = {2048, 1, 256, 64, 2048, 64, 0};
    for (std::size_t i = 0; i < kDumpDeviceCount; ++i) devices[i].blockCount = counts[i];
    return devices;
}

void EmuRegisterModel::Validate() const {
    CheckIdentity(serialNumber, kMaxSerial, "the serial number");
    CheckIdentity(inn, kMaxINN, "the taxpayer number");
    CheckIdentity(eklzNumber, kMaxEKLZ, "the ЭКЛЗ number");
    if (tessel::Utf8ToCp1251(description).size() > kMaxDescriptionBytes) {
        throw std::invalid_argument("the device name is longer than " + std::to_string(kMaxDescriptionBytes) +
                                    " bytes");
    }
    if (ports.empty() || ports.size() > kMaxPorts) {
        throw std::invalid_argument("a register has 1 to " + std::to_string(kMaxPorts) + " ports");
    }
    for (std::size_t i = 0; i < dumpDevices.size(); ++i) {
        for (const auto& [block, data] : dumpDevices[i].written) {
            if (block >= dumpDevices[i].blockCount || data.size() != kDumpBlockSize) {
                throw std::invalid_argument("dump device " + std::to_string(i + 1) + " holds a bad block " +
                                            std::to_string(block));
            }
        }
    }
}

Bytes EmuRegisterModel::DumpBlock(std::uint8_t device, std::uint16_t block) const {
    const EmuDumpDevice& d = DeviceAt(dumpDevices, device, block);
    if (auto it = d.written.find(block); it != d.written.end()) return it->second;
    Bytes out(kDumpBlockSize);
    for (std::size_t i = 0; i < kDumpBlockSize; ++i) {
        out[i] = static_cast<std::uint8_t>(device * 16 + block + i);
    }
    return out;
}

void EmuRegisterModel::WriteDumpBlock(std::uint8_t device, std::uint16_t block, const Bytes& data) {
    DeviceAt(dumpDevices, device, block);
    Bytes stored(kDumpBlockSize, 0x00);
    std::copy_n(data.begin(), std::min(data.size(), kDumpBlockSize), stored.begin());
    dumpDevices[device - 1].written[block] = std::move(stored);
}
