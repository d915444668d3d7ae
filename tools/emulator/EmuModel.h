#pragma once
// The state of one emulated cash register: what its status, fiscal memory, memory dump, flag, port,
// device-type, register, clock and table answers report. Plain data, so callers copy it, change it and hand
// it back; Validate keeps out what the register could not put on the line. SaveModelFile / LoadModelFile keep
// a configured register between runs.

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/platform/Bytes.h"
#include "tools/emulator/EmuTables.h"

// The register's own clock, when it is set instead of following the computer's clock.
struct EmuDateTime {
    std::uint8_t day = 1;
    std::uint8_t month = 1;
    std::uint8_t year = 0;  // two digits
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    bool operator==(const EmuDateTime&) const = default;
};

// One memory of the dump command: a number of 32-byte blocks. Blocks never written read as a fixed pattern
// (see EmuRegisterModel::DumpBlock), so a large memory costs nothing until it is written.
struct EmuDumpDevice {
    std::uint16_t blockCount = 0;
    std::map<std::uint16_t, Bytes> written;  // block number -> its 32 bytes
};

// Speed code and time-out of one of the register's serial ports.
struct EmuPortParams {
    std::uint8_t speedCode = 3;
    std::uint8_t timeout = 100;
};

struct EmuRegisterModel {
    static constexpr std::size_t kDumpDeviceCount = 7;  // device codes 1..7
    static constexpr std::size_t kDumpBlockSize = 32;
    static constexpr std::size_t kFlagCount = 16;
    static constexpr std::uint8_t kMinSpeedCode = 1;  // the baud codes 1..8 (1200 .. 115200 baud)
    static constexpr std::uint8_t kMaxSpeedCode = 8;
    // The device name is the tail of the device-type answer: opcode, result and six bytes leave this much
    // of the frame's 246 payload bytes.
    static constexpr std::size_t kMaxDescriptionBytes = 238;
    static constexpr std::size_t kCashRegisterCount = 256;
    static constexpr std::size_t kOperationRegisterCount = 256;
    static constexpr std::size_t kRestRegisterCount = 1000;
    static constexpr std::uint64_t kMaxCashRegister = (1ULL << 48) - 1;  // six bytes on the line
    static constexpr std::uint16_t kPointFlag = 1u << 8;                 // "Десятичная точка"

    // Status
    std::uint8_t operatorNumber = 1;
    std::string softVersion = "1.0";  // travels as two characters: "1.0" goes out as "10"
    std::uint16_t softBuild = 100;
    std::uint8_t softDay = 1;
    std::uint8_t softMonth = 6;
    std::uint8_t softYear = 5;
    std::uint16_t documentNumber = 1;
    std::uint16_t flags = 0;
    std::uint8_t mode = 1;
    std::uint8_t advancedMode = 0;
    std::uint8_t portNumber = 0;
    std::optional<EmuDateTime> clock;  // a stopped clock; empty: see clockOffset
    // Seconds the register's running clock is ahead of the computer's local time, once the computer has set
    // it; empty: the computer's local time at each answer.
    std::optional<std::int64_t> clockOffset;

    // Fiscal memory
    std::string fmSoftVersion = "1.02";  // three characters on the line
    std::uint16_t fmSoftBuild = 5;
    std::optional<std::uint64_t> serialNumber = 12345678;  // empty: never entered; at most 8 digits
    std::uint16_t sessionNumber = 1;
    std::uint16_t freeRecordInFM = 2000;
    std::uint8_t registrationNumber = 1;
    std::uint8_t freeRegistration = 3;
    std::optional<std::uint64_t> inn = 771234567890ULL;  // at most 12 digits
    std::uint8_t activizationNumber = 0;
    std::uint8_t freeActivization = 5;
    std::optional<std::uint64_t> eklzNumber;  // at most 10 digits

    // Names of the bits of the flag word (sent cut at 20 bytes).
    std::array<std::string, kFlagCount> flagNames = DefaultFlagNames();

    // Memories of the dump command; index 0 is device code 1.
    std::array<EmuDumpDevice, kDumpDeviceCount> dumpDevices = DefaultDumpDevices();

    // The register's serial ports, numbered from 0.
    std::vector<EmuPortParams> ports = std::vector<EmuPortParams>(2);

    // Device type
    std::uint8_t majorType = 0;
    std::uint8_t minorType = 0;
    std::uint8_t majorProtocolVersion = 1;
    std::uint8_t minorProtocolVersion = 0;
    std::uint8_t model = 2;
    std::uint8_t codePage = 1;
    std::string description = "Эмулятор ККМ";

    // How many times the register has sounded its beeper.
    std::uint32_t beepCount = 0;

    // Registers, numbered from 0: money in hundredths, operation counters, goods balances.
    std::vector<std::uint64_t> cashRegisters = std::vector<std::uint64_t>(kCashRegisterCount);
    std::vector<std::uint16_t> operationRegisters = std::vector<std::uint16_t>(kOperationRegisterCount);
    std::vector<std::int32_t> restRegisters = std::vector<std::int32_t>(kRestRegisterCount);

    EmuTables tables;

    static std::array<std::string, kFlagCount> DefaultFlagNames();
    static std::array<EmuDumpDevice, kDumpDeviceCount> DefaultDumpDevices();

    // Throws std::invalid_argument naming the first field the register could not report: an identity with
    // more digits than its field, a device name longer than kMaxDescriptionBytes in the register's code page,
    // no port or more than 256, a written dump block that is not 32 bytes or lies beyond its device, more
    // than 65536 registers of a kind, a money register beyond six bytes.
    void Validate() const;

    // The decimal point position: 1 when the point is on (the status flag "Десятичная точка"), else 0.
    std::uint8_t PointPosition() const { return (flags & kPointFlag) != 0 ? 1 : 0; }
    // Sets the point on (1) or off (0); false, changing nothing, for any other position.
    bool SetPointPosition(std::uint8_t position);

    // The register's date and time when the computer's clock reads `computerNow`: the stopped clock, else the
    // computer's local time moved by clockOffset.
    EmuDateTime ClockAt(std::time_t computerNow) const;
    EmuDateTime ClockNow() const { return ClockAt(std::time(nullptr)); }
    // Set the time or the date of the running clock (the other half kept as the clock reads at
    // `computerNow`); the stopped clock is dropped. False, changing nothing, for a time or date that does not
    // exist (the year is 2000 + year).
    bool SetClockTime(std::uint8_t hour, std::uint8_t minute, std::uint8_t second,
                      std::time_t computerNow = std::time(nullptr));
    bool SetClockDate(std::uint8_t day, std::uint8_t month, std::uint8_t year,
                      std::time_t computerNow = std::time(nullptr));

    // The 32 bytes of a block: what was written, else byte i of block b of device d reads
    // (d * 16 + b + i) mod 256. Throws std::out_of_range for a device outside 1..7 or a block beyond its
    // count.
    Bytes DumpBlock(std::uint8_t device, std::uint16_t block) const;
    // Replaces a block; the data is cut or filled with 00h to 32 bytes. Fails as DumpBlock does.
    void WriteDumpBlock(std::uint8_t device, std::uint16_t block, const Bytes& data);
};

// The model file: UTF-8 text of sections and "key = value" lines; blank lines and lines starting with '#' are
// skipped. It keeps what the computer can change on a register:
//   [register]   point = 0|1; clock = seconds the clock runs ahead of the computer's (absent: none set)
//   [cash]       N = hundredths      (money register N; registers not listed are 0)
//   [operation]  N = count
//   [rest]       N = balance
//   [table T]    ROW.FIELD = number, or "text" with \" \\ \n \r inside (cells not listed keep their
//                initial contents)
// Everything else (identities, ports, dump memories) comes from the model the file is loaded onto.

// Writes the file atomically. Throws std::system_error naming the file when it cannot be written.
void SaveModelFile(const EmuRegisterModel& model, const std::string& path);
// Loads the file onto `base`. Throws std::runtime_error "PATH:LINE: what is wrong" for a line it cannot take
// (an unknown section or key, a number out of range, a register or cell that does not exist, a value the
// table refuses), and "PATH: ..." when the file cannot be read.
EmuRegisterModel LoadModelFile(const std::string& path, EmuRegisterModel base = {});
