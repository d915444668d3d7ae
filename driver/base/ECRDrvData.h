#pragma once
// The engine's record of parameter and answer values: one field per stored property of the automation
// interface, named as the property. Callers set the inputs of a command here, the commands read them and
// write their answers back here.
//
// The fields are expanded from the member lists (TesselDrvMembers.h): a row whose value lives in `Record` or
// `Bytes` is a field here. Widths: an 8-bit or 16-bit property is a std::uint8_t or std::uint16_t field. The
// automation layer stores a long into it keeping the low bits (300 in a byte is 44, -1 is 255), and reads it
// back zero-extended by an ordinary conversion to std::int32_t.
//
// Derived properties served here by member functions, from the clock and firmware date bytes:
//   ECRDate, ECRDateStr, ECRTime, ECRTimeStr, ECRSoftDate, ECRSoftDateStr.
// Not held here: the hex forms (DataBlockHex, RawDataHex: the hex codec over DataBlock and RawData), the
// texts ECRModeDescription, ECRAdvancedModeDescription and ECRDeviceName (the state texts over ECRMode with
// UModel, ECRAdvancedMode and DeviceNumber), and what belongs to the engine, the current command, the
// current logical device or the log.

#include <concepts>
#include <cstdint>
#include <string>

#include "common/platform/Bytes.h"
#include "driver/base/TesselDrvMembers.h"
#include "driver/base/untTypes.h"

// The low bits of a long that an 8-bit or 16-bit property keeps.
template <std::unsigned_integral Field>
constexpr Field KeepLowBits(std::int32_t value) {
    return static_cast<Field>(static_cast<std::uint32_t>(value));
}

// The C type of a record field by the row's type and put check.
#define TESSEL_FIELD_TYPE_Long_Full std::int32_t
#define TESSEL_FIELD_TYPE_Long_Bits8 std::uint8_t
#define TESSEL_FIELD_TYPE_Long_Bits16 std::uint16_t
#define TESSEL_FIELD_TYPE_String_Full std::string
#define TESSEL_FIELD_TYPE_Double_Full double
#define TESSEL_FIELD_TYPE_Currency_Full Currency
#define TESSEL_FIELD_TYPE_Boolean_Full bool

// A row's field in the record, or nothing when its value lives elsewhere.
#define TESSEL_RECORD_Record(Name, Type, Width, Default) TESSEL_FIELD_TYPE_##Type##_##Width Name{Default};
#define TESSEL_RECORD_Bytes(Name, Type, Width, Default) Bytes Name;
#define TESSEL_RECORD_Hex(...)
#define TESSEL_RECORD_Field(...)
#define TESSEL_RECORD_Command(...)
#define TESSEL_RECORD_CommandBytes(...)
#define TESSEL_RECORD_CommandHex(...)
#define TESSEL_RECORD_Engine(...)
#define TESSEL_RECORD_Self(...)
#define TESSEL_RECORD_Object(...)
#define TESSEL_RECORD_Window(...)
#define TESSEL_RECORD_Dialog(...)

class TECRDrvData {
  public:
    // Every field at its default (see SetDefaults).
    TECRDrvData() = default;

    // Puts every field back to its value at creation: the clock and firmware date bytes, RegType, PayType,
    // DeviceNumber and PositionOfPoint 1, ECRTimeout 100, ECRBaudRate 3, ECRSoftVersion "1.0"; every other
    // value 0, false or empty.
    void SetDefaults();

    // 2000 + ECRYear, ECRMonth, ECRDay as a date; 0.0 (the zero date) when they form no valid date.
    TDateTime GetECRDate() const;
    // Stores day, month and year modulo 100 of `value`; all three 0 when it cannot be split (NaN, infinite,
    // outside the years 1..9999).
    void SetECRDate(TDateTime value);
    // GetECRDate as "dd.MM.yyyy" (the zero date reads "30.12.1899").
    std::string GetECRDateStr() const;
    // Parses "dd.MM.yyyy" and stores it as SetECRDate does. A text that names no date stores zeros in all
    // three bytes and throws EDriverError(E_INVALIDVALUE).
    void SetECRDateStr(const std::string& text);

    // ECRHour:ECRMin:ECRSec as a fraction of a day; 0.0 when they form no valid time.
    TDateTime GetECRTime() const;
    // Stores hour, minute and second of the time of day of `value`, rounded to the nearest second; all three
    // 0 when it cannot be split.
    void SetECRTime(TDateTime value);
    // GetECRTime as "HH:mm:ss".
    std::string GetECRTimeStr() const;
    // Parses "HH:mm:ss" (or "HH:mm") and stores it as SetECRTime does. A text that names no time stores
    // zeros in all three bytes and throws EDriverError(E_INVALIDVALUE).
    void SetECRTimeStr(const std::string& text);

    // The same as the ECRDate functions, over ECRSoftDay, ECRSoftMonth and ECRSoftYear.
    TDateTime GetECRSoftDate() const;
    void SetECRSoftDate(TDateTime value);
    std::string GetECRSoftDateStr() const;
    void SetECRSoftDateStr(const std::string& text);

    // One field per row of the member lists that lives in this record, named, typed and initialised by it.
#define TESSEL_RECORD_FIELD(dispId, Name, name1C, Kind, Type, Width, Where, Default) \
    TESSEL_RECORD_##Where(Name, Type, Width, Default)
    TESSEL_MEMBERS_ITesselDriver(TESSEL_RECORD_FIELD) TESSEL_MEMBERS_ITesselDriver2(TESSEL_RECORD_FIELD)
        TESSEL_MEMBERS_ITesselDriver3(TESSEL_RECORD_FIELD)
#undef TESSEL_RECORD_FIELD
};
