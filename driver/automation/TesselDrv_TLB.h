#pragma once
// The automation contract of the driver: the library and type identifiers, the TFieldType values and the one
// table of every member of ITesselDriver, ITesselDriver2 and ITesselDriver3. Dispatch, type information and
// the 1C:Enterprise adapter are all derived from this table, so a member is described exactly once.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/com/ComInterfaces.h"
#include "driver/base/TesselDrvMembers.h"

// Type library.
inline constexpr std::string_view TesselDrvLibName = "TesselDrv";
inline constexpr WORD TesselDrvMajorVersion = 1;
inline constexpr WORD TesselDrvMinorVersion = 0;
inline constexpr LCID TesselDrvLcid = 0x0409;
// Help string of the library, ITesselDriver, both event interfaces and the coclass.
inline constexpr std::string_view TesselDrvHelpString = "Корвекс: Драйвер ККМ";
inline constexpr std::string_view TFieldTypeHelpString = "Тип поля";

inline constexpr GUID LIBID_TesselDrv = {
    0x5758880F, 0x6501, 0x4DE5, {0xA3, 0x74, 0xE9, 0x4E, 0xDB, 0x75, 0x0A, 0x8C}};
inline constexpr IID IID_ITesselDriver = {
    0xD70ACCC8, 0xA013, 0x4242, {0xA9, 0x23, 0xFE, 0xF7, 0x15, 0xD6, 0xB1, 0x36}};
inline constexpr IID DIID_IDriverEvents = {
    0xAC312E4F, 0x17EA, 0x450A, {0x96, 0x68, 0xD8, 0x68, 0x44, 0x83, 0x58, 0x64}};
inline constexpr IID DIID_IPageEvents = {
    0x7720F9BA, 0xAEF3, 0x44FF, {0x8A, 0x82, 0xB9, 0xF6, 0x94, 0x96, 0xF5, 0x8C}};
inline constexpr IID IID_ITesselDriver2 = {
    0xDDB95EA2, 0x1CEC, 0x4491, {0xA0, 0xC5, 0xD3, 0x37, 0x88, 0xE5, 0x61, 0xAD}};
inline constexpr IID IID_ITesselDriver3 = {
    0x008728D6, 0xAEBF, 0x4ABC, {0xB8, 0xF5, 0xB6, 0xB7, 0xC5, 0xA4, 0xC7, 0x0D}};
inline constexpr GUID GUID_TFieldType = {
    0x5BF44B14, 0xE131, 0x46A2, {0xBB, 0x62, 0x03, 0xA7, 0x29, 0x25, 0xA2, 0x8E}};
inline constexpr CLSID CLSID_TesselDriver = {
    0x16A80A2A, 0xBB4C, 0x4B65, {0xB2, 0x8E, 0x8E, 0xBD, 0xAA, 0xE4, 0x26, 0xC8}};

// Values of the FieldType property.
enum TFieldType : LONG { ftInt = 0, ftStr = 1 };

// DISPID of AboutBox (DISPID_ABOUTBOX) and of the single Command(CommandID) member of both event interfaces.
inline constexpr LONG TesselDispIdAboutBox = -552;
inline constexpr LONG TesselDispIdCommandEvent = 1;

// The seven IUnknown and IDispatch slots that precede the members of every dual interface.
inline constexpr int TesselBaseSlotCount = 7;

// The dual interface that introduces a member; each continues the slots of the one before.
enum class TMemberInterface : std::uint8_t { Driver = 1, Driver2 = 2, Driver3 = 3 };

enum class TMemberKind : std::uint8_t {
    Method,  // [out, retval] long* result code; AboutBox alone takes and yields nothing
    Get,     // read-only property: one getter slot
    GetPut,  // read/write property: getter slot, then setter slot
};

enum class TMemberType : std::uint8_t { None, Long, String, Double, Currency, Boolean, Date };

// Width of the stored field behind a long property: the setter keeps only the low bits.
enum class TMemberWidth : std::uint8_t { Full, Bits8, Bits16 };

struct TTesselMember {
    TMemberInterface iface;
    LONG dispId;
    std::string_view name;    // English name
    std::string_view name1C;  // Russian name: the member's help string and its 1C:Enterprise name
    TMemberKind kind;
    TMemberType type;
    TMemberWidth width;

    constexpr bool HasSetter() const { return kind == TMemberKind::GetPut; }
    constexpr int SlotCount() const { return HasSetter() ? 2 : 1; }
};

namespace tlb_detail {
using I = TMemberInterface;
using K = TMemberKind;
using T = TMemberType;
using W = TMemberWidth;

#define TESSEL_ROW(iface, dispId, Name, name1C, Kind, Type, Width)  \
    TTesselMember {                                                 \
        I::iface, dispId, #Name, name1C, K::Kind, T::Type, W::Width \
    }
#define TESSEL_ROW_Driver(dispId, Name, name1C, Kind, Type, Width, ...) \
    TESSEL_ROW(Driver, dispId, Name, name1C, Kind, Type, Width),
#define TESSEL_ROW_Driver2(dispId, Name, name1C, Kind, Type, Width, ...) \
    TESSEL_ROW(Driver2, dispId, Name, name1C, Kind, Type, Width),
#define TESSEL_ROW_Driver3(dispId, Name, name1C, Kind, Type, Width, ...) \
    TESSEL_ROW(Driver3, dispId, Name, name1C, Kind, Type, Width),

// clang-format off
inline constexpr TTesselMember MemberRows[] = {
    TESSEL_MEMBERS_ITesselDriver(TESSEL_ROW_Driver)
    TESSEL_MEMBERS_ITesselDriver2(TESSEL_ROW_Driver2)
    TESSEL_MEMBERS_ITesselDriver3(TESSEL_ROW_Driver3)
};

// clang-format on
#undef TESSEL_ROW
#undef TESSEL_ROW_Driver
#undef TESSEL_ROW_Driver2
#undef TESSEL_ROW_Driver3

inline constexpr std::size_t MemberCount = std::size(MemberRows);

constexpr std::array<TTesselMember, MemberCount> ToArray() {
    std::array<TTesselMember, MemberCount> rows{};
    for (std::size_t i = 0; i < MemberCount; ++i) rows[i] = MemberRows[i];
    return rows;
}

inline constexpr std::array<TTesselMember, MemberCount> Members = ToArray();
}  // namespace tlb_detail

// DISPID of every member by its name: TesselDispId::GetECRStatus is 0x0A.
namespace TesselDispId {
#define TESSEL_DISPID_CONSTANT(dispId, Name, name1C, Kind, Type, Width, ...) \
    inline constexpr LONG Name = dispId;
TESSEL_MEMBERS_ITesselDriver(TESSEL_DISPID_CONSTANT) TESSEL_MEMBERS_ITesselDriver2(TESSEL_DISPID_CONSTANT)
    TESSEL_MEMBERS_ITesselDriver3(TESSEL_DISPID_CONSTANT)
#undef TESSEL_DISPID_CONSTANT
}  // namespace TesselDispId

// Every member in vtable order: ITesselDriver, then ITesselDriver2, then ITesselDriver3.
inline constexpr const std::array<TTesselMember, tlb_detail::MemberCount>& TesselMembers =
    tlb_detail::Members;

// The row of every member in TesselMembers by its name: TesselRow::AboutBox is 0.
namespace TesselRow {
#define TESSEL_ROW_NAME(dispId, Name, ...) Name,
enum : std::size_t {
    TESSEL_MEMBERS_ITesselDriver(TESSEL_ROW_NAME) TESSEL_MEMBERS_ITesselDriver2(TESSEL_ROW_NAME)
        TESSEL_MEMBERS_ITesselDriver3(TESSEL_ROW_NAME)
};
#undef TESSEL_ROW_NAME
}  // namespace TesselRow

// The row in TesselMembers of a member that `iface` offers, by its DISPID; nullopt when there is none.
std::optional<std::size_t> TesselRowOfDispId(LONG dispId, TMemberInterface iface = TMemberInterface::Driver3);

// Number of vtable slots of a dual interface, the seven base slots and those it inherits included.
constexpr int TesselSlotCount(TMemberInterface iface) {
    int slots = TesselBaseSlotCount;
    for (const TTesselMember& m : TesselMembers)
        if (m.iface <= iface) slots += m.SlotCount();
    return slots;
}

// The member named `name` (English or Russian, compared without case, UTF-8) that `iface` offers, that is one
// introduced by `iface` or an interface it continues; nullptr when there is none.
const TTesselMember* FindTesselMember(std::string_view name,
                                      TMemberInterface iface = TMemberInterface::Driver3);

// The member with DISPID `dispId` that `iface` offers; nullptr when there is none.
const TTesselMember* FindTesselMemberByDispId(LONG dispId,
                                              TMemberInterface iface = TMemberInterface::Driver3);

// Vtable slot (0-based, counting the seven base slots) of a member's method or getter. `member` must be a row
// of TesselMembers; anything else throws std::invalid_argument.
int TesselGetSlot(const TTesselMember& member);

// Vtable slot of a read/write property's setter, right after its getter; nullopt for methods and read-only
// properties. Throws std::invalid_argument as TesselGetSlot does.
std::optional<int> TesselPutSlot(const TTesselMember& member);

// ---- The dual interfaces, slot for slot as the member lists give them ----

// C types of the members' values at the vtable.
#define TESSEL_CTYPE_Long LONG
#define TESSEL_CTYPE_String BSTR
#define TESSEL_CTYPE_Double double
#define TESSEL_CTYPE_Currency CY
#define TESSEL_CTYPE_Boolean VARIANT_BOOL
#define TESSEL_CTYPE_Date DATE

// The slots of one member: a method, a getter, or a getter then a setter. `Tail` is "PURE" for the
// interfaces and "override" for an implementation.
#define TESSEL_SLOTS_Method_Long(Name, Type, Tail) STDMETHOD(Name)(LONG * Value) Tail;
#define TESSEL_SLOTS_Method_None(Name, Type, Tail) STDMETHOD(Name)() Tail;
#define TESSEL_SLOTS_Get(Name, Type, Tail) STDMETHOD(get_##Name)(TESSEL_CTYPE_##Type * Value) Tail;
#define TESSEL_SLOTS_GetPut(Name, Type, Tail) \
    TESSEL_SLOTS_Get(Name, Type, Tail) STDMETHOD(put_##Name)(TESSEL_CTYPE_##Type Value) Tail;
#define TESSEL_SLOTS_KIND_Method(Name, Type, Tail) TESSEL_SLOTS_Method_##Type(Name, Type, Tail)
#define TESSEL_SLOTS_KIND_Get(Name, Type, Tail) TESSEL_SLOTS_Get(Name, Type, Tail)
#define TESSEL_SLOTS_KIND_GetPut(Name, Type, Tail) TESSEL_SLOTS_GetPut(Name, Type, Tail)
#define TESSEL_DECLARE_PURE(dispId, Name, name1C, Kind, Type, Width, ...) \
    TESSEL_SLOTS_KIND_##Kind(Name, Type, PURE)

struct ITesselDriver : IDispatch {
    TESSEL_MEMBERS_ITesselDriver(TESSEL_DECLARE_PURE)
};
struct ITesselDriver2 : ITesselDriver {
    TESSEL_MEMBERS_ITesselDriver2(TESSEL_DECLARE_PURE)
};
struct ITesselDriver3 : ITesselDriver2 {
    TESSEL_MEMBERS_ITesselDriver3(TESSEL_DECLARE_PURE)
};

#undef TESSEL_DECLARE_PURE

// The event interfaces are dispinterfaces: a sink serves IDispatch and receives Command(CommandID) as
// DISPID 1 with one argument.
using IDriverEvents = IDispatch;
using IPageEvents = IDispatch;

// VARTYPE of a member's value; VT_EMPTY for AboutBox.
constexpr VARTYPE TesselVarType(TMemberType type) {
    switch (type) {
        case TMemberType::Long:
            return VT_I4;
        case TMemberType::String:
            return VT_BSTR;
        case TMemberType::Double:
            return VT_R8;
        case TMemberType::Currency:
            return VT_CY;
        case TMemberType::Boolean:
            return VT_BOOL;
        case TMemberType::Date:
            return VT_DATE;
        case TMemberType::None:
            break;
    }
    return VT_EMPTY;
}
