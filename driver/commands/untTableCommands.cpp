#include "driver/commands/untTableCommands.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <stdexcept>

#include "common/platform/CodePage.h"
#include "driver/commands/untLayout.h"
#include "driver/engine/ECRDrvData.h"
#include "driver/link/untCodecs.h"

namespace {

using layout::At;
using layout::SameClass;

constexpr std::size_t kNameWidth = 40;
constexpr std::size_t kBcdWidth = 7;
constexpr std::size_t kBcdDigits = 2 * kBcdWidth;

// Offsets of the value bytes: 1Eh after the numbers and the type, 1Fh after the type.
constexpr std::size_t kWriteValueOffset = 5;
constexpr std::size_t kReadValueOffset = 1;

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

// The bytes from `offset` to the end of the block; none when the block is shorter.
Bytes Tail(const Bytes& data, std::size_t offset) {
    if (data.size() <= offset) return {};
    return Bytes(data.begin() + static_cast<std::ptrdiff_t>(offset), data.end());
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

// ---- 1Eh ----

Bytes TCommand1Eh::EncodeRequest() const {
    const bool bcd = IsBcdTableField(TableNumber, FieldNumber);
    Bytes out = EncodeU8(TableNumber);
    AppendBytes(out, EncodeU16(RowNumber));
    AppendBytes(out, EncodeU8(FieldNumber));
    AppendBytes(out, EncodeU8(bcd ? kFieldTypeInt : FieldType));
    AppendBytes(out, EncodeFieldValue(FieldValue, bcd, FieldType));
    return out;
}

void TCommand1Eh::DecodeRequest(const Bytes& data) {
    TableNumber = DecodeU8(data, At(0));
    RowNumber = DecodeU16(data, At(1));
    FieldNumber = DecodeU8(data, At(3));
    FieldType = DecodeU8(data, At(4));
    FieldValue =
        DecodeFieldValue(Tail(data, kWriteValueOffset), IsBcdTableField(TableNumber, FieldNumber), FieldType);
}

void TCommand1Eh::SaveToDriver(TECRDrvData& data) const {
    if (!IsRequest()) return;
    data.TableNumber = TableNumber;
    data.RowNumber = RowNumber;
    data.FieldNumber = FieldNumber;
    data.FieldType = FieldType;
    data.FieldValue = FieldValue;
}

void TCommand1Eh::LoadFromDriver(const TECRDrvData& data) {
    if (!IsRequest()) return;
    TableNumber = KeepLowBits<std::uint8_t>(data.TableNumber);
    RowNumber = KeepLowBits<std::uint16_t>(data.RowNumber);
    FieldNumber = KeepLowBits<std::uint8_t>(data.FieldNumber);
    FieldType = KeepLowBits<std::uint8_t>(data.FieldType);
    FieldValue = data.FieldValue;
}

void TCommand1Eh::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand1Eh>(source)) {
        TableNumber = s->TableNumber;
        RowNumber = s->RowNumber;
        FieldNumber = s->FieldNumber;
        FieldType = s->FieldType;
        FieldValue = s->FieldValue;
    }
}

// ---- 1Fh ----

Bytes TCommand1Fh::EncodeRequest() const {
    Bytes out = EncodeU8(TableNumber);
    AppendBytes(out, EncodeU16(RowNumber));
    AppendBytes(out, EncodeU8(FieldNumber));
    return out;
}

Bytes TCommand1Fh::EncodeAnswer() const {
    Bytes out = EncodeU8(FieldType);
    AppendBytes(out, FieldValueBytes);
    return out;
}

void TCommand1Fh::DecodeRequest(const Bytes& data) {
    TableNumber = DecodeU8(data, At(0));
    RowNumber = DecodeU16(data, At(1));
    FieldNumber = DecodeU8(data, At(3));
}

void TCommand1Fh::DecodeAnswer(const Bytes& data) {
    FieldType = DecodeU8(data, At(0));
    FieldValueBytes = Tail(data, kReadValueOffset);
}

void TCommand1Fh::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) {
        data.TableNumber = TableNumber;
        data.RowNumber = RowNumber;
        data.FieldNumber = FieldNumber;
    } else {
        // The type just received decides how the value reads.
        data.FieldType = FieldType;
        data.FieldValue =
            DecodeFieldValue(FieldValueBytes, IsBcdTableField(data.TableNumber, data.FieldNumber), FieldType);
    }
}

void TCommand1Fh::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) {
        TableNumber = KeepLowBits<std::uint8_t>(data.TableNumber);
        RowNumber = KeepLowBits<std::uint16_t>(data.RowNumber);
        FieldNumber = KeepLowBits<std::uint8_t>(data.FieldNumber);
    } else {
        const auto type = KeepLowBits<std::uint8_t>(data.FieldType);
        // Converted before anything changes, so a refused value leaves the object as it was.
        FieldValueBytes =
            EncodeFieldValue(data.FieldValue, IsBcdTableField(data.TableNumber, data.FieldNumber), type);
        FieldType = type;
    }
}

void TCommand1Fh::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand1Fh>(source)) {
        TableNumber = s->TableNumber;
        RowNumber = s->RowNumber;
        FieldNumber = s->FieldNumber;
        FieldType = s->FieldType;
        FieldValueBytes = s->FieldValueBytes;
    }
}

// ---- 2Dh ----

Bytes TCommand2Dh::EncodeRequest() const {
    return EncodeU8(TableNumber);
}

Bytes TCommand2Dh::EncodeAnswer() const {
    Bytes out = EncodeText(TableName, kNameWidth);
    AppendBytes(out, EncodeU16(RowCount));
    AppendBytes(out, EncodeU8(FieldCount));
    return out;
}

void TCommand2Dh::DecodeRequest(const Bytes& data) {
    TableNumber = DecodeU8(data, At(0));
}

void TCommand2Dh::DecodeAnswer(const Bytes& data) {
    TableName = DecodeText(data, At(0), kNameWidth);
    RowCount = DecodeU16(data, At(40));
    FieldCount = DecodeU8(data, At(42));
}

void TCommand2Dh::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) {
        data.TableNumber = TableNumber;
    } else {
        data.TableName = TableName;
        data.RowCount = RowCount;
        data.FieldCount = FieldCount;
    }
}

void TCommand2Dh::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) {
        TableNumber = KeepLowBits<std::uint8_t>(data.TableNumber);
    } else {
        TableName = data.TableName;
        RowCount = KeepLowBits<std::uint16_t>(data.RowCount);
        FieldCount = KeepLowBits<std::uint8_t>(data.FieldCount);
    }
}

void TCommand2Dh::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand2Dh>(source)) {
        TableNumber = s->TableNumber;
        TableName = s->TableName;
        RowCount = s->RowCount;
        FieldCount = s->FieldCount;
    }
}

// ---- 2Eh ----

Bytes TCommand2Eh::EncodeRequest() const {
    return Bytes{TableNumber, FieldNumber};
}

Bytes TCommand2Eh::EncodeAnswer() const {
    Bytes out = EncodeText(FieldName, kNameWidth);
    AppendBytes(out, Bytes{FieldType, FieldSize});
    AppendBytes(out, EncodeI32(FieldMinValue));
    AppendBytes(out, EncodeI32(FieldMaxValue));
    return out;
}

void TCommand2Eh::DecodeRequest(const Bytes& data) {
    TableNumber = DecodeU8(data, At(0));
    FieldNumber = DecodeU8(data, At(1));
}

void TCommand2Eh::DecodeAnswer(const Bytes& data) {
    FieldName = DecodeText(data, At(0), kNameWidth);
    FieldType = DecodeU8(data, At(40));
    FieldSize = DecodeU8(data, At(41));
    FieldMinValue = DecodeI32(data, At(42));
    FieldMaxValue = DecodeI32(data, At(46));
}

void TCommand2Eh::SaveToDriver(TECRDrvData& data) const {
    if (IsRequest()) {
        data.TableNumber = TableNumber;
        data.FieldNumber = FieldNumber;
    } else {
        data.FieldName = FieldName;
        data.FieldType = FieldType;
        data.FieldSize = FieldSize;
        data.FieldMinValue = FieldMinValue;
        data.FieldMaxValue = FieldMaxValue;
    }
}

void TCommand2Eh::LoadFromDriver(const TECRDrvData& data) {
    if (IsRequest()) {
        TableNumber = KeepLowBits<std::uint8_t>(data.TableNumber);
        FieldNumber = KeepLowBits<std::uint8_t>(data.FieldNumber);
    } else {
        FieldName = data.FieldName;
        FieldType = KeepLowBits<std::uint8_t>(data.FieldType);
        FieldSize = KeepLowBits<std::uint8_t>(data.FieldSize);
        FieldMinValue = data.FieldMinValue;
        FieldMaxValue = data.FieldMaxValue;
    }
}

void TCommand2Eh::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (const auto* s = SameClass<TCommand2Eh>(source)) {
        TableNumber = s->TableNumber;
        FieldNumber = s->FieldNumber;
        FieldName = s->FieldName;
        FieldType = s->FieldType;
        FieldSize = s->FieldSize;
        FieldMinValue = s->FieldMinValue;
        FieldMaxValue = s->FieldMaxValue;
    }
}
