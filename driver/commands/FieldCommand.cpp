#include "driver/commands/FieldCommand.h"

#include <algorithm>
#include <stdexcept>
#include <typeinfo>
#include <vector>

#include "common/platform/CodePage.h"
#include "driver/link/untCodecs.h"

namespace {

using layout::TCodecKind;
using layout::TDirection;

// The codecs count positions from 1; the rows count offsets from 0.
std::size_t At(const TField& field) {
    return field.offset + std::size_t{1};
}

// The bytes from `offset` to the block's end; none when the block is shorter.
std::string_view TailOf(const Bytes& block, std::size_t offset) {
    if (offset >= block.size()) return {};
    return {reinterpret_cast<const char*>(block.data()) + offset, block.size() - offset};
}

Bytes TextBytes(const std::string& text) {
    const std::string cp = tessel::Utf8ToCp1251(text);
    return Bytes(cp.begin(), cp.end());
}

// The value a row reads when its optional field is not there.
TFieldValue ZeroOf(TValueKind kind) {
    switch (kind) {
        case TValueKind::Integer:
            return std::int64_t{0};
        case TValueKind::Real:
            return 0.0;
        case TValueKind::Text:
            return std::string();
        case TValueKind::Bytes:
            return Bytes();
        case TValueKind::Flag:
            break;
    }
    return false;
}

bool IsCoded(const TField& field) {
    return field.codec.kind != TCodecKind::None;
}

Bytes EncodeRows(const TCommand& command, std::span<const TField> rows, TDirection direction) {
    Bytes out;
    for (const TField& field : rows) {
        if (field.direction != direction || !IsCoded(field)) continue;
        const Bytes bytes = field.hooks != nullptr && field.hooks->encode != nullptr
                                ? field.hooks->encode(command, field)
                                : EncodeField(field, field.member.get(command));
        AppendBytes(out, bytes);
    }
    return out;
}

void DecodeRows(TCommand& command, std::span<const TField> rows, TDirection direction, const Bytes& data) {
    for (const TField& field : rows) {
        if (field.direction != direction || !IsCoded(field)) continue;
        if (field.hooks != nullptr && field.hooks->decode != nullptr) {
            field.hooks->decode(command, data, field);
        } else if (field.codec.optional && data.size() < field.End()) {
            field.member.set(command, ZeroOf(field.member.kind));
        } else {
            field.member.set(command, DecodeField(field, data));
        }
    }
}

TDirection DirectionOf(const TCommand& command) {
    return command.IsRequest() ? layout::Request : layout::Answer;
}

}  // namespace

Bytes EncodeField(const TField& field, const TFieldValue& value) {
    const std::size_t width = field.codec.width;
    const auto number = [&value] { return std::get<std::int64_t>(value); };
    const auto& text = [&value]() -> const std::string& { return std::get<std::string>(value); };
    switch (field.codec.kind) {
        case TCodecKind::None:
            return {};
        case TCodecKind::U8:
            return EncodeU8(static_cast<std::uint8_t>(number()));
        case TCodecKind::U16:
            return EncodeU16(static_cast<std::uint16_t>(number()));
        case TCodecKind::I32:
            return EncodeI32(static_cast<std::int32_t>(number()));
        case TCodecKind::Money:
            return EncodeMoneyField(number(), width);
        case TCodecKind::WrappedMoney:
            return EncodeMoney(number(), width);
        case TCodecKind::Quantity:
            return EncodeQuantityField(std::get<double>(value), width);
        case TCodecKind::Code:
            // The low bytes of the text read as a decimal number; a text that is no whole number sends 0.
            return EncodeInt(NumberTextToInt(text()), width);
        case TCodecKind::Bcd:
            // Read in 64 bits whatever the width, so a number too long for the field is refused, not cut.
            return EncodeBcd(NumberTextToInt(text()), width);
        case TCodecKind::Text:
            return EncodeText(text(), width);
        case TCodecKind::Name:
            return EncodeName40(text());
        case TCodecKind::Version:
            return EncodeVersion(text(), width);
        case TCodecKind::Raw: {
            const Bytes& bytes = std::get<Bytes>(value);
            Bytes out(width, 0x00);
            std::copy_n(bytes.begin(), std::min(bytes.size(), width), out.begin());
            return out;
        }
        case TCodecKind::TextTail:
        case TCodecKind::RawTail:
            // As long as it is: the frame's limit is the caller's to check.
            return TextBytes(text());
        case TCodecKind::BytesTail:
            return std::get<Bytes>(value);
    }
    throw std::logic_error("unknown codec");
}

TFieldValue DecodeField(const TField& field, const Bytes& block) {
    const std::size_t width = field.codec.width;
    switch (field.codec.kind) {
        case TCodecKind::None:
            break;
        case TCodecKind::U8:
            return std::int64_t{DecodeU8(block, At(field))};
        case TCodecKind::U16:
            return std::int64_t{DecodeU16(block, At(field))};
        case TCodecKind::I32:
            return std::int64_t{DecodeI32(block, At(field))};
        case TCodecKind::Money:
        case TCodecKind::WrappedMoney:
            return std::int64_t{DecodeMoney(block, At(field), width)};
        case TCodecKind::Quantity:
            return DecodeQuantity(block, At(field), width);
        case TCodecKind::Code:
            return std::to_string(DecodeInt(block, At(field), width));
        case TCodecKind::Bcd:
            return DecodeBcd(block, At(field), width);
        case TCodecKind::Text:
            return DecodeText(block, At(field), width);
        case TCodecKind::Name:
            return DecodeName40(block, At(field));
        case TCodecKind::Version:
            return DecodeVersion(block, At(field), width);
        case TCodecKind::Raw: {
            // Memory as it is: no trimming, as much of the field as the block holds.
            const std::string_view bytes = TailOf(block, field.offset).substr(0, width);
            return Bytes(bytes.begin(), bytes.end());
        }
        case TCodecKind::TextTail: {
            // A frame's block never exceeds the text codec's widest field; a longer one from elsewhere is
            // cut.
            const std::size_t length = TailOf(block, field.offset).size();
            if (length == 0) return std::string();
            return DecodeText(block, At(field), std::min(length, kMaxTextWidth));
        }
        case TCodecKind::RawTail:
            return tessel::Cp1251ToUtf8(TailOf(block, field.offset));
        case TCodecKind::BytesTail: {
            const std::string_view bytes = TailOf(block, field.offset);
            return Bytes(bytes.begin(), bytes.end());
        }
    }
    throw std::logic_error("a row without a codec has nothing to read");
}

std::span<const TField> FieldsOf(const TCommand& command) {
    const auto* fields = dynamic_cast<const TFieldCommandBase*>(&command);
    return fields != nullptr ? fields->Fields() : std::span<const TField>();
}

int TFieldCommandBase::RequestLength() const {
    return 1 + static_cast<int>(FixedLength(Fields(), layout::Request));
}

int TFieldCommandBase::AnswerLength() const {
    return 2 + static_cast<int>(FixedLength(Fields(), layout::Answer));
}

Bytes TFieldCommandBase::EncodeRequest() const {
    return EncodeRows(*this, Fields(), layout::Request);
}

Bytes TFieldCommandBase::EncodeAnswer() const {
    return EncodeRows(*this, Fields(), layout::Answer);
}

void TFieldCommandBase::DecodeRequest(const Bytes& data) {
    DecodeRows(*this, Fields(), layout::Request, data);
}

void TFieldCommandBase::DecodeAnswer(const Bytes& data) {
    DecodeRows(*this, Fields(), layout::Answer, data);
}

void TFieldCommandBase::SaveToDriver(TECRDrvData& data) const {
    const TDirection direction = DirectionOf(*this);
    for (const TField& field : Fields()) {
        if (field.direction != direction) continue;
        if (field.hooks != nullptr && field.hooks->save != nullptr) {
            field.hooks->save(*this, data);
        } else {
            field.property.set(data, field.member.get(*this));
        }
    }
}

void TFieldCommandBase::LoadFromDriver(const TECRDrvData& data) {
    const TDirection direction = DirectionOf(*this);
    const std::span<const TField> rows = Fields();
    // Every value first: a value refused on the way leaves the object as it was.
    std::vector<TFieldValue> values;
    values.reserve(rows.size());
    for (const TField& field : rows) {
        if (field.direction != direction) continue;
        values.push_back(field.hooks != nullptr && field.hooks->load != nullptr ? field.hooks->load(data)
                                                                                : field.property.get(data));
    }
    auto value = values.begin();
    for (const TField& field : rows) {
        if (field.direction == direction) field.member.set(*this, *value++);
    }
}

void TFieldCommandBase::Assign(const TCommand& source) {
    TCommand::Assign(source);
    if (&source == this || typeid(source) != typeid(*this)) return;
    for (const TField& field : Fields()) field.member.copy(*this, source);
}
