#include "tools/emulator/EmuRegister.h"

#include <ctime>
#include <exception>
#include <string>
#include <utility>

#include "driver/commands/CommandFactory.h"
#include "driver/commands/untStatusCommands.h"

namespace {

using Handler = std::int32_t (*)(EmuRegisterModel&, const TCommand& request, TCommand& answer);

template <class T>
std::unique_ptr<TCommand> Make() {
    return std::make_unique<T>();
}

// The request and the answer are both made by the entry's own class, so the casts cannot miss.
template <class T, std::int32_t (*Fn)(EmuRegisterModel&, const T&, T&)>
std::int32_t Typed(EmuRegisterModel& model, const TCommand& request, TCommand& answer) {
    return Fn(model, static_cast<const T&>(request), static_cast<T&>(answer));
}

std::int32_t Dump(EmuRegisterModel& model, const TCommand01h& request, TCommand01h& answer) {
    const std::uint8_t device = request.DeviceNumber;
    if (device < 1 || device > EmuRegisterModel::kDumpDeviceCount) return kEmuBadDevice;
    const EmuDumpDevice& d = model.dumpDevices[device - 1];
    if (request.DataBlockNumber >= d.blockCount) return kEmuBadBlock;
    answer.DataBlockCount = d.blockCount;
    answer.DataBlock = model.DumpBlock(device, request.DataBlockNumber);
    return kEmuOk;
}

std::int32_t FlagName(EmuRegisterModel& model, const TCommand10h& request, TCommand10h& answer) {
    if (request.FlagNumber >= EmuRegisterModel::kFlagCount) return kEmuBadBit;
    answer.FlagName = model.flagNames[request.FlagNumber];
    return kEmuOk;
}

EmuDateTime Now(const EmuRegisterModel& model) {
    if (model.clock) return *model.clock;
    const std::time_t now = std::time(nullptr);
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

std::int32_t Status(EmuRegisterModel& model, const TCommand11h&, TCommand11h& answer) {
    answer.OperatorNumber = model.operatorNumber;
    answer.ECRSoftVersion = model.softVersion;
    answer.ECRSoftBuild = model.softBuild;
    answer.ECRSoftDay = model.softDay;
    answer.ECRSoftMonth = model.softMonth;
    answer.ECRSoftYear = model.softYear;
    answer.DocumentNumber = model.documentNumber;
    answer.ECRFlags = model.flags;
    answer.ECRMode = model.mode;
    answer.ECRAdvancedMode = model.advancedMode;
    answer.ECRPortNumber = model.portNumber;
    const EmuDateTime now = Now(model);
    answer.ECRDay = now.day;
    answer.ECRMonth = now.month;
    answer.ECRYear = now.year;
    answer.ECRHour = now.hour;
    answer.ECRMin = now.minute;
    answer.ECRSec = now.second;
    return kEmuOk;
}

void SetIdentity(const std::optional<std::uint64_t>& value, std::string& text, bool& valid) {
    valid = value.has_value();
    text = valid ? std::to_string(*value) : TCommand12h::kNotEntered;
}

std::int32_t FiscalMemory(EmuRegisterModel& model, const TCommand12h&, TCommand12h& answer) {
    answer.FMSoftVersion = model.fmSoftVersion;
    answer.FMSoftBuild = model.fmSoftBuild;
    SetIdentity(model.serialNumber, answer.SerialNumber, answer.SerialNumberValid);
    answer.SessionNumber = model.sessionNumber;
    answer.FreeRecordInFM = model.freeRecordInFM;
    answer.RegistrationNumber = model.registrationNumber;
    answer.FreeRegistration = model.freeRegistration;
    SetIdentity(model.inn, answer.INN, answer.INNValid);
    answer.ActivizationNumber = model.activizationNumber;
    answer.FreeActivization = model.freeActivization;
    SetIdentity(model.eklzNumber, answer.EKLZNumber, answer.EKLZNumberValid);
    return kEmuOk;
}

std::int32_t Beep(EmuRegisterModel& model, const TCommand13h&, TCommand13h&) {
    ++model.beepCount;
    return kEmuOk;
}

std::int32_t SetPort(EmuRegisterModel& model, const TCommand14h& request, TCommand14h&) {
    if (request.ECRPortNumber >= model.ports.size()) return kEmuBadPort;
    if (request.ECRBaudRate < EmuRegisterModel::kMinSpeedCode ||
        request.ECRBaudRate > EmuRegisterModel::kMaxSpeedCode) {
        return kEmuBadSpeed;
    }
    model.ports[request.ECRPortNumber] = {request.ECRBaudRate, request.ECRTimeout};
    return kEmuOk;
}

std::int32_t GetPort(EmuRegisterModel& model, const TCommand15h& request, TCommand15h& answer) {
    if (request.ECRPortNumber >= model.ports.size()) return kEmuBadPort;
    answer.ECRBaudRate = model.ports[request.ECRPortNumber].speedCode;
    answer.ECRTimeout = model.ports[request.ECRPortNumber].timeout;
    return kEmuOk;
}

std::int32_t DeviceType(EmuRegisterModel& model, const TCommandFCh&, TCommandFCh& answer) {
    answer.UMajorType = model.majorType;
    answer.UMinorType = model.minorType;
    answer.UMajorProtocolVersion = model.majorProtocolVersion;
    answer.UMinorProtocolVersion = model.minorProtocolVersion;
    answer.UModel = model.model;
    answer.UCodePage = model.codePage;
    answer.UDescription = model.description;
    return kEmuOk;
}

std::int32_t Search(EmuRegisterModel&, const TCommand&, TCommand&) {
    return kEmuOk;
}

struct Entry {
    std::uint8_t opcode;
    TCommandClass make;
    Handler handle;
};

constexpr Entry kEntries[] = {
    {0x01, &Make<TCommand01h>, &Typed<TCommand01h, &Dump>},
    {0x10, &Make<TCommand10h>, &Typed<TCommand10h, &FlagName>},
    {0x11, &Make<TCommand11h>, &Typed<TCommand11h, &Status>},
    {0x12, &Make<TCommand12h>, &Typed<TCommand12h, &FiscalMemory>},
    {0x13, &Make<TCommand13h>, &Typed<TCommand13h, &Beep>},
    {0x14, &Make<TCommand14h>, &Typed<TCommand14h, &SetPort>},
    {0x15, &Make<TCommand15h>, &Typed<TCommand15h, &GetPort>},
    {0xFC, &Make<TCommandFCh>, &Typed<TCommandFCh, &DeviceType>},
    {kSearchOpcode, &Make<TCommand>, &Search},
};

const Entry* Find(std::uint8_t opcode) {
    for (const Entry& e : kEntries) {
        if (e.opcode == opcode) return &e;
    }
    return nullptr;
}

std::unique_ptr<TCommand> Answer(std::unique_ptr<TCommand> answer, std::uint8_t opcode, std::int32_t result) {
    answer->Code = opcode;
    answer->CommandType = 1;
    answer->ResultCode = result;
    return answer;
}

constexpr std::size_t kOpcodeOffset = 7;

}  // namespace

EmuRegister::EmuRegister(EmuRegisterModel model) {
    model.Validate();
    model_ = std::move(model);
}

void EmuRegister::SetModel(EmuRegisterModel model) {
    model.Validate();
    model_ = std::move(model);
}

bool EmuRegister::Knows(std::uint8_t opcode) {
    return Find(opcode) != nullptr;
}

std::unique_ptr<TCommand> EmuRegister::Execute(const Bytes& frame) {
    const std::uint8_t opcode = frame.size() > kOpcodeOffset ? frame[kOpcodeOffset] : 0;
    const Entry* entry = Find(opcode);
    if (entry == nullptr) return Answer(CreateCommand(opcode), opcode, kEmuUnavailable);

    std::unique_ptr<TCommand> request = entry->make();
    try {
        // A block shorter than the opcode's layout is reported by SetFrame, not raised.
        if (!request->SetFrame(frame, true).empty()) return Answer(entry->make(), opcode, kEmuBadParameters);
    } catch (const std::exception&) {
        return Answer(entry->make(), opcode, kEmuBadParameters);
    }
    std::unique_ptr<TCommand> answer = entry->make();
    const std::int32_t result = entry->handle(model_, *request, *answer);
    return Answer(std::move(answer), opcode, result);
}
