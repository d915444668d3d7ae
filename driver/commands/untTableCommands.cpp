#include "driver/commands/untTableCommands.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <stdexcept>

#include "common/platform/CodePage.h"
#include "driver/link/untCodecs.h"

using namespace layout;

namespace {

constexpr std::size_t kBcdWidth = 7;
constexpr std::size_t kBcdDigits = 2 * kBcdWidth;

[[noreturn]] void RefuseNumber(const std::string& value) {
    throw std::invalid_argument("'" + value + "' не является целым числом");
}

// A whole decimal number that four bytes hold, signed or unsigned: a field read as 4294967295 can be
// written back, and nothing larger is sent cut to another number.
std::uint32_t ParseNumber(const std::string& value) {
    std::string_view text = value;
    // from_chars takes a minus but no plus; a sign after the plus is no number.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) RefuseNumber(value);
    }
    std::int64_t number = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number, 10);
    if (ec != std::errc{} || end != text.data() + text.size()) RefuseNumber(value);
    if (number < std::numeric_limits<std::int32_t>::min() ||
        number > std::numeric_limits<std::uint32_t>::max())
        RefuseNumber(value);
    return static_cast<std::uint32_t>(number);
}

Bytes EncodeBcdValue(const std::string& value) {
    const std::string digits = value.substr(0, kBcdDigits);
    // A non-digit would go out as a nibble the register never reads back as the same text.
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        RefuseNumber(value);
    std::int64_t number = 0;
    for (const char c : digits) number = number * 10 + (c - '0');
    return EncodeBcd(number, kBcdWidth);
}

std::string DecodeBcdValue(const Bytes& bytes) {
    const std::string digits = DecodeBcd(bytes, 1, kBcdWidth);
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

std::string DecodeTextValue(const Bytes& bytes) {
    auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0x00});
    while (end != bytes.begin() && *(end - 1) == ' ') --end;
    return tessel::Cp1251ToUtf8(std::string(bytes.begin(), end));
}

std::string DecodeNumberValue(const Bytes& bytes) {
    return std::to_string(DecodeInt(bytes, 1, std::min(bytes.size(), kMaxIntWidth)));
}

// 1Eh: the type byte and the value follow the table and field numbers of the same object.
bool IsBcd(const TCommand1Eh& c) {
    return IsBcdTableField(c.TableNumber, c.FieldNumber);
}

constexpr TFieldHooks kWrittenType{
    .encode =
        [](const TCommand& command, const TField&) {
            const auto& c = static_cast<const TCommand1Eh&>(command);
            return EncodeU8(IsBcd(c) ? kFieldTypeInt : c.FieldType);
        },
};

constexpr TFieldHooks kWrittenValue{
    .encode =
        [](const TCommand& command, const TField&) {
            const auto& c = static_cast<const TCommand1Eh&>(command);
            return EncodeFieldValue(c.FieldValue, IsBcd(c), c.FieldType);
        },
    .decode =
        [](TCommand& command, const Bytes& block, const TField& field) {
            auto& c = static_cast<TCommand1Eh&>(command);
            c.FieldValue =
                DecodeFieldValue(std::get<Bytes>(DecodeField(field, block)), IsBcd(c), c.FieldType);
        },
};

// 1Fh: the answer's value bytes follow the table and field of the record, and the type just received decides
// how they read.
constexpr TFieldHooks kReadValue{
    .save =
        [](const TCommand& command, TECRDrvData& data) {
            const auto& c = static_cast<const TCommand1Fh&>(command);
            data.FieldValue = DecodeFieldValue(
                c.FieldValueBytes, IsBcdTableField(data.TableNumber, data.FieldNumber), c.FieldType);
        },
    .load = [](const TECRDrvData& data) -> TFieldValue {
        return EncodeFieldValue(data.FieldValue, IsBcdTableField(data.TableNumber, data.FieldNumber),
                                KeepLowBits<std::uint8_t>(data.FieldType));
    },
};

// The request of 1Eh and 1Fh: table, row and field.
template <class Self>
constexpr std::array<TField, 3> CellFields() {
    return {TESSEL_FIELD(Request, 0, u8, TableNumber), TESSEL_FIELD(Request, 1, u16, RowNumber),
            TESSEL_FIELD(Request, 3, u8, FieldNumber)};
}

}  // namespace

bool IsBcdTableField(std::int32_t tableNumber, std::int32_t fieldNumber) {
    return tableNumber == 1 && fieldNumber == 3;
}

Bytes EncodeFieldValue(const std::string& value, bool bcd, std::uint8_t fieldType) {
    if (bcd) return EncodeBcdValue(value);
    if (fieldType != kFieldTypeInt) {
        const std::string text = tessel::Utf8ToCp1251(value);
        Bytes out(text.begin(), text.end());
        out.push_back(0x00);
        return out;
    }
    return EncodeI32(static_cast<std::int32_t>(ParseNumber(value)));
}

std::string DecodeFieldValue(const Bytes& bytes, bool bcd, std::uint8_t fieldType) {
    if (bytes.empty()) return {};
    if (bcd) return DecodeBcdValue(bytes);
    if (fieldType != kFieldTypeInt) return DecodeTextValue(bytes);
    return DecodeNumberValue(bytes);
}

std::span<const TField> TCommand1Eh::FieldTable() {
    static constexpr auto fields =
        Table(CellFields<Self>(), WithHooks(TESSEL_FIELD(Request, 4, u8, FieldType), kWrittenType),
              WithHooks(TESSEL_FIELD(Request, 5, bytesTail, FieldValue), kWrittenValue));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand1Fh::FieldTable() {
    static constexpr auto fields =
        Table(CellFields<Self>(), TESSEL_FIELD(Answer, 0, u8, FieldType),
              WithHooks(TESSEL_FIELD_AS(Answer, 1, bytesTail, FieldValueBytes, FieldValue), kReadValue));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand24h::FieldTable() {
    static constexpr std::array<TField, 0> fields{};
    return Checked<Self>(fields);
}

std::span<const TField> TCommand2Dh::FieldTable() {
    static constexpr auto fields =
        Table(TESSEL_FIELD(Request, 0, u8, TableNumber), TESSEL_FIELD(Answer, 0, text(40), TableName),
              TESSEL_FIELD(Answer, 40, u16, RowCount), TESSEL_FIELD(Answer, 42, u8, FieldCount));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand2Eh::FieldTable() {
    static constexpr auto fields =
        Table(TESSEL_FIELD(Request, 0, u8, TableNumber), TESSEL_FIELD(Request, 1, u8, FieldNumber),
              TESSEL_FIELD(Answer, 0, text(40), FieldName), TESSEL_FIELD(Answer, 40, u8, FieldType),
              TESSEL_FIELD(Answer, 41, u8, FieldSize), TESSEL_FIELD(Answer, 42, i32, FieldMinValue),
              TESSEL_FIELD(Answer, 46, i32, FieldMaxValue));
    return Checked<Self>(fields);
}
