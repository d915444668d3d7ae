#pragma once
// Command classes described by field tables. A class lists one row per field of its request and answer data
// blocks: direction, offset, codec, class member, property of the parameter record, name. One implementation
// walks the rows for every operation of TCommand:
// - RequestLength / AnswerLength: 1 (2 for an answer) + the fixed part of the block, that is the end of the
//   last row that is neither a tail nor optional;
// - Encode*: the rows' bytes in order; Decode*: each row from its offset, with the codecs' bounds (a field
//   beyond a short block reads as 0 or ends early; SetFrame refuses blocks shorter than the fixed part);
// - SaveToDriver / LoadFromDriver: the request rows for a request object, the answer rows for an answer
//   object, between members and properties; a property wider than its member gives the member its low bits.
//   Loading converts every row before it changes any member, so a refused value leaves the object as it was;
// - Assign: the base fields from any command, every row's member only from an object of the same class.
// Fields no codec describes carry hooks of their own (TFieldHooks) for the steps the codec cannot do.
//
// A table is checked when it is compiled: rows in order, each starting where the one before ended, members
// of the codec's kind, properties no narrower than their members, names unique, and the lengths of the
// class's entry in OpcodeList.h.
//
// Writing a class:
//     class TCommand80h final : public TFieldCommand<TCommand80h> {
//       public:
//         static std::span<const TField> FieldTable();
//         std::uint8_t RegType = 0; ...
//     };
// and in its source
//     std::span<const TField> TCommand80h::FieldTable() {
//         static constexpr auto fields = Table(TESSEL_FIELD(Request, 0, u8, RegType), ...);
//         return Checked<Self>(fields);
//     }

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "common/platform/Bytes.h"
#include "driver/base/ECRDrvData.h"
#include "driver/commands/OpcodeList.h"
#include "driver/link/untCommand.h"

// A member's or a property's value as the rows move it: integers (money as its count of 1/10000), quantities,
// texts, byte strings and flags.
using TFieldValue = std::variant<std::int64_t, double, std::string, Bytes, bool>;

enum class TValueKind : std::uint8_t { Integer, Real, Text, Bytes, Flag };

// How a row reaches a value: read and write it as a TFieldValue (an integer is cut to the value's width on
// writing), and copy it between two objects.
template <class Object>
struct TValueRef {
    TFieldValue (*get)(const Object&) = nullptr;
    void (*set)(Object&, const TFieldValue&) = nullptr;
    void (*copy)(Object&, const Object&) = nullptr;
    TValueKind kind = TValueKind::Integer;
    std::uint8_t size = 0;  // bytes of an integer
    bool isSigned = false;
};
using TMemberRef = TValueRef<TCommand>;
using TPropertyRef = TValueRef<TECRDrvData>;

namespace layout {

enum TDirection : std::uint8_t { Request, Answer };

enum class TCodecKind : std::uint8_t {
    None,          // nothing on the line: a value that travels with the field before it
    U8,            // one byte
    U16,           // two bytes, low first
    I32,           // four bytes of a signed value, low first
    Money,         // moneyN of an unsigned field: refuses a sum its N bytes cannot carry
    WrappedMoney,  // moneyN keeping the low N bytes of any sum
    Quantity,      // qtyN: refuses a quantity its N bytes cannot carry
    Code,          // intN read and written as decimal text
    Bcd,           // bcdN of a decimal text
    Text,          // textN
    Name,          // name40
    Version,       // version of N bytes
    Raw,           // N bytes as they are: cut or filled with 00h on writing, as many as there are on reading
    TextTail,      // the rest of the block as text without leading and trailing blanks and control characters
    RawTail,       // the rest of the block as text, byte for byte
    BytesTail,     // the rest of the block as bytes
};

struct TCodec {
    TCodecKind kind = TCodecKind::None;
    std::uint8_t width = 0;
    // Read only when the block holds the whole field (else it reads 0), and not part of the fixed length.
    bool optional = false;

    constexpr bool IsTail() const {
        return kind == TCodecKind::TextTail || kind == TCodecKind::RawTail || kind == TCodecKind::BytesTail;
    }
};

inline constexpr TCodec none{TCodecKind::None, 0};
inline constexpr TCodec u8{TCodecKind::U8, 1};
inline constexpr TCodec u16{TCodecKind::U16, 2};
inline constexpr TCodec i32{TCodecKind::I32, 4};
inline constexpr TCodec name40{TCodecKind::Name, 40};
inline constexpr TCodec tail{TCodecKind::TextTail, 0};
inline constexpr TCodec rawTail{TCodecKind::RawTail, 0};
inline constexpr TCodec bytesTail{TCodecKind::BytesTail, 0};
// The codecs of a width: money(5), text(20).
struct TCodecOfWidth {
    TCodecKind kind;
    constexpr TCodec operator()(std::uint8_t width) const { return {kind, width}; }
};
inline constexpr TCodecOfWidth money{TCodecKind::Money}, wrappedMoney{TCodecKind::WrappedMoney},
    qty{TCodecKind::Quantity}, code{TCodecKind::Code}, bcd{TCodecKind::Bcd}, text{TCodecKind::Text},
    version{TCodecKind::Version}, raw{TCodecKind::Raw};
constexpr TCodec optional(TCodec codec) {
    codec.optional = true;
    return codec;
}

}  // namespace layout

struct TField;

// The steps a field does itself where its codec cannot; an empty hook leaves that step to the codec and the
// generic walk. Encode and decode get the field's row; decode gets the whole block.
struct TFieldHooks {
    Bytes (*encode)(const TCommand&, const TField&) = nullptr;
    void (*decode)(TCommand&, const Bytes&, const TField&) = nullptr;
    void (*save)(const TCommand&, TECRDrvData&) = nullptr;
    // The member's value from the record; may throw to refuse it.
    TFieldValue (*load)(const TECRDrvData&) = nullptr;
};

struct TField {
    layout::TDirection direction = layout::Request;
    std::uint8_t offset = 0;
    layout::TCodec codec;
    TMemberRef member;
    TPropertyRef property;
    std::string_view name;  // the property's name, which the emulator's scripts and the client use
    // The property that this byte is one part of, as a client shows it (ECRDate, ECRTime); empty for most.
    std::string_view partOf;
    const TFieldHooks* hooks = nullptr;
    // Whether the hooks encode and decode the field, and save and load it (for the checks of a table).
    bool encodedByHooks = false;
    bool storedByHooks = false;

    constexpr std::size_t End() const { return offset + codec.width; }
};

namespace field_detail {

template <class T>
constexpr TValueKind KindOf() {
    if constexpr (std::is_same_v<T, bool>)
        return TValueKind::Flag;
    else if constexpr (std::is_integral_v<T>)
        return TValueKind::Integer;
    else if constexpr (std::is_same_v<T, double>)
        return TValueKind::Real;
    else if constexpr (std::is_same_v<T, std::string>)
        return TValueKind::Text;
    else
        return TValueKind::Bytes;
}

template <class T>
TFieldValue ToValue(const T& value) {
    if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>)
        return static_cast<std::int64_t>(value);
    else
        return value;
}

template <class T>
void FromValue(T& field, const TFieldValue& value) {
    if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>)
        field = static_cast<T>(std::get<std::int64_t>(value));
    else
        field = std::get<T>(value);
}

template <auto M>
struct TMemberOf;
template <class C, class T, T C::*M>
struct TMemberOf<M> {
    using Class = C;
    using Type = T;
};

// `C` is the class whose objects hold the member (it may be declared in a base of C).
template <class Object, class C, auto M>
constexpr TValueRef<Object> ValueRef() {
    using T = typename TMemberOf<M>::Type;
    static_assert(std::is_base_of_v<Object, C> && std::is_base_of_v<typename TMemberOf<M>::Class, C>);
    TValueRef<Object> ref;
    ref.get = [](const Object& o) { return ToValue(static_cast<const C&>(o).*M); };
    ref.set = [](Object& o, const TFieldValue& v) { FromValue(static_cast<C&>(o).*M, v); };
    ref.copy = [](Object& to, const Object& from) {
        static_cast<C&>(to).*M = static_cast<const C&>(from).*M;
    };
    ref.kind = KindOf<T>();
    ref.size = static_cast<std::uint8_t>(sizeof(T));
    ref.isSigned = std::is_signed_v<T>;
    return ref;
}

}  // namespace field_detail

// The row reference of a member of command class C (&C::RegType) and of a record property
// (&TECRDrvData::RegType).
template <class C, auto M>
constexpr TMemberRef MemberRef() {
    return field_detail::ValueRef<TCommand, C, M>();
}
template <auto M>
constexpr TPropertyRef PropertyRef() {
    return field_detail::ValueRef<TECRDrvData, TECRDrvData, M>();
}

// A row whose member and property have one name, and one whose member is named otherwise (the article code
// of 81h, which TCommand's own Code would hide). `Self` is the class whose table is being written.
#define TESSEL_FIELD(direction, offset, codec, name) TESSEL_FIELD_AS(direction, offset, codec, name, name)
#define TESSEL_FIELD_AS(direction, offset, codec, member, property)                            \
    TField {                                                                                   \
        direction, static_cast<std::uint8_t>(offset), codec, MemberRef<Self, &Self::member>(), \
            PropertyRef<&TECRDrvData::property>(), #property, {}, nullptr, false, false        \
    }

// The row with hooks for what its codec cannot do, and the row as one part of a property.
constexpr TField WithHooks(TField field, const TFieldHooks& hooks) {
    field.hooks = &hooks;
    field.encodedByHooks = hooks.encode != nullptr && hooks.decode != nullptr;
    field.storedByHooks = hooks.save != nullptr && hooks.load != nullptr;
    return field;
}
constexpr TField PartOf(TField field, std::string_view property) {
    field.partOf = property;
    return field;
}

// The rows and groups of rows given, in one array.
template <class... Parts>
constexpr auto Table(const Parts&... parts) {
    constexpr std::size_t count = (std::size_t{0} + ... + [] {
        if constexpr (std::is_same_v<Parts, TField>)
            return std::size_t{1};
        else
            return std::tuple_size_v<Parts>;
    }());
    std::array<TField, count> out{};
    std::size_t i = 0;
    auto put = [&out, &i](const auto& part) {
        if constexpr (std::is_same_v<std::decay_t<decltype(part)>, TField>) {
            out[i++] = part;
        } else {
            for (const TField& field : part) out[i++] = field;
        }
    };
    (put(parts), ...);
    return out;
}

// The fixed part of one direction's block: the end of its last row that is neither a tail nor optional.
constexpr std::size_t FixedLength(std::span<const TField> rows, layout::TDirection direction) {
    std::size_t end = 0;
    for (const TField& field : rows) {
        if (field.direction == direction && !field.codec.optional && field.End() > end) end = field.End();
    }
    return end;
}

namespace field_detail {

// Fails the compilation of a table that breaks one of the rules above, with the rule as its message.
template <std::size_t N>
consteval void CheckRows(const std::array<TField, N>& rows) {
    using layout::TCodecKind;
    for (std::size_t i = 0; i < N; ++i) {
        const TField& f = rows[i];
        if (f.name.empty()) throw "a row without a name";
        for (std::size_t j = 0; j < i; ++j) {
            if (rows[j].direction == f.direction && rows[j].name == f.name) throw "a name twice in one block";
        }
        if (i > 0 && rows[i - 1].direction > f.direction) throw "request rows must come before answer rows";
        // Where this row must start: where the rows before it in its block ended.
        std::size_t expected = 0;
        std::size_t before = N;  // the row before it in its block; N for none
        for (std::size_t j = 0; j < i; ++j) {
            if (rows[j].direction != f.direction) continue;
            before = j;
            if (rows[j].End() > expected) expected = rows[j].End();
        }
        if (f.codec.kind == TCodecKind::None) {
            if (before == N || rows[before].offset != f.offset)
                throw "a value off the line must follow its field";
            continue;
        }
        if (f.offset != expected) throw "a row that does not start where the one before ended";
        if (before != N &&
            (rows[before].codec.IsTail() || (rows[before].codec.optional && !f.codec.optional)))
            throw "only optional rows and one tail may follow an optional row or a tail";
        if (!f.encodedByHooks) {
            TValueKind want = TValueKind::Text;
            std::size_t size = 0;
            switch (f.codec.kind) {
                case TCodecKind::U8:
                    want = TValueKind::Integer, size = 1;
                    break;
                case TCodecKind::U16:
                    want = TValueKind::Integer, size = 2;
                    break;
                case TCodecKind::I32:
                    want = TValueKind::Integer, size = 4;
                    break;
                case TCodecKind::Money:
                case TCodecKind::WrappedMoney:
                    want = TValueKind::Integer, size = 8;
                    break;
                case TCodecKind::Quantity:
                    want = TValueKind::Real;
                    break;
                case TCodecKind::Raw:
                case TCodecKind::BytesTail:
                    want = TValueKind::Bytes;
                    break;
                default:
                    break;
            }
            if (f.member.kind != want || (size != 0 && f.member.size != size))
                throw "a member that is not of its codec's kind or width";
        }
        if (!f.storedByHooks && (f.property.kind != f.member.kind || f.property.size < f.member.size))
            throw "a property of another kind than its member, or narrower";
    }
}

}  // namespace field_detail

// The table of class C, checked as it is compiled (see the top of this file).
template <class C, std::size_t N>
consteval std::span<const TField> Checked(const std::array<TField, N>& rows) {
    field_detail::CheckRows(rows);
    constexpr TListedLengths listed = ListedLengths<C>();
    if (FixedLength(rows, layout::Request) != std::size_t(listed.request))
        throw "the request rows do not give the length listed in OpcodeList.h";
    if (FixedLength(rows, layout::Answer) != std::size_t(listed.answer))
        throw "the answer rows do not give the length listed in OpcodeList.h";
    return rows;
}

// The generic implementation over the class's rows.
class TFieldCommandBase : public TCommand {
  public:
    // The rows of the object's class.
    virtual std::span<const TField> Fields() const = 0;

    int RequestLength() const override;
    int AnswerLength() const override;
    // Fail as the codecs do: EDriverError(E_INVALIDVALUE) for a sum, quantity or number its field cannot
    // carry; std::invalid_argument from a hook that refuses a value.
    Bytes EncodeRequest() const override;
    Bytes EncodeAnswer() const override;
    void DecodeRequest(const Bytes& data) override;
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // A class without fields of its own has no rows.
    static std::span<const TField> FieldTable() { return {}; }
};

// The base of a command class T (through `Base`, a class of fields that several commands share).
template <class T, class Base = TFieldCommandBase>
class TFieldCommand : public Base {
  public:
    using Self = T;
    std::span<const TField> Fields() const override { return T::FieldTable(); }
};

// The rows of `command` when it is a command of a field table, else none.
std::span<const TField> FieldsOf(const TCommand& command);

// The value of one row as its codec writes it, and the row's value read from a block; what the generic walk
// uses, for the hooks that wrap a codec.
Bytes EncodeField(const TField& field, const TFieldValue& value);
TFieldValue DecodeField(const TField& field, const Bytes& block);
