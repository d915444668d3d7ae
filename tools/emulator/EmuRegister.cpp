#include "tools/emulator/EmuRegister.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <string>
#include <utility>

#include "driver/commands/CommandFactory.h"
#include "driver/commands/untRegisterCommands.h"
#include "driver/commands/untStatusCommands.h"
#include "driver/commands/untTableCommands.h"

namespace {

using Handler = std::int32_t (*)(EmuRegisterModel&, const TCommand& request, TCommand& answer);

template <class T>
std::unique_ptr<TCommand> Make() {
    return std::make_unique<T>();
}

std::int32_t Execute(EmuRegisterModel& model, const TCommand01h& request, TCommand01h& answer) {
    const std::uint8_t device = request.DeviceNumber;
    if (device < 1 || device > EmuRegisterModel::kDumpDeviceCount) return kEmuBadDevice;
    const EmuDumpDevice& d = model.dumpDevices[device - 1];
    if (request.DataBlockNumber >= d.blockCount) return kEmuBadBlock;
    answer.DataBlockCount = d.blockCount;
    answer.DataBlock = model.DumpBlock(device, request.DataBlockNumber);
    return kEmuOk;
}

std::int32_t Execute(EmuRegisterModel& model, const TCommand10h& request, TCommand10h& answer) {
    if (request.FlagNumber >= EmuRegisterModel::kFlagCount) return kEmuBadBit;
    answer.FlagName = model.flagNames[request.FlagNumber];
    return kEmuOk;
}

std::int32_t Execute(EmuRegisterModel& model, const TCommand11h&, TCommand11h& answer) {
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
    const EmuDateTime now = model.ClockNow();
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

std::int32_t Execute(EmuRegisterModel& model, const TCommand12h&, TCommand12h& answer) {
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

std::int32_t Execute(EmuRegisterModel& model, const TCommand13h&, TCommand13h&) {
    ++model.beepCount;
    return kEmuOk;
}

std::int32_t Execute(EmuRegisterModel& model, const TCommand14h& request, TCommand14h&) {
    if (request.ECRPortNumber >= model.ports.size()) return kEmuBadPort;
    if (request.ECRBaudRate < EmuRegisterModel::kMinSpeedCode ||
        request.ECRBaudRate > EmuRegisterModel::kMaxSpeedCode) {
        return kEmuBadSpeed;
    }
    model.ports[request.ECRPortNumber] = {request.ECRBaudRate, request.ECRTimeout};
    return kEmuOk;
}

std::int32_t Execute(EmuRegisterModel& model, const TCommand15h& request, TCommand15h& answer) {
    if (request.ECRPortNumber >= model.ports.size()) return kEmuBadPort;
    answer.ECRBaudRate = model.ports[request.ECRPortNumber].speedCode;
    answer.ECRTimeout = model.ports[request.ECRPortNumber].timeout;
    return kEmuOk;
}

std::int32_t Execute(EmuRegisterModel& model, const TCommandFCh&, TCommandFCh& answer) {
    answer.UMajorType = model.majorType;
    answer.UMinorType = model.minorType;
    answer.UMajorProtocolVersion = model.majorProtocolVersion;
    answer.UMinorProtocolVersion = model.minorProtocolVersion;
    answer.UModel = model.model;
    answer.UCodePage = model.codePage;
    answer.UDescription = model.description;
    return kEmuOk;
}

// Money registers are kept in hundredths; the command's value is the automation currency (1/10000).
constexpr Currency kCurrencyPerHundredth = 100;

std::int32_t Execute(EmuRegisterModel& model, const TCommand1Ah& request, TCommand1Ah& answer) {
    if (request.RegisterNumber >= model.cashRegisters.size()) return kEmuBadRegister;
    answer.CashRegister =
        static_cast<Currency>(model.cashRegisters[request.RegisterNumber]) * kCurrencyPerHundredth;
    return kEmuOk;
}

std::int32_t Execute(EmuRegisterModel& model, const TCommand1Bh& request, TCommand1Bh& answer) {
    if (request.RegisterNumber >= model.operationRegisters.size()) return kEmuBadRegister;
    answer.OperationRegister = model.operationRegisters[request.RegisterNumber];
    return kEmuOk;
}

std::int32_t Execute(EmuRegisterModel& model, const TCommand1Ch& request, TCommand1Ch& answer) {
    if (request.RegisterNumber >= model.restRegisters.size()) return kEmuBadRegister;
    answer.RestRegister = model.restRegisters[request.RegisterNumber];
    return kEmuOk;
}

std::int32_t Execute(EmuRegisterModel& model, const TCommand1Dh& request, TCommand1Dh&) {
    if (request.RegisterNumber >= model.restRegisters.size()) return kEmuBadRegister;
    model.restRegisters[request.RegisterNumber] = request.RestRegister;
    return kEmuOk;
}

std::int32_t Execute(EmuRegisterModel& model, const TCommand20h& request, TCommand20h&) {
    return model.SetPointPosition(request.PositionOfPoint) ? std::int32_t{kEmuOk}
                                                           : std::int32_t{kEmuBadValue};
}

std::int32_t Execute(EmuRegisterModel& model, const TCommand21h& request, TCommand21h&) {
    return model.SetClockTime(request.ECRHour, request.ECRMin, request.ECRSec) ? kEmuOk : kEmuBadDateTime;
}

std::int32_t Execute(EmuRegisterModel& model, const TCommand22h& request, TCommand22h&) {
    return model.SetClockDate(request.ECRDay, request.ECRMonth, request.ECRYear) ? kEmuOk : kEmuBadDateTime;
}

std::int32_t Execute(EmuRegisterModel& model, const TCommand1Eh& request, TCommand1Eh&) {
    return model.tables.Write(request.TableNumber, request.RowNumber, request.FieldNumber, request.FieldType,
                              request.FieldValue);
}

std::int32_t Execute(EmuRegisterModel& model, const TCommand1Fh& request, TCommand1Fh& answer) {
    return model.tables.Read(request.TableNumber, request.RowNumber, request.FieldNumber, answer.FieldType,
                             answer.FieldValueBytes);
}

std::int32_t Execute(EmuRegisterModel& model, const TCommand24h&, TCommand24h&) {
    model.tables.Init();
    return kEmuOk;
}

std::int32_t Execute(EmuRegisterModel& model, const TCommand2Dh& request, TCommand2Dh& answer) {
    EmuTableStruct s;
    const std::int32_t result = model.tables.Structure(request.TableNumber, s);
    if (result != kEmuTableOk) return result;
    answer.TableName = s.name;
    answer.RowCount = s.rowCount;
    answer.FieldCount = s.fieldCount;
    return kEmuOk;
}

// The limits travel as four signed bytes; a wider one (the 14-digit field) is reported at the edge.
std::int32_t Limit(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

std::int32_t Execute(EmuRegisterModel& model, const TCommand2Eh& request, TCommand2Eh& answer) {
    EmuFieldDef def;
    const std::int32_t result = model.tables.Field(request.TableNumber, request.FieldNumber, def);
    if (result != kEmuTableOk) return result;
    answer.FieldName = def.name;
    answer.FieldType = def.type;
    answer.FieldSize = def.size;
    answer.FieldMinValue = Limit(def.min);
    answer.FieldMaxValue = Limit(def.max);
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

// Every command the computer sends (OpcodeList.h) is executed by the Execute of its class, and the search
// request by every register. The request and the answer are both made by the entry's own class, so the casts
// cannot miss; a command without its Execute does not compile.
template <class T>
std::int32_t Typed(EmuRegisterModel& model, const TCommand& request, TCommand& answer) {
    return Execute(model, static_cast<const T&>(request), static_cast<T&>(answer));
}

constexpr Entry kEntries[] = {
#define TESSEL_EMULATED(opcode, Class, ...) {opcode, &Make<Class>, &Typed<Class>},
    TESSEL_COMPUTER_COMMANDS(TESSEL_EMULATED)
#undef TESSEL_EMULATED
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
