#include "tools/emulator/EmuModel.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "common/platform/AtomicFile.h"
#include "common/platform/CivilDate.h"
#include "common/platform/CodePage.h"
#include "common/platform/TextTrim.h"

namespace {

constexpr std::uint64_t kMaxSerial = 99'999'999ULL;    // bcd4
constexpr std::uint64_t kMaxINN = 999'999'999'999ULL;  // bcd6
constexpr std::uint64_t kMaxEKLZ = 9'999'999'999ULL;   // bcd5
constexpr std::size_t kMaxPorts = 256;                 // a port number is one byte
constexpr std::size_t kMaxRegisters = 65536;           // a register number is two bytes
constexpr std::int64_t kSecondsPerDay = 86'400;
constexpr int kCentury = 2000;  // the register keeps two digits of the year

bool ValidDate(unsigned day, unsigned month, unsigned year) {
    if (month < 1 || month > 12 || day < 1) return false;
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const unsigned y = kCentury + year;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// Seconds of a wall-clock reading, counted as if it were UTC, so that two readings subtract exactly.
std::int64_t WallSeconds(const EmuDateTime& t) {
    return tessel::DaysFromCivil(kCentury + t.year, t.month, t.day) * kSecondsPerDay + t.hour * 3600 +
           t.minute * 60 + t.second;
}

EmuDateTime FromWallSeconds(std::int64_t s) {
    std::int64_t days = s / kSecondsPerDay;
    std::int64_t rest = s % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    const tessel::CivilDate civil = tessel::CivilFromDays(days);
    EmuDateTime t;
    t.day = static_cast<std::uint8_t>(civil.day);
    t.month = static_cast<std::uint8_t>(civil.month);
    t.year = static_cast<std::uint8_t>(((civil.year % 100) + 100) % 100);
    t.hour = static_cast<std::uint8_t>(rest / 3600);
    t.minute = static_cast<std::uint8_t>(rest / 60 % 60);
    t.second = static_cast<std::uint8_t>(rest % 60);
    return t;
}

// The computer's local wall-clock reading, in the register's two-digit-year form.
EmuDateTime LocalTime(std::time_t now) {
    std::tm local{};
    ::localtime_r(&now, &local);
    EmuDateTime t;
    t.day = static_cast<std::uint8_t>(local.tm_mday);
    t.month = static_cast<std::uint8_t>(local.tm_mon + 1);
    t.year = static_cast<std::uint8_t>(local.tm_year % 100);
    t.hour = static_cast<std::uint8_t>(local.tm_hour);
    t.minute = static_cast<std::uint8_t>(local.tm_min);
    t.second = static_cast<std::uint8_t>(local.tm_sec);
    return t;
}

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
    if (cashRegisters.size() > kMaxRegisters || operationRegisters.size() > kMaxRegisters ||
        restRegisters.size() > kMaxRegisters) {
        throw std::invalid_argument("a register has at most " + std::to_string(kMaxRegisters) +
                                    " registers of a kind");
    }
    for (std::size_t i = 0; i < cashRegisters.size(); ++i) {
        if (cashRegisters[i] > kMaxCashRegister) {
            throw std::invalid_argument("money register " + std::to_string(i) + " does not fit six bytes");
        }
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

bool EmuRegisterModel::SetPointPosition(std::uint8_t position) {
    if (position > 1) return false;
    flags = static_cast<std::uint16_t>(position == 1 ? flags | kPointFlag : flags & ~kPointFlag);
    return true;
}

EmuDateTime EmuRegisterModel::ClockAt(std::time_t computerNow) const {
    if (clock) return *clock;
    const EmuDateTime local = LocalTime(computerNow);
    if (!clockOffset) return local;
    return FromWallSeconds(WallSeconds(local) + *clockOffset);
}

bool EmuRegisterModel::SetClockTime(std::uint8_t hour, std::uint8_t minute, std::uint8_t second,
                                    std::time_t computerNow) {
    if (hour > 23 || minute > 59 || second > 59) return false;
    EmuDateTime t = ClockAt(computerNow);
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    clockOffset = WallSeconds(t) - WallSeconds(LocalTime(computerNow));
    clock.reset();
    return true;
}

bool EmuRegisterModel::SetClockDate(std::uint8_t day, std::uint8_t month, std::uint8_t year,
                                    std::time_t computerNow) {
    if (year > 99 || !ValidDate(day, month, year)) return false;
    EmuDateTime t = ClockAt(computerNow);
    t.day = day;
    t.month = month;
    t.year = year;
    clockOffset = WallSeconds(t) - WallSeconds(LocalTime(computerNow));
    clock.reset();
    return true;
}

// ---- Model file ----

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        // Line ends from the line would otherwise split the entry.
        if (c == '\n' || c == '\r') {
            out += c == '\n' ? "\\n" : "\\r";
            continue;
        }
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

template <class T>
void SaveRegisters(std::ostringstream& out, const char* section, const std::vector<T>& values) {
    out << "\n[" << section << "]\n";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] != 0) out << i << " = " << values[i] << "\n";
    }
}

std::string Trim(std::string_view text) {
    return std::string(tessel::TrimBlanks(text, " \t\r"));
}

// Reads one file, keeping its name and the current line number for every complaint.
class ModelFileReader {
  public:
    ModelFileReader(std::string path, EmuRegisterModel& model) : path_(std::move(path)), model_(model) {}

    void Read(const std::string& contents) {
        std::istringstream in(contents);
        for (std::string raw; std::getline(in, raw);) {
            ++line_;
            const std::string text = Trim(raw);
            if (text.empty() || text[0] == '#') continue;
            if (text.front() == '[') {
                if (text.back() != ']') Fail("a section name needs a closing ']'");
                Section(Trim(std::string_view(text).substr(1, text.size() - 2)));
                continue;
            }
            const auto eq = text.find('=');
            if (eq == std::string::npos) Fail("expected \"key = value\"");
            Entry(Trim(std::string_view(text).substr(0, eq)), Trim(std::string_view(text).substr(eq + 1)));
        }
    }

  private:
    enum class Kind { None, Register, Cash, Operation, Rest, Table };

    [[noreturn]] void Fail(const std::string& what) const {
        throw std::runtime_error(path_ + ":" + std::to_string(line_) + ": " + what);
    }

    std::int64_t Number(const std::string& text, std::int64_t min, std::int64_t max) const {
        std::int64_t value = 0;
        const char* begin = text.data();
        const char* end = begin + text.size();
        const char* from = !text.empty() && text[0] == '+' ? begin + 1 : begin;
        const auto [stop, error] = std::from_chars(from, end, value);
        if (text.empty() || error != std::errc() || stop != end || value < min || value > max) {
            Fail("expected a number from " + std::to_string(min) + " to " + std::to_string(max) + ", got \"" +
                 text + "\"");
        }
        return value;
    }

    void Section(const std::string& name) {
        table_ = 0;
        if (name == "register") {
            kind_ = Kind::Register;
        } else if (name == "cash") {
            kind_ = Kind::Cash;
        } else if (name == "operation") {
            kind_ = Kind::Operation;
        } else if (name == "rest") {
            kind_ = Kind::Rest;
        } else if (name.rfind("table ", 0) == 0) {
            kind_ = Kind::Table;
            table_ = static_cast<std::uint8_t>(Number(Trim(name.substr(6)), 1, 255));
            EmuTableStruct s;
            if (model_.tables.Structure(table_, s) != kEmuTableOk)
                Fail("there is no table " + name.substr(6));
        } else {
            Fail("unknown section [" + name + "]");
        }
    }

    template <class T>
    void Register(std::vector<T>& values, const std::string& key, const std::string& value, std::int64_t min,
                  std::int64_t max) {
        const auto index = static_cast<std::size_t>(Number(key, 0, 65535));
        if (index >= values.size()) Fail("there is no register " + key);
        values[index] = static_cast<T>(Number(value, min, max));
    }

    void Entry(const std::string& key, const std::string& value) {
        switch (kind_) {
            case Kind::None:
                Fail("a value before any section");
            case Kind::Register:
                if (key == "point") {
                    model_.SetPointPosition(static_cast<std::uint8_t>(Number(value, 0, 1)));
                } else if (key == "clock") {
                    // A century either way is more than a two-digit year can tell apart.
                    constexpr std::int64_t kMaxOffset = 100LL * 366 * 86'400;
                    model_.clockOffset = Number(value, -kMaxOffset, kMaxOffset);
                    model_.clock.reset();
                } else {
                    Fail("unknown key " + key);
                }
                return;
            case Kind::Cash:
                return Register(model_.cashRegisters, key, value, 0,
                                static_cast<std::int64_t>(EmuRegisterModel::kMaxCashRegister));
            case Kind::Operation:
                return Register(model_.operationRegisters, key, value, 0, 65535);
            case Kind::Rest:
                return Register(model_.restRegisters, key, value, std::numeric_limits<std::int32_t>::min(),
                                std::numeric_limits<std::int32_t>::max());
            case Kind::Table:
                return Cell(key, value);
        }
    }

    void Cell(const std::string& key, const std::string& value) {
        const auto dot = key.find('.');
        if (dot == std::string::npos) Fail("expected ROW.FIELD, got \"" + key + "\"");
        const auto row = static_cast<std::uint16_t>(Number(key.substr(0, dot), 1, 65535));
        const auto field = static_cast<std::uint8_t>(Number(key.substr(dot + 1), 1, 255));
        EmuFieldDef def;
        if (model_.tables.Field(table_, field, def) != kEmuTableOk) Fail("there is no field " + key);
        const std::string text = def.type == 0 ? value : Unquoted(value);
        const std::int32_t result = model_.tables.Write(table_, row, field, def.type, text);
        if (result == kEmuBadRow) Fail("there is no row " + key);
        if (result != kEmuTableOk) Fail("the field " + key + " does not take " + value);
    }

    std::string Unquoted(const std::string& value) const {
        if (value.size() < 2 || value.front() != '"' || value.back() != '"')
            Fail("a text goes in double quotes");
        std::string out;
        for (std::size_t i = 1; i + 1 < value.size(); ++i) {
            char c = value[i];
            if (c == '\\') {
                if (i + 2 >= value.size()) Fail("a '\\' at the end of a text");
                c = value[++i];
                if (c == 'n') c = '\n';
                if (c == 'r') c = '\r';
            } else if (c == '"') {
                Fail("a '\"' inside a text needs a '\\' before it");
            }
            out += c;
        }
        return out;
    }

    std::string path_;
    EmuRegisterModel& model_;
    std::size_t line_ = 0;
    Kind kind_ = Kind::None;
    std::uint8_t table_ = 0;
};

}  // namespace

void SaveModelFile(const EmuRegisterModel& model, const std::string& path) {
    std::ostringstream out;
    out << "# TesselEmu register model\n\n[register]\npoint = " << int(model.PointPosition()) << "\n";
    if (model.clockOffset) out << "clock = " << *model.clockOffset << "\n";
    SaveRegisters(out, "cash", model.cashRegisters);
    SaveRegisters(out, "operation", model.operationRegisters);
    SaveRegisters(out, "rest", model.restRegisters);
    for (std::size_t t = 1; t <= model.tables.TableCount(); ++t) {
        const auto table = static_cast<std::uint8_t>(t);
        EmuTableStruct s;
        model.tables.Structure(table, s);
        out << "\n[table " << t << "]\n";
        for (std::uint16_t row = 1; row <= s.rowCount; ++row) {
            for (std::uint8_t field = 1; field <= s.fieldCount; ++field) {
                EmuFieldDef def;
                model.tables.Field(table, field, def);
                const EmuCell& cell = model.tables.Cell(table, row, field);
                out << row << "." << int(field) << " = "
                    << (def.type == 0 ? std::to_string(cell.number) : Quoted(cell.text)) << "\n";
            }
        }
    }
    tessel::WriteFileAtomically(path, out.str(), 0644);
}

EmuRegisterModel LoadModelFile(const std::string& path, EmuRegisterModel base) {
    std::string contents;
    if (!tessel::ReadWholeFile(path, contents)) throw std::runtime_error(path + ": cannot be read");
    ModelFileReader(path, base).Read(contents);
    return base;
}
