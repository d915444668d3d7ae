#pragma once
// The automation contract of the driver: the library and type identifiers, the TFieldType values and the one
// table of every member of ITesselDriver, ITesselDriver2 and ITesselDriver3. Dispatch, type information and
// the 1C:Enterprise adapter are all derived from this table, so a member is described exactly once.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/com/ComTypes.h"

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

inline constexpr std::array<TTesselMember, 177> Members = {{
    // ITesselDriver
    {I::Driver, TesselDispIdAboutBox, "AboutBox", "ОПрограмме", K::Method, T::None, W::Full},
    {I::Driver, 0x01, "AddLD", "ДобавитьЛУ", K::Method, T::Long, W::Full},
    {I::Driver, 0x02, "Beep", "Гудок", K::Method, T::Long, W::Full},
    {I::Driver, 0x03, "DeleteCommand", "УдалитьКоманду", K::Method, T::Long, W::Full},
    {I::Driver, 0x04, "DeleteLD", "УдалитьЛУ", K::Method, T::Long, W::Full},
    {I::Driver, 0x05, "GetCashReg", "ПолучитьДенежныйРегистр", K::Method, T::Long, W::Full},
    {I::Driver, 0x06, "GetCommandParams", "ПолучитьПараметрыКоманды", K::Method, T::Long, W::Full},
    {I::Driver, 0x07, "GetDeviceMetrics", "ПолучитьПараметрыУстройства", K::Method, T::Long, W::Full},
    {I::Driver, 0x08, "GetDump", "ПолучитьДанные", K::Method, T::Long, W::Full},
    {I::Driver, 0x09, "GetECRFlagName", "ПолучитьНазваниеФлагаККМ", K::Method, T::Long, W::Full},
    {I::Driver, 0x0A, "GetECRStatus", "ПолучитьСостояниеККМ", K::Method, T::Long, W::Full},
    {I::Driver, 0x0B, "GetExchangeParam", "ПолучитьПараметрыОбмена", K::Method, T::Long, W::Full},
    {I::Driver, 0x0C, "GetFieldStruct", "ПолучитьСтруктуруПоля", K::Method, T::Long, W::Full},
    {I::Driver, 0x0D, "GetFMStatus", "ПолучитьСостояниеФП", K::Method, T::Long, W::Full},
    {I::Driver, 0x0E, "GetOperationReg", "ПолучитьОперационныйРегистр", K::Method, T::Long, W::Full},
    {I::Driver, 0x0F, "GetRestReg", "ПолучитьРегистрОстатков", K::Method, T::Long, W::Full},
    {I::Driver, 0x10, "GetTableStruct", "ПолучитьСтруктуруТаблицы", K::Method, T::Long, W::Full},
    {I::Driver, 0x11, "InitTables", "ИнициализироватьТаблицы", K::Method, T::Long, W::Full},
    {I::Driver, 0x12, "ReadTable", "ПрочитатьТаблицу", K::Method, T::Long, W::Full},
    {I::Driver, 0x13, "SearchDevice", "ПоискУстройств", K::Method, T::Long, W::Full},
    {I::Driver, 0x14, "SendCommand", "ПередатьКоманду", K::Method, T::Long, W::Full},
    {I::Driver, 0x15, "SendRawData", "ПередатьДанные", K::Method, T::Long, W::Full},
    {I::Driver, 0x16, "SetDate", "УстановитьДату", K::Method, T::Long, W::Full},
    {I::Driver, 0x17, "SetDefaults", "ПараметрыПоУмолчанию", K::Method, T::Long, W::Full},
    {I::Driver, 0x18, "SetExchangeParam", "УстановитьПараметрыОбмена", K::Method, T::Long, W::Full},
    {I::Driver, 0x19, "SetPointPosition", "УстановитьПоложениеТочки", K::Method, T::Long, W::Full},
    {I::Driver, 0x1A, "SetRestReg", "ЗаписатьРегистрОстатков", K::Method, T::Long, W::Full},
    {I::Driver, 0x1B, "SetTime", "УстановитьВремя", K::Method, T::Long, W::Full},
    {I::Driver, 0x1C, "ShowLogDlg", "ОкноНастроекЛога", K::Method, T::Long, W::Full},
    {I::Driver, 0x1D, "ShowProperties", "СтраницаСвойств", K::Method, T::Long, W::Full},
    {I::Driver, 0x1E, "ShowSearchDlg", "ДиалогПоиска", K::Method, T::Long, W::Full},
    {I::Driver, 0x1F, "ShowServiceDlg", "ДиалогУправленияККМ", K::Method, T::Long, W::Full},
    {I::Driver, 0x20, "ShowStatusDlg", "ДиалогСостоянияККМ", K::Method, T::Long, W::Full},
    {I::Driver, 0x21, "ShowTablesDlg", "ДиалогТаблиц", K::Method, T::Long, W::Full},
    {I::Driver, 0x22, "WriteTable", "ЗаписатьТаблицу", K::Method, T::Long, W::Full},
    {I::Driver, 0x23, "ActivizationNumber", "КоличествоАктивизацийЭКЛЗ", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x24, "Barcode", "ШтрихКод", K::GetPut, T::String, W::Full},
    {I::Driver, 0x25, "BarcodeType", "ТипШтрихКода", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x26, "BarcodeWeight", "Вес", K::GetPut, T::Double, W::Full},
    {I::Driver, 0x27, "BaudRate", "СкоростьОбмена", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x28, "CashRegister", "ДенежныйРегистр", K::GetPut, T::Currency, W::Full},
    {I::Driver, 0x29, "Code", "Код", K::GetPut, T::String, W::Full},
    {I::Driver, 0x2A, "CommandC1", "CommandC1", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x2B, "CommandC2", "CommandC2", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x2C, "CommandCadr", "КадрКоманды", K::GetPut, T::String, W::Full},
    {I::Driver, 0x2D, "CommandCadrHex", "КадрКомандыHex", K::GetPut, T::String, W::Full},
    {I::Driver, 0x2E, "CommandCode", "КодКоманды", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x2F, "CommandData", "ДанныеКоманды", K::GetPut, T::String, W::Full},
    {I::Driver, 0x30, "CommandDataHex", "ДанныеКомандыHex", K::GetPut, T::String, W::Full},
    {I::Driver, 0x31, "CommandDataLength", "ДлинаДанныхКоманды", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x32, "CommandDstAddress", "АдресПриемника", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x33, "CommandID", "НомерКоманды", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x34, "CommandResultCode", "КодОшибкиКоманды", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x35, "CommandResultDescription", "ОписаниеОшибкиКоманды", K::Get, T::String, W::Full},
    {I::Driver, 0x36, "CommandRollbackFlag", "ОтменитьПредыдущуюКоманду", K::Get, T::Boolean, W::Full},
    {I::Driver, 0x37, "CommandSrcAddress", "АдресИсточника", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x38, "CommandType", "ТипКоманды", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x39, "DataBlock", "БлокДанных", K::GetPut, T::String, W::Full},
    {I::Driver, 0x3A, "DataBlockCount", "КоличествоБлоковДанных", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x3B, "DataBlockHex", "БлокДанныхHex", K::GetPut, T::String, W::Full},
    {I::Driver, 0x3C, "DataBlockNumber", "НомерБлокаДанных", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x3D, "DeviceEnabled", "ПортОткрыт", K::GetPut, T::Boolean, W::Full},
    {I::Driver, 0x3E, "DeviceNumber", "КодУстройстваККМ", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x3F, "DocumentNumber", "НомерДокумента", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x40, "DscSign", "ЗнакСкидки", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x41, "DstAddress", "АдресККМ", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x42, "ECRAdvancedMode", "ПодрежимККМ", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x43, "ECRAdvancedModeDescription", "ОписаниеПодрежимаККМ", K::Get, T::String, W::Full},
    {I::Driver, 0x44, "ECRBaudRate", "СкоростьККМ", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x45, "ECRDate", "ДатаККМ", K::GetPut, T::Date, W::Full},
    {I::Driver, 0x46, "ECRDateStr", "ДатаККМСтрока", K::GetPut, T::String, W::Full},
    {I::Driver, 0x47, "ECRDay", "ДеньККМ", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x48, "ECRDeviceName", "НазваниеУстройстваККМ", K::Get, T::String, W::Full},
    {I::Driver, 0x49, "ECRFlags", "ФлагиККМ", K::GetPut, T::Long, W::Bits16},
    {I::Driver, 0x4A, "ECRHour", "ЧасККМ", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x4B, "ECRMin", "МинутаККМ", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x4C, "ECRMode", "РежимККМ", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x4D, "ECRModeDescription", "ОписаниеРежимаККМ", K::Get, T::String, W::Full},
    {I::Driver, 0x4E, "ECRMonth", "МесяцККМ", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x4F, "ECRPortNumber", "НомерПортаККМ", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x50, "ECRSec", "СекундаККМ", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x51, "ECRSoftBuild", "СборкаПОККМ", K::GetPut, T::Long, W::Bits16},
    {I::Driver, 0x52, "ECRSoftDate", "ДатаПОККМ", K::GetPut, T::Date, W::Full},
    {I::Driver, 0x53, "ECRSoftDateStr", "ДатаПОККМСтрока", K::GetPut, T::String, W::Full},
    {I::Driver, 0x54, "ECRSoftDay", "ДеньПОККМ", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x55, "ECRSoftMonth", "МесяцПОККМ", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x56, "ECRSoftVersion", "ВерсияПОККМ", K::GetPut, T::String, W::Full},
    {I::Driver, 0x57, "ECRSoftYear", "ГодПОККМ", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x58, "ECRTime", "ВремяККМ", K::GetPut, T::Date, W::Full},
    {I::Driver, 0x59, "ECRTimeout", "ТаймаутККМ", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x5A, "ECRTimeStr", "ВремяККМСтрока", K::GetPut, T::String, W::Full},
    {I::Driver, 0x5B, "ECRYear", "ГодККМ", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x5C, "EKLZNumber", "НомерЭКЛЗ", K::GetPut, T::String, W::Full},
    {I::Driver, 0x5D, "EKLZNumberValid", "НомерЭКЛЗВведен", K::GetPut, T::Boolean, W::Full},
    {I::Driver, 0x5E, "FieldCount", "КоличествоПолей", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x5F, "FieldMaxValue", "МаксимальноеЗначениеПоля", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x60, "FieldMinValue", "МинимальноеЗначениеПоля", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x61, "FieldName", "НазваниеПоля", K::GetPut, T::String, W::Full},
    {I::Driver, 0x62, "FieldNumber", "НомерПоля", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x63, "FieldSize", "РазмерПоля", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x64, "FieldType", "ТипПоля", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x65, "FieldValue", "ЗначениеПоля", K::GetPut, T::String, W::Full},
    {I::Driver, 0x66, "FlagName", "НазваниеФлагаККМ", K::GetPut, T::String, W::Full},
    {I::Driver, 0x67, "FlagNumber", "НомерФлагаККМ", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x68, "FMSoftBuild", "СборкаПОФП", K::GetPut, T::Long, W::Bits16},
    {I::Driver, 0x69, "FMSoftVersion", "ВерсияПОФП", K::GetPut, T::String, W::Full},
    {I::Driver, 0x6A, "FreeActivization", "ОсталосьАктивизацийЭКЛЗ", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x6B, "FreeRecordInFM", "СвободныхЗаписейВФП", K::GetPut, T::Long, W::Bits16},
    {I::Driver, 0x6C, "FreeRegistration", "ОсталосьПеререгистраций", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x6D, "Fuel", "Бензиновая", K::GetPut, T::Boolean, W::Full},
    {I::Driver, 0x6E, "INN", "ИНН", K::GetPut, T::String, W::Full},
    {I::Driver, 0x6F, "INNValid", "ИННВведен", K::GetPut, T::Boolean, W::Full},
    {I::Driver, 0x70, "IsClient1C", "Клиент1С", K::Get, T::Boolean, W::Full},
    {I::Driver, 0x71, "IsShowProperties", "СтраницаСвойствОткрыта", K::Get, T::Boolean, W::Full},
    {I::Driver, 0x72, "LDCount", "КоличествоЛУ", K::Get, T::Long, W::Full},
    {I::Driver, 0x73, "LDIndex", "ИндексЛУ", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x74, "LDName", "ИмяЛУ", K::GetPut, T::String, W::Full},
    {I::Driver, 0x75, "LDNumber", "НомерЛУ", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x76, "LockDevices", "БлокироватьЛУ", K::GetPut, T::Boolean, W::Full},
    {I::Driver, 0x77, "LogEnabled", "ЛогВключен", K::GetPut, T::Boolean, W::Full},
    {I::Driver, 0x78, "LogFileName", "ФайлЛога", K::GetPut, T::String, W::Full},
    {I::Driver, 0x79, "OperationNumber", "НомерОперации", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x7A, "OperationRegister", "ОперационныйРегистр", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x7B, "OperatorNumber", "НомерОператора", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x7C, "ParentWnd", "ОкноПриложения", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x7D, "PayType", "ТипОплаты", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x7E, "PositionOfPoint", "ПоложениеТочки", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x7F, "PortNumber", "НомерПорта", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x80, "Price", "Цена", K::GetPut, T::Currency, W::Full},
    {I::Driver, 0x81, "Quantity", "Количество", K::GetPut, T::Double, W::Full},
    {I::Driver, 0x82, "RawData", "Данные", K::GetPut, T::String, W::Full},
    {I::Driver, 0x83, "RawDataHex", "ДанныеHex", K::GetPut, T::String, W::Full},
    {I::Driver, 0x84, "ReceiptNumber", "НомерЧека", K::GetPut, T::Long, W::Bits16},
    {I::Driver, 0x85, "RecSumm", "СуммаЧека", K::GetPut, T::Currency, W::Full},
    {I::Driver, 0x86, "RegisterNumber", "НомерРегистра", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x87, "RegistrationNumber", "КоличествоПеререгистраций", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x88, "RegSign", "ЗнакЧека", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x89, "RegType", "ТипЧека", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x8A, "RepCount", "КоличествоПовторов", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x8B, "RestRegister", "РегистрОстатков", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x8C, "ResultCode", "Результат", K::Get, T::Long, W::Full},
    {I::Driver, 0x8D, "ResultDescription", "ОписаниеРезультата", K::Get, T::String, W::Full},
    {I::Driver, 0x8E, "RowCount", "КоличествоРядов", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x8F, "RowNumber", "НомерРяда", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x90, "Section", "Секция", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x91, "SerialNumber", "ЗаводскойНомер", K::GetPut, T::String, W::Full},
    {I::Driver, 0x92, "SerialNumberValid", "ЗаводскойНомерВведен", K::GetPut, T::Boolean, W::Full},
    {I::Driver, 0x93, "SessionNumber", "НомерСмены", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x94, "SrcAddress", "АдресПК", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x95, "Summ", "Сумма", K::GetPut, T::Currency, W::Full},
    {I::Driver, 0x96, "TableName", "НазваниеТаблицы", K::GetPut, T::String, W::Full},
    {I::Driver, 0x97, "TableNumber", "НомерТаблицы", K::GetPut, T::Long, W::Full},
    {I::Driver, 0x98, "Tax1", "Налог1", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x99, "Tax2", "Налог2", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x9A, "Tax3", "Налог3", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x9B, "Tax4", "Налог4", K::GetPut, T::Long, W::Bits8},
    {I::Driver, 0x9C, "TaxSumm1", "СуммаНалога1", K::GetPut, T::Currency, W::Full},
    {I::Driver, 0x9D, "TaxSumm2", "СуммаНалога2", K::GetPut, T::Currency, W::Full},
    {I::Driver, 0x9E, "TaxSumm3", "СуммаНалога3", K::GetPut, T::Currency, W::Full},
    {I::Driver, 0x9F, "TaxSumm4", "СуммаНалога4", K::GetPut, T::Currency, W::Full},
    {I::Driver, 0xA0, "Text", "Текст", K::GetPut, T::String, W::Full},
    {I::Driver, 0xA1, "Timeout", "Таймаут", K::GetPut, T::Long, W::Full},
    {I::Driver, 0xA2, "UCodePage", "КодоваяСтраница", K::GetPut, T::Long, W::Full},
    {I::Driver, 0xA3, "UDescription", "ОписаниеУстройства", K::GetPut, T::String, W::Full},
    {I::Driver, 0xA4, "UMajorProtocolVersion", "ВерсияПротокола", K::GetPut, T::Long, W::Full},
    {I::Driver, 0xA5, "UMajorType", "ТипУстройства", K::GetPut, T::Long, W::Full},
    {I::Driver, 0xA6, "UMinorProtocolVersion", "ПодверсияПротокола", K::GetPut, T::Long, W::Full},
    {I::Driver, 0xA7, "UMinorType", "ПодтипУстройства", K::GetPut, T::Long, W::Full},
    {I::Driver, 0xA8, "UModel", "МодельУстройства", K::GetPut, T::Long, W::Full},
    {I::Driver, 0xA9, "Version", "Версия", K::Get, T::String, W::Full},
    {I::Driver, 0xAA, "WaitAnswer", "ЖдатьОтвет", K::GetPut, T::Boolean, W::Full},
    // ITesselDriver2
    {I::Driver2, 0xAB, "LineNumber", "НомерЛинии", K::GetPut, T::Long, W::Full},
    {I::Driver2, 0xAC, "LineData", "ДанныеЛинии", K::GetPut, T::String, W::Full},
    {I::Driver2, 0xAD, "LineDataHex", "ДанныеЛинииHex", K::GetPut, T::String, W::Full},
    {I::Driver2, 0xAE, "SendCadr", "ПередатьКадр", K::Method, T::Long, W::Full},
    {I::Driver2, 0xAF, "PostCadr", "ЗаписатьКадр", K::Method, T::Long, W::Full},
    // ITesselDriver3
    {I::Driver3, 0xB0, "CommandExecuteFlag", "ФлагВыполненияКоманды", K::Get, T::Boolean, W::Full},
}};
}  // namespace tlb_detail

// Every member in vtable order: ITesselDriver, then ITesselDriver2, then ITesselDriver3.
inline constexpr const std::array<TTesselMember, 177>& TesselMembers = tlb_detail::Members;

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
