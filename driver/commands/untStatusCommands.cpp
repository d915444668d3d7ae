#include "driver/commands/untStatusCommands.h"

#include <algorithm>

#include "driver/commands/CommonFields.h"
#include "driver/link/untCodecs.h"

using namespace layout;

namespace {

// An identity of the fiscal memory: all bytes FFh means it was never entered. A field cut short by the block
// cannot be all FFh: the missing bytes count as 0.
bool IsNotEntered(const Bytes& block, std::size_t offset, std::size_t width) {
    if (offset > block.size() || block.size() - offset < width) return false;
    const auto first = block.begin() + static_cast<std::ptrdiff_t>(offset);
    return std::all_of(first, first + static_cast<std::ptrdiff_t>(width),
                       [](std::uint8_t b) { return b == 0xFF; });
}

// The BCD codec of an identity, with the value that was never entered.
template <std::string TCommand12h::*Text, bool TCommand12h::*Valid>
constexpr TFieldHooks kIdentity{
    .encode =
        [](const TCommand& command, const TField& field) {
            const auto& c = static_cast<const TCommand12h&>(command);
            return c.*Valid ? EncodeField(field, c.*Text) : Bytes(field.codec.width, 0xFF);
        },
    .decode =
        [](TCommand& command, const Bytes& block, const TField& field) {
            auto& c = static_cast<TCommand12h&>(command);
            c.*Valid = !IsNotEntered(block, field.offset, field.codec.width);
            c.*Text = c.*Valid ? std::get<std::string>(DecodeField(field, block)) : TCommand12h::kNotEntered;
        },
};

}  // namespace

std::span<const TField> TCommand01h::FieldTable() {
    static constexpr auto fields = Table(
        TESSEL_FIELD(Request, 0, u8, DeviceNumber), TESSEL_FIELD(Request, 1, u16, DataBlockNumber),
        TESSEL_FIELD(Answer, 0, u16, DataBlockCount), TESSEL_FIELD(Answer, 2, raw(kBlockSize), DataBlock));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand10h::FieldTable() {
    static constexpr auto fields =
        Table(TESSEL_FIELD(Request, 0, u8, FlagNumber), TESSEL_FIELD(Answer, 0, text(20), FlagName));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand11h::FieldTable() {
    static constexpr auto fields =
        Table(TESSEL_FIELD(Answer, 0, u8, OperatorNumber),
              TESSEL_FIELD(Answer, 1, version(2), ECRSoftVersion), TESSEL_FIELD(Answer, 3, u16, ECRSoftBuild),
              PartOf(TESSEL_FIELD(Answer, 5, u8, ECRSoftDay), "ECRSoftDate"),
              PartOf(TESSEL_FIELD(Answer, 6, u8, ECRSoftMonth), "ECRSoftDate"),
              PartOf(TESSEL_FIELD(Answer, 7, u8, ECRSoftYear), "ECRSoftDate"),
              TESSEL_FIELD(Answer, 8, u16, DocumentNumber), TESSEL_FIELD(Answer, 10, u16, ECRFlags),
              TESSEL_FIELD(Answer, 12, u8, ECRMode), TESSEL_FIELD(Answer, 13, u8, ECRAdvancedMode),
              TESSEL_FIELD(Answer, 14, u8, ECRPortNumber), ClockFields<Self>(Answer, 15));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand12h::FieldTable() {
    static constexpr auto& serial = kIdentity<&TCommand12h::SerialNumber, &TCommand12h::SerialNumberValid>;
    static constexpr auto& inn = kIdentity<&TCommand12h::INN, &TCommand12h::INNValid>;
    static constexpr auto& eklz = kIdentity<&TCommand12h::EKLZNumber, &TCommand12h::EKLZNumberValid>;
    static constexpr auto fields = Table(
        TESSEL_FIELD(Answer, 0, version(3), FMSoftVersion), TESSEL_FIELD(Answer, 3, u16, FMSoftBuild),
        WithHooks(TESSEL_FIELD(Answer, 5, bcd(4), SerialNumber), serial),
        TESSEL_FIELD(Answer, 5, none, SerialNumberValid), TESSEL_FIELD(Answer, 9, u16, SessionNumber),
        TESSEL_FIELD(Answer, 11, u16, FreeRecordInFM), TESSEL_FIELD(Answer, 13, u8, RegistrationNumber),
        TESSEL_FIELD(Answer, 14, u8, FreeRegistration), WithHooks(TESSEL_FIELD(Answer, 15, bcd(6), INN), inn),
        TESSEL_FIELD(Answer, 15, none, INNValid), TESSEL_FIELD(Answer, 21, u8, ActivizationNumber),
        TESSEL_FIELD(Answer, 22, u8, FreeActivization),
        WithHooks(TESSEL_FIELD(Answer, 23, bcd(5), EKLZNumber), eklz),
        TESSEL_FIELD(Answer, 23, none, EKLZNumberValid));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand13h::FieldTable() {
    static constexpr std::array<TField, 0> fields{};
    return Checked<Self>(fields);
}

std::span<const TField> TCommand14h::FieldTable() {
    static constexpr auto fields =
        Table(TESSEL_FIELD(Request, 0, u8, ECRPortNumber), TESSEL_FIELD(Request, 1, u8, ECRBaudRate),
              TESSEL_FIELD(Request, 2, u8, ECRTimeout));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand15h::FieldTable() {
    static constexpr auto fields =
        Table(TESSEL_FIELD(Request, 0, u8, ECRPortNumber), TESSEL_FIELD(Answer, 0, u8, ECRBaudRate),
              TESSEL_FIELD(Answer, 1, u8, ECRTimeout));
    return Checked<Self>(fields);
}

std::span<const TField> TCommandFCh::FieldTable() {
    static constexpr auto fields =
        Table(TESSEL_FIELD(Answer, 0, u8, UMajorType), TESSEL_FIELD(Answer, 1, u8, UMinorType),
              TESSEL_FIELD(Answer, 2, u8, UMajorProtocolVersion),
              TESSEL_FIELD(Answer, 3, u8, UMinorProtocolVersion), TESSEL_FIELD(Answer, 4, u8, UModel),
              TESSEL_FIELD(Answer, 5, u8, UCodePage), TESSEL_FIELD(Answer, 6, tail, UDescription));
    return Checked<Self>(fields);
}
