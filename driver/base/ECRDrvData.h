#pragma once
// The engine's record of parameter and answer values: one field per stored property of the automation
// interface, named as the property. Callers set the inputs of a command here, the commands read them and
// write their answers back here.
//
// Widths: an 8-bit or 16-bit property is a std::uint8_t or std::uint16_t field. The automation layer stores a
// long into it with KeepLowBits, or an equivalent static_cast to the field's type (300 in a byte is 44, -1
// is 255), and reads it back zero-extended by an ordinary conversion to std::int32_t.
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
#include "driver/base/untTypes.h"

// The low bits of a long that an 8-bit or 16-bit property keeps.
template <std::unsigned_integral Field>
constexpr Field KeepLowBits(std::int32_t value) {
    return static_cast<Field>(static_cast<std::uint32_t>(value));
}

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

    // ITesselDriver
    std::int32_t ActivizationNumber = 0;
    std::string Barcode;
    std::uint8_t BarcodeType = 0;
    double BarcodeWeight = 0.0;
    Currency CashRegister = 0;
    std::string Code;
    Bytes DataBlock;
    std::int32_t DataBlockCount = 0;
    std::int32_t DataBlockNumber = 0;
    std::int32_t DeviceNumber = 1;
    std::int32_t DocumentNumber = 0;
    std::uint8_t DscSign = 0;
    std::int32_t ECRAdvancedMode = 0;
    std::uint8_t ECRBaudRate = 3;
    std::uint8_t ECRDay = 1;
    std::uint16_t ECRFlags = 0;
    std::uint8_t ECRHour = 1;
    std::uint8_t ECRMin = 1;
    std::uint8_t ECRMode = 0;
    std::uint8_t ECRMonth = 1;
    std::uint8_t ECRPortNumber = 0;
    std::uint8_t ECRSec = 1;
    std::uint16_t ECRSoftBuild = 0;
    std::uint8_t ECRSoftDay = 1;
    std::uint8_t ECRSoftMonth = 1;
    std::string ECRSoftVersion = "1.0";
    std::uint8_t ECRSoftYear = 1;
    std::uint8_t ECRTimeout = 100;
    std::uint8_t ECRYear = 1;
    std::string EKLZNumber;
    bool EKLZNumberValid = false;
    std::int32_t FieldCount = 0;
    std::int32_t FieldMaxValue = 0;
    std::int32_t FieldMinValue = 0;
    std::string FieldName;
    std::int32_t FieldNumber = 0;
    std::int32_t FieldSize = 0;
    std::int32_t FieldType = 0;  // 0 ftInt, 1 ftStr
    std::string FieldValue;
    std::string FlagName;
    std::int32_t FlagNumber = 0;
    std::uint16_t FMSoftBuild = 0;
    std::string FMSoftVersion;
    std::int32_t FreeActivization = 0;
    std::uint16_t FreeRecordInFM = 0;
    std::int32_t FreeRegistration = 0;
    std::string INN;
    bool INNValid = false;
    std::int32_t OperationNumber = 0;
    std::int32_t OperationRegister = 0;
    std::uint8_t OperatorNumber = 0;
    std::uint8_t PayType = 1;
    std::int32_t PositionOfPoint = 1;
    Currency Price = 0;
    double Quantity = 0.0;
    Bytes RawData;
    std::uint16_t ReceiptNumber = 0;
    Currency RecSumm = 0;
    std::int32_t RegisterNumber = 0;
    std::int32_t RegistrationNumber = 0;
    std::uint8_t RegSign = 0;
    std::uint8_t RegType = 1;
    std::int32_t RestRegister = 0;
    std::int32_t RowCount = 0;
    std::int32_t RowNumber = 0;
    std::uint8_t Section = 0;
    std::string SerialNumber;
    bool SerialNumberValid = false;
    std::int32_t SessionNumber = 0;
    Currency Summ = 0;
    std::string TableName;
    std::int32_t TableNumber = 0;
    std::uint8_t Tax1 = 0;
    std::uint8_t Tax2 = 0;
    std::uint8_t Tax3 = 0;
    std::uint8_t Tax4 = 0;
    Currency TaxSumm1 = 0;
    Currency TaxSumm2 = 0;
    Currency TaxSumm3 = 0;
    Currency TaxSumm4 = 0;
    std::string Text;
    std::int32_t UCodePage = 0;
    std::string UDescription;
    std::int32_t UMajorProtocolVersion = 0;
    std::int32_t UMajorType = 0;
    std::int32_t UMinorProtocolVersion = 0;
    std::int32_t UMinorType = 0;
    std::int32_t UModel = 0;

    // ITesselDriver2
    std::int32_t LineNumber = 0;
    std::string LineData;
    std::string LineDataHex;  // a text of its own, not a hex view of LineData
};
