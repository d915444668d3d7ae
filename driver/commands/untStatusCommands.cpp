#include "driver/commands/untStatusCommands.h"

#include <algorithm>

#include "common/platform/CodePage.h"
#include "driver/commands/untLayout.h"
#include "driver/engine/ECRDrvData.h"
#include "driver/link/untCodecs.h"

namespace {

using layout::At;
using layout::SameClass;

// An identity of the fiscal memory: all bytes FFh means it was never entered. A field cut short by the block
// cannot be all FFh: the missing bytes count as 0.
bool IsNotEntered(const Bytes& block, std::size_t pos, std::size_t width) {
    const std::size_t start = pos - 1;
    if (start > block.size() || block.size() - start < width) return false;
    return std::all_of(block.begin() + static_cast<std::ptrdiff_t>(start),
                       block.begin() + static_cast<std::ptrdiff_t>(start + width),
                       [](std::uint8_t b) { return b == 0xFF; });
}

void DecodeIdentity(const Bytes& block, std::size_t pos, std::size_t width, std::string& text, bool& valid) {
    valid = !IsNotEntered(block, pos, width);
    text = valid ? DecodeBcd(block, pos, width) : TCommand12h::kNotEntered;
}

// The number is read in 64 bits whatever the field: a serial number beyond 8 digits is then refused by the
// BCD codec instead of wrapping into a smaller, wrong number.
Bytes EncodeIdentity(const std::string& text, bool valid, std::size_t width) {
    if (!valid) return Bytes(width, 0xFF);
    return EncodeBcd(NumberTextToInt(text), width);
}

// 12h identities: offsets and widths.
constexpr std::size_t kSerialOffset = 5, kSerialWidth = 4;
constexpr std::size_t kINNOffset = 15, kINNWidth = 6;
constexpr std::size_t kEKLZOffset = 23, kEKLZWidth = 5;

// FCh: the device name follows the six fixed bytes.
constexpr std::size_t kMetricsFixed = 6;

}  // namespace

// ---- 01h ----

Bytes TCommand01h::EncodeRequest() const {
    Bytes out = EncodeU8(DeviceNumber);
    AppendBytes(out, EncodeU16(DataBlockNumber));
    return out;
}

Bytes TCommand01h::EncodeAnswer() const {
    Bytes out = EncodeU16(DataBlockCount);
    Bytes block(kBlockSize, 0x00);
    std::copy_n(DataBlock.begin(), std::min(DataBlock.size(), kBlockSize), block.begin());
    AppendBytes(out, block);
    return out;
}

void TCommand01h::DecodeRequest(const Bytes& data) {
    DeviceNumber = DecodeU8(data, At(0));
    DataBlockNumber = DecodeU16(data, At(1));
}

void TCommand01h::DecodeAnswer(const Bytes& data) {
    DataBlockCount = DecodeU16(data, At(0));
    // Raw memory: no trimming, only as much of the 32 bytes as the block holds.
    const std::size_t start = std::min<std::size_t>(2, data.size());
    const std::size_t count = std::min(kBlockSize, data.size() - start);
    const auto first = data.begin() + static_cast<std::ptrdiff_t>(start);
    DataBlock.assign(first, first + static_cast<std::ptrdiff_t>(count));
}

void TCommand01h::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) {
        data.DeviceNumber = DeviceNumber;
        data.DataBlockNumber = DataBlockNumber;
    } else {
        data.DataBlockCount = DataBlockCount;
        data.DataBlock = DataBlock;
    }
}

void TCommand01h::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) {
        DeviceNumber = KeepLowBits<std::uint8_t>(data.DeviceNumber);
        DataBlockNumber = KeepLowBits<std::uint16_t>(data.DataBlockNumber);
    } else {
        DataBlockCount = KeepLowBits<std::uint16_t>(data.DataBlockCount);
        DataBlock = data.DataBlock;
    }
}

void TCommand01h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand01h>(source)) {
        DeviceNumber = s->DeviceNumber;
        DataBlockNumber = s->DataBlockNumber;
        DataBlockCount = s->DataBlockCount;
        DataBlock = s->DataBlock;
    }
}

// ---- 10h ----

Bytes TCommand10h::EncodeRequest() const {
    return EncodeU8(FlagNumber);
}

Bytes TCommand10h::EncodeAnswer() const {
    return EncodeText(FlagName, 20);
}

void TCommand10h::DecodeRequest(const Bytes& data) {
    FlagNumber = DecodeU8(data, At(0));
}

void TCommand10h::DecodeAnswer(const Bytes& data) {
    FlagName = DecodeText(data, At(0), 20);
}

void TCommand10h::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) {
        data.FlagNumber = FlagNumber;
    } else {
        data.FlagName = FlagName;
    }
}

void TCommand10h::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) {
        FlagNumber = KeepLowBits<std::uint8_t>(data.FlagNumber);
    } else {
        FlagName = data.FlagName;
    }
}

void TCommand10h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand10h>(source)) {
        FlagNumber = s->FlagNumber;
        FlagName = s->FlagName;
    }
}

// ---- 11h ----

Bytes TCommand11h::EncodeAnswer() const {
    Bytes out = EncodeU8(OperatorNumber);
    AppendBytes(out, EncodeVersion(ECRSoftVersion, 2));
    AppendBytes(out, EncodeU16(ECRSoftBuild));
    AppendBytes(out, Bytes{ECRSoftDay, ECRSoftMonth, ECRSoftYear});
    AppendBytes(out, EncodeU16(DocumentNumber));
    AppendBytes(out, EncodeU16(ECRFlags));
    AppendBytes(out, Bytes{ECRMode, ECRAdvancedMode, ECRPortNumber});
    AppendBytes(out, Bytes{ECRDay, ECRMonth, ECRYear, ECRHour, ECRMin, ECRSec});
    return out;
}

void TCommand11h::DecodeAnswer(const Bytes& data) {
    OperatorNumber = DecodeU8(data, At(0));
    ECRSoftVersion = DecodeVersion(data, At(1), 2);
    ECRSoftBuild = DecodeU16(data, At(3));
    ECRSoftDay = DecodeU8(data, At(5));
    ECRSoftMonth = DecodeU8(data, At(6));
    ECRSoftYear = DecodeU8(data, At(7));
    DocumentNumber = DecodeU16(data, At(8));
    ECRFlags = DecodeU16(data, At(10));
    ECRMode = DecodeU8(data, At(12));
    ECRAdvancedMode = DecodeU8(data, At(13));
    ECRPortNumber = DecodeU8(data, At(14));
    ECRDay = DecodeU8(data, At(15));
    ECRMonth = DecodeU8(data, At(16));
    ECRYear = DecodeU8(data, At(17));
    ECRHour = DecodeU8(data, At(18));
    ECRMin = DecodeU8(data, At(19));
    ECRSec = DecodeU8(data, At(20));
}

void TCommand11h::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) return;
    data.OperatorNumber = OperatorNumber;
    data.ECRSoftVersion = ECRSoftVersion;
    data.ECRSoftBuild = ECRSoftBuild;
    data.ECRSoftDay = ECRSoftDay;
    data.ECRSoftMonth = ECRSoftMonth;
    data.ECRSoftYear = ECRSoftYear;
    data.DocumentNumber = DocumentNumber;
    data.ECRFlags = ECRFlags;
    data.ECRMode = ECRMode;
    data.ECRAdvancedMode = ECRAdvancedMode;
    data.ECRPortNumber = ECRPortNumber;
    data.ECRDay = ECRDay;
    data.ECRMonth = ECRMonth;
    data.ECRYear = ECRYear;
    data.ECRHour = ECRHour;
    data.ECRMin = ECRMin;
    data.ECRSec = ECRSec;
}

void TCommand11h::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) return;
    OperatorNumber = data.OperatorNumber;
    ECRSoftVersion = data.ECRSoftVersion;
    ECRSoftBuild = data.ECRSoftBuild;
    ECRSoftDay = data.ECRSoftDay;
    ECRSoftMonth = data.ECRSoftMonth;
    ECRSoftYear = data.ECRSoftYear;
    DocumentNumber = KeepLowBits<std::uint16_t>(data.DocumentNumber);
    ECRFlags = data.ECRFlags;
    ECRMode = data.ECRMode;
    ECRAdvancedMode = KeepLowBits<std::uint8_t>(data.ECRAdvancedMode);
    ECRPortNumber = data.ECRPortNumber;
    ECRDay = data.ECRDay;
    ECRMonth = data.ECRMonth;
    ECRYear = data.ECRYear;
    ECRHour = data.ECRHour;
    ECRMin = data.ECRMin;
    ECRSec = data.ECRSec;
}

void TCommand11h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand11h>(source)) {
        OperatorNumber = s->OperatorNumber;
        ECRSoftVersion = s->ECRSoftVersion;
        ECRSoftBuild = s->ECRSoftBuild;
        ECRSoftDay = s->ECRSoftDay;
        ECRSoftMonth = s->ECRSoftMonth;
        ECRSoftYear = s->ECRSoftYear;
        DocumentNumber = s->DocumentNumber;
        ECRFlags = s->ECRFlags;
        ECRMode = s->ECRMode;
        ECRAdvancedMode = s->ECRAdvancedMode;
        ECRPortNumber = s->ECRPortNumber;
        ECRDay = s->ECRDay;
        ECRMonth = s->ECRMonth;
        ECRYear = s->ECRYear;
        ECRHour = s->ECRHour;
        ECRMin = s->ECRMin;
        ECRSec = s->ECRSec;
    }
}

// ---- 12h ----

Bytes TCommand12h::EncodeAnswer() const {
    Bytes out = EncodeVersion(FMSoftVersion, 3);
    AppendBytes(out, EncodeU16(FMSoftBuild));
    AppendBytes(out, EncodeIdentity(SerialNumber, SerialNumberValid, kSerialWidth));
    AppendBytes(out, EncodeU16(SessionNumber));
    AppendBytes(out, EncodeU16(FreeRecordInFM));
    AppendBytes(out, Bytes{RegistrationNumber, FreeRegistration});
    AppendBytes(out, EncodeIdentity(INN, INNValid, kINNWidth));
    AppendBytes(out, Bytes{ActivizationNumber, FreeActivization});
    AppendBytes(out, EncodeIdentity(EKLZNumber, EKLZNumberValid, kEKLZWidth));
    return out;
}

void TCommand12h::DecodeAnswer(const Bytes& data) {
    FMSoftVersion = DecodeVersion(data, At(0), 3);
    FMSoftBuild = DecodeU16(data, At(3));
    DecodeIdentity(data, At(kSerialOffset), kSerialWidth, SerialNumber, SerialNumberValid);
    SessionNumber = DecodeU16(data, At(9));
    FreeRecordInFM = DecodeU16(data, At(11));
    RegistrationNumber = DecodeU8(data, At(13));
    FreeRegistration = DecodeU8(data, At(14));
    DecodeIdentity(data, At(kINNOffset), kINNWidth, INN, INNValid);
    ActivizationNumber = DecodeU8(data, At(21));
    FreeActivization = DecodeU8(data, At(22));
    DecodeIdentity(data, At(kEKLZOffset), kEKLZWidth, EKLZNumber, EKLZNumberValid);
}

void TCommand12h::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) return;
    data.FMSoftVersion = FMSoftVersion;
    data.FMSoftBuild = FMSoftBuild;
    data.SerialNumber = SerialNumber;
    data.SerialNumberValid = SerialNumberValid;
    data.SessionNumber = SessionNumber;
    data.FreeRecordInFM = FreeRecordInFM;
    data.RegistrationNumber = RegistrationNumber;
    data.FreeRegistration = FreeRegistration;
    data.INN = INN;
    data.INNValid = INNValid;
    data.ActivizationNumber = ActivizationNumber;
    data.FreeActivization = FreeActivization;
    data.EKLZNumber = EKLZNumber;
    data.EKLZNumberValid = EKLZNumberValid;
}

void TCommand12h::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) return;
    FMSoftVersion = data.FMSoftVersion;
    FMSoftBuild = data.FMSoftBuild;
    SerialNumber = data.SerialNumber;
    SerialNumberValid = data.SerialNumberValid;
    SessionNumber = KeepLowBits<std::uint16_t>(data.SessionNumber);
    FreeRecordInFM = data.FreeRecordInFM;
    RegistrationNumber = KeepLowBits<std::uint8_t>(data.RegistrationNumber);
    FreeRegistration = KeepLowBits<std::uint8_t>(data.FreeRegistration);
    INN = data.INN;
    INNValid = data.INNValid;
    ActivizationNumber = KeepLowBits<std::uint8_t>(data.ActivizationNumber);
    FreeActivization = KeepLowBits<std::uint8_t>(data.FreeActivization);
    EKLZNumber = data.EKLZNumber;
    EKLZNumberValid = data.EKLZNumberValid;
}

void TCommand12h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand12h>(source)) {
        FMSoftVersion = s->FMSoftVersion;
        FMSoftBuild = s->FMSoftBuild;
        SerialNumber = s->SerialNumber;
        SerialNumberValid = s->SerialNumberValid;
        SessionNumber = s->SessionNumber;
        FreeRecordInFM = s->FreeRecordInFM;
        RegistrationNumber = s->RegistrationNumber;
        FreeRegistration = s->FreeRegistration;
        INN = s->INN;
        INNValid = s->INNValid;
        ActivizationNumber = s->ActivizationNumber;
        FreeActivization = s->FreeActivization;
        EKLZNumber = s->EKLZNumber;
        EKLZNumberValid = s->EKLZNumberValid;
    }
}

// ---- 14h ----

Bytes TCommand14h::EncodeRequest() const {
    return Bytes{ECRPortNumber, ECRBaudRate, ECRTimeout};
}

void TCommand14h::DecodeRequest(const Bytes& data) {
    ECRPortNumber = DecodeU8(data, At(0));
    ECRBaudRate = DecodeU8(data, At(1));
    ECRTimeout = DecodeU8(data, At(2));
}

void TCommand14h::SaveToDriver(TECRDrvData& data) const {
    if (!IsRequest()) return;
    data.ECRPortNumber = ECRPortNumber;
    data.ECRBaudRate = ECRBaudRate;
    data.ECRTimeout = ECRTimeout;
}

void TCommand14h::LoadFromDriver(const TECRDrvData& data) {
    if (!IsRequest()) return;
    ECRPortNumber = data.ECRPortNumber;
    ECRBaudRate = data.ECRBaudRate;
    ECRTimeout = data.ECRTimeout;
}

void TCommand14h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand14h>(source)) {
        ECRPortNumber = s->ECRPortNumber;
        ECRBaudRate = s->ECRBaudRate;
        ECRTimeout = s->ECRTimeout;
    }
}

// ---- 15h ----

Bytes TCommand15h::EncodeRequest() const {
    return EncodeU8(ECRPortNumber);
}

Bytes TCommand15h::EncodeAnswer() const {
    return Bytes{ECRBaudRate, ECRTimeout};
}

void TCommand15h::DecodeRequest(const Bytes& data) {
    ECRPortNumber = DecodeU8(data, At(0));
}

void TCommand15h::DecodeAnswer(const Bytes& data) {
    ECRBaudRate = DecodeU8(data, At(0));
    ECRTimeout = DecodeU8(data, At(1));
}

void TCommand15h::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) {
        data.ECRPortNumber = ECRPortNumber;
    } else {
        data.ECRBaudRate = ECRBaudRate;
        data.ECRTimeout = ECRTimeout;
    }
}

void TCommand15h::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) {
        ECRPortNumber = data.ECRPortNumber;
    } else {
        ECRBaudRate = data.ECRBaudRate;
        ECRTimeout = data.ECRTimeout;
    }
}

void TCommand15h::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand15h>(source)) {
        ECRPortNumber = s->ECRPortNumber;
        ECRBaudRate = s->ECRBaudRate;
        ECRTimeout = s->ECRTimeout;
    }
}

// ---- FCh ----

Bytes TCommandFCh::EncodeAnswer() const {
    Bytes out{UMajorType, UMinorType, UMajorProtocolVersion, UMinorProtocolVersion, UModel, UCodePage};
    const std::string name = tessel::Utf8ToCp1251(UDescription);
    out.insert(out.end(), name.begin(), name.end());
    return out;
}

void TCommandFCh::DecodeAnswer(const Bytes& data) {
    UMajorType = DecodeU8(data, At(0));
    UMinorType = DecodeU8(data, At(1));
    UMajorProtocolVersion = DecodeU8(data, At(2));
    UMinorProtocolVersion = DecodeU8(data, At(3));
    UModel = DecodeU8(data, At(4));
    UCodePage = DecodeU8(data, At(5));
    // A frame's block never exceeds the text codec's widest field; a longer one from elsewhere is cut.
    const std::size_t tail = data.size() > kMetricsFixed ? data.size() - kMetricsFixed : 0;
    UDescription =
        tail > 0 ? DecodeText(data, At(kMetricsFixed), std::min(tail, kMaxTextWidth)) : std::string();
}

void TCommandFCh::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) return;
    data.UMajorType = UMajorType;
    data.UMinorType = UMinorType;
    data.UMajorProtocolVersion = UMajorProtocolVersion;
    data.UMinorProtocolVersion = UMinorProtocolVersion;
    data.UModel = UModel;
    data.UCodePage = UCodePage;
    data.UDescription = UDescription;
}

void TCommandFCh::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) return;
    UMajorType = KeepLowBits<std::uint8_t>(data.UMajorType);
    UMinorType = KeepLowBits<std::uint8_t>(data.UMinorType);
    UMajorProtocolVersion = KeepLowBits<std::uint8_t>(data.UMajorProtocolVersion);
    UMinorProtocolVersion = KeepLowBits<std::uint8_t>(data.UMinorProtocolVersion);
    UModel = KeepLowBits<std::uint8_t>(data.UModel);
    UCodePage = KeepLowBits<std::uint8_t>(data.UCodePage);
    UDescription = data.UDescription;
}

void TCommandFCh::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommandFCh>(source)) {
        UMajorType = s->UMajorType;
        UMinorType = s->UMinorType;
        UMajorProtocolVersion = s->UMajorProtocolVersion;
        UMinorProtocolVersion = s->UMinorProtocolVersion;
        UModel = s->UModel;
        UCodePage = s->UCodePage;
        UDescription = s->UDescription;
    }
}
