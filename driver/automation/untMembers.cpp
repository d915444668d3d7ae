#include "driver/automation/untMembers.h"

#include <concepts>
#include <string>
#include <type_traits>
#include <utility>

#include "common/com/ComText.h"
#include "driver/automation/oleMain.h"
#include "driver/link/untCodecs.h"

namespace {

using K = TMemberKind;
using T = TMemberType;
using W = TMemberWidth;

// A value of the C++ type a field or getter has, as a VARIANT of the member's type.
template <TMemberType Type, typename V>
void ToVariant(VARIANT& v, const V& value) {
    if constexpr (Type == T::Long) {
        static_assert(std::is_integral_v<V>);
        v.vt = VT_I4;
        v.lVal = static_cast<LONG>(value);  // a byte or word field reads zero-extended
    } else if constexpr (Type == T::Currency) {
        v.vt = VT_CY;
        v.cyVal.int64 = value;
    } else if constexpr (Type == T::Double) {
        v.vt = VT_R8;
        v.dblVal = value;
    } else if constexpr (Type == T::Date) {
        v.vt = VT_DATE;
        v.date = value;
    } else if constexpr (Type == T::Boolean) {
        v.vt = VT_BOOL;
        v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    } else {
        static_assert(Type == T::String);
        v.vt = VT_BSTR;
        // Byte strings travel one character per byte; texts as text.
        if constexpr (std::is_same_v<V, Bytes>)
            v.bstrVal = tessel::BytesToBstr(value).release();
        else
            v.bstrVal = tessel::Utf8ToBstr(value).release();
    }
}

// A VARIANT of the member's type as the C++ type `P` that a field or setter takes. A long keeps the low bits
// that fit `P`: 300 in a byte is 44, -1 is 255.
template <TMemberType Type, typename P>
P FromVariant(const VARIANT& v) {
    if constexpr (Type == T::Long)
        return static_cast<P>(static_cast<std::uint32_t>(v.lVal));
    else if constexpr (Type == T::Currency)
        return v.cyVal.int64;
    else if constexpr (Type == T::Double || Type == T::Date)
        return v.vt == VT_DATE ? v.date : v.dblVal;
    else if constexpr (Type == T::Boolean)
        return v.boolVal != VARIANT_FALSE;
    else if constexpr (std::is_same_v<P, Bytes>)
        return tessel::BstrToBytes(v.bstrVal);
    else
        return tessel::BstrToUtf8(v.bstrVal);
}

// The put check of a row agrees with the C++ type behind it: a byte or a word for Bits8 and Bits16, a long
// or wider for Full.
template <TMemberType Type, TMemberWidth Width, typename V>
constexpr bool WidthFits() {
    if constexpr (Type != T::Long) return Width == W::Full;
    if constexpr (Width == W::Bits8) return std::is_same_v<V, std::uint8_t>;
    if constexpr (Width == W::Bits16) return std::is_same_v<V, std::uint16_t>;
    return std::is_integral_v<V> && sizeof(V) >= 4;
}

// Where a value lives. Each names its C++ type (Value), reads it (Get) and, for a read/write property,
// writes it (Set).

// A field of the engine; the property record's fields are the engine's.
template <auto Field>
struct TField {
    using Value = std::remove_cvref_t<decltype(std::declval<TEcrDrv&>().*Field)>;
    static const Value& Get(TTesselDrv& o) { return o.Engine().*Field; }
    static void Set(TTesselDrv& o, Value v) { o.Engine().*Field = std::move(v); }
};

// A field of the current command.
template <auto Field>
struct TCommandField {
    using Value = std::remove_cvref_t<decltype(std::declval<TCommand&>().*Field)>;
    static const Value& Get(TTesselDrv& o) { return o.Engine().Holder().*Field; }
    static void Set(TTesselDrv& o, Value v) { o.Engine().Holder().*Field = std::move(v); }
};

// The hex text form of a byte-string field.
template <typename Of>
struct THex {
    using Value = std::string;
    static Value Get(TTesselDrv& o) { return BytesToHex(Of::Get(o)); }
    static void Set(TTesselDrv& o, const Value& v) { Of::Set(o, HexToBytes(v)); }
};

// A getter and setter pair of the engine.
template <auto Getter, auto Setter = nullptr>
struct TEngine {
    using Value = std::remove_cvref_t<decltype((std::declval<TEcrDrv&>().*Getter)())>;
    static Value Get(TTesselDrv& o) { return (o.Engine().*Getter)(); }
    static void Set(TTesselDrv& o, Value v) { (o.Engine().*Setter)(std::move(v)); }
};

// A field or a getter of the automation object.
template <auto Field>
struct TSelf {
    using Value = std::remove_cvref_t<decltype(std::declval<TTesselDrv&>().*Field)>;
    static Value Get(TTesselDrv& o) { return o.*Field; }
    static void Set(TTesselDrv& o, Value v) { o.*Field = v; }
};
template <auto Getter>
struct TObject {
    using Value = std::remove_cvref_t<decltype((std::declval<TTesselDrv&>().*Getter)())>;
    static Value Get(TTesselDrv& o) { return (o.*Getter)(); }
};

}  // namespace

// One row's work on the object.
struct TMemberAccess::TRow {
    void (*get)(TTesselDrv&, VARIANT&) = nullptr;
    void (*put)(TTesselDrv&, const VARIANT&) = nullptr;
    std::int32_t (*call)(TTesselDrv&) = nullptr;
    bool locked = true;
};

template <TMemberKind Kind, TMemberType Type, TMemberWidth Width, typename Where>
constexpr TMemberAccess::TRow TMemberAccess::Property() {
    static_assert(WidthFits<Type, Width, typename Where::Value>(),
                  "the row's put check and its field disagree");
    TRow row;
    row.get = [](TTesselDrv& o, VARIANT& v) { ToVariant<Type>(v, Where::Get(o)); };
    if constexpr (Kind == K::GetPut)
        row.put = [](TTesselDrv& o, const VARIANT& v) {
            Where::Set(o, FromVariant<Type, typename Where::Value>(v));
        };
    return row;
}

template <auto Operation, bool OfEngine, bool Locked>
constexpr TMemberAccess::TRow TMemberAccess::Method() {
    TRow row;
    if constexpr (OfEngine)
        row.call = [](TTesselDrv& o) -> std::int32_t { return (o.Engine().*Operation)(); };
    else
        row.call = [](TTesselDrv& o) -> std::int32_t { return (o.*Operation)(); };
    row.locked = Locked;
    return row;
}

// Where a property's value lives, by the row's `Where` and its argument.
#define TESSEL_WHERE_Record(Name, Arg) TField<&TEcrDrv::Name>
#define TESSEL_WHERE_Bytes(Name, Arg) TField<&TEcrDrv::Name>
#define TESSEL_WHERE_Hex(Name, Field) THex<TField<&TEcrDrv::Field>>
#define TESSEL_WHERE_Field(Name, Arg) TField<&TEcrDrv::Name>
#define TESSEL_WHERE_Command(Name, Field) TCommandField<&TCommand::Field>
#define TESSEL_WHERE_CommandBytes(Name, Field) TCommandField<&TCommand::Field>
#define TESSEL_WHERE_CommandHex(Name, Field) THex<TCommandField<&TCommand::Field>>
#define TESSEL_WHERE_Engine(Name, Pair) TESSEL_ENGINE_PAIR Pair
#define TESSEL_ENGINE_PAIR(Getter, ...) TEngine<&TEcrDrv::Getter __VA_OPT__(, &TEcrDrv::__VA_ARGS__)>
#define TESSEL_WHERE_Self(Name, Field) TSelf<&TTesselDrv::Field>
#define TESSEL_WHERE_Object(Name, Getter) TESSEL_OBJECT_GETTER Getter
#define TESSEL_OBJECT_GETTER(Getter) TObject<&TTesselDrv::Getter>

// What a method calls.
#define TESSEL_CALL_Engine(Operation) Method<&TEcrDrv::Operation, true, true>()
#define TESSEL_CALL_Object(Function) Method<&TTesselDrv::Function, false, true>()
#define TESSEL_CALL_Window(Function) Method<&TTesselDrv::Function, false, false>()
#define TESSEL_CALL_Dialog(Name)                                                       \
    TRow {                                                                             \
        nullptr, nullptr, [](TTesselDrv& o) { return o.ShowModalDialog(Name); }, false \
    }

#define TESSEL_ACCESS_Method(Name, Type, Width, Where, Arg) TESSEL_CALL_##Where(Arg)
#define TESSEL_ACCESS_Get(Name, Type, Width, Where, Arg) \
    Property<K::Get, T::Type, W::Width, TESSEL_WHERE_##Where(Name, Arg)>()
#define TESSEL_ACCESS_GetPut(Name, Type, Width, Where, Arg) \
    Property<K::GetPut, T::Type, W::Width, TESSEL_WHERE_##Where(Name, Arg)>()
#define TESSEL_ACCESS_ROW(dispId, Name, name1C, Kind, Type, Width, Where, Arg) \
    TESSEL_ACCESS_##Kind(Name, Type, Width, Where, Arg),

const TMemberAccess::TRow& TMemberAccess::At(std::size_t row) {
    // clang-format off
    static constexpr TRow rows[] = {
        TESSEL_MEMBERS_ITesselDriver(TESSEL_ACCESS_ROW)
        TESSEL_MEMBERS_ITesselDriver2(TESSEL_ACCESS_ROW)
        TESSEL_MEMBERS_ITesselDriver3(TESSEL_ACCESS_ROW)
    };
    // clang-format on
    static_assert(std::size(rows) == TesselMembers.size());
    return rows[row];
}

void TMemberAccess::Get(TTesselDrv& object, std::size_t row, VARIANT& value) {
    At(row).get(object, value);
}

void TMemberAccess::Put(TTesselDrv& object, std::size_t row, const VARIANT& value) {
    At(row).put(object, value);
}

std::int32_t TMemberAccess::Call(TTesselDrv& object, std::size_t row) {
    try {
        return At(row).call(object);
    } catch (const std::exception& error) {
        return object.Engine().ResultFromError(error);
    }
}

bool TMemberAccess::Locked(std::size_t row) {
    return At(row).locked;
}
