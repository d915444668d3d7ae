#pragma once
// The one list of every member of the driver's dual interfaces, in vtable order. A row says all there is
// to know of a member: DISPID, English name, Russian name (help string and 1C:Enterprise name), kind, type,
// how a put is checked, and where the value lives. The property record (ECRDrvData.h), the member table
// and the DISPID constants (TesselDrv_TLB.h), the interfaces and the object's slots, the type library, the
// get, put and call of every member (untMembers.cpp) are all expanded from these lists, so a member is
// written exactly once. Adding a stored property is one row with `Record`.
//
// Kind: Method (one [out, retval] long; AboutBox alone, of type None, takes and yields nothing), Get
// (read-only property), GetPut (getter slot, then setter slot).
// Put check (the width of a long): Full keeps the value, Bits8 and Bits16 keep its low bits (the field
// behind the property has that width, and the build checks that it has).
// Where, and its argument:
//   Record, default        a field of the property record, declared from the row (default: its initial value)
//   Bytes,                 a byte-string field of the property record, one character per byte
//   Hex, Field             the hex text form of a byte-string field of the record
//   Field,                 a field of the engine outside the record, named as the property
//   Command, Field         a field of the current command; CommandBytes, CommandHex: a byte-string field
//                          of it, as characters or as hex text
//   Engine, (Get[, Set])   a getter and setter pair of the engine; for a method, Engine, Operation: the
//                          engine's operation, under the operation lock
//   Self, field_           a field of the automation object (what belongs to one object, not the engine)
//   Object, (Get)          a getter of the automation object; for a method, Object, Function: a function of
//                          the object, under the operation lock
//   Window, Function       a function of the object that shows a window: outside the operation lock, for
//                          the dialogs call the driver from their own threads while the window is up
//   Dialog, "Name"         the modal dialog `Name` of the dialogs module (as Window)
// LineDataHex is a text of its own, not a hex form of LineData.

// clang-format off
#define TESSEL_MEMBERS_ITesselDriver(X) \
    X(-552, AboutBox, "ОПрограмме", Method, None, Full, Window, ShowAbout) \
    X(0x01, AddLD, "ДобавитьЛУ", Method, Long, Full, Engine, AddLD) \
    X(0x02, Beep, "Гудок", Method, Long, Full, Engine, Beep) \
    X(0x03, DeleteCommand, "УдалитьКоманду", Method, Long, Full, Engine, DeleteCommand) \
    X(0x04, DeleteLD, "УдалитьЛУ", Method, Long, Full, Engine, DeleteLD) \
    X(0x05, GetCashReg, "ПолучитьДенежныйРегистр", Method, Long, Full, Engine, GetCashReg) \
    X(0x06, GetCommandParams, "ПолучитьПараметрыКоманды", Method, Long, Full, Engine, GetCommandParams) \
    X(0x07, GetDeviceMetrics, "ПолучитьПараметрыУстройства", Method, Long, Full, Engine, GetDeviceMetrics) \
    X(0x08, GetDump, "ПолучитьДанные", Method, Long, Full, Engine, GetDump) \
    X(0x09, GetECRFlagName, "ПолучитьНазваниеФлагаККМ", Method, Long, Full, Engine, GetECRFlagName) \
    X(0x0A, GetECRStatus, "ПолучитьСостояниеККМ", Method, Long, Full, Engine, GetECRStatus) \
    X(0x0B, GetExchangeParam, "ПолучитьПараметрыОбмена", Method, Long, Full, Engine, GetExchangeParam) \
    X(0x0C, GetFieldStruct, "ПолучитьСтруктуруПоля", Method, Long, Full, Engine, GetFieldStruct) \
    X(0x0D, GetFMStatus, "ПолучитьСостояниеФП", Method, Long, Full, Engine, GetFMStatus) \
    X(0x0E, GetOperationReg, "ПолучитьОперационныйРегистр", Method, Long, Full, Engine, GetOperationReg) \
    X(0x0F, GetRestReg, "ПолучитьРегистрОстатков", Method, Long, Full, Engine, GetRestReg) \
    X(0x10, GetTableStruct, "ПолучитьСтруктуруТаблицы", Method, Long, Full, Engine, GetTableStruct) \
    X(0x11, InitTables, "ИнициализироватьТаблицы", Method, Long, Full, Engine, InitTables) \
    X(0x12, ReadTable, "ПрочитатьТаблицу", Method, Long, Full, Engine, ReadTable) \
    X(0x13, SearchDevice, "ПоискУстройств", Method, Long, Full, Engine, SearchDevice) \
    X(0x14, SendCommand, "ПередатьКоманду", Method, Long, Full, Engine, SendCommand) \
    X(0x15, SendRawData, "ПередатьДанные", Method, Long, Full, Engine, SendRawData) \
    X(0x16, SetDate, "УстановитьДату", Method, Long, Full, Engine, SetDate) \
    X(0x17, SetDefaults, "ПараметрыПоУмолчанию", Method, Long, Full, Object, RestoreDefaults) \
    X(0x18, SetExchangeParam, "УстановитьПараметрыОбмена", Method, Long, Full, Engine, SetExchangeParam) \
    X(0x19, SetPointPosition, "УстановитьПоложениеТочки", Method, Long, Full, Engine, SetPointPosition) \
    X(0x1A, SetRestReg, "ЗаписатьРегистрОстатков", Method, Long, Full, Engine, SetRestReg) \
    X(0x1B, SetTime, "УстановитьВремя", Method, Long, Full, Engine, SetTime) \
    X(0x1C, ShowLogDlg, "ОкноНастроекЛога", Method, Long, Full, Dialog, "Log") \
    X(0x1D, ShowProperties, "СтраницаСвойств", Method, Long, Full, Window, ShowPropertyPage) \
    X(0x1E, ShowSearchDlg, "ДиалогПоиска", Method, Long, Full, Window, ShowSearchDialog) \
    X(0x1F, ShowServiceDlg, "ДиалогУправленияККМ", Method, Long, Full, Dialog, "Service") \
    X(0x20, ShowStatusDlg, "ДиалогСостоянияККМ", Method, Long, Full, Dialog, "Status") \
    X(0x21, ShowTablesDlg, "ДиалогТаблиц", Method, Long, Full, Dialog, "Tables") \
    X(0x22, WriteTable, "ЗаписатьТаблицу", Method, Long, Full, Engine, WriteTable) \
    X(0x23, ActivizationNumber, "КоличествоАктивизацийЭКЛЗ", GetPut, Long, Full, Record, ) \
    X(0x24, Barcode, "ШтрихКод", GetPut, String, Full, Record, ) \
    X(0x25, BarcodeType, "ТипШтрихКода", GetPut, Long, Bits8, Record, ) \
    X(0x26, BarcodeWeight, "Вес", GetPut, Double, Full, Record, ) \
    X(0x27, BaudRate, "СкоростьОбмена", GetPut, Long, Full, Engine, (BaudRate, SetBaudRate)) \
    X(0x28, CashRegister, "ДенежныйРегистр", GetPut, Currency, Full, Record, ) \
    X(0x29, Code, "Код", GetPut, String, Full, Record, ) \
    X(0x2A, CommandC1, "CommandC1", GetPut, Long, Bits8, Command, C1) \
    X(0x2B, CommandC2, "CommandC2", GetPut, Long, Bits8, Command, C2) \
    X(0x2C, CommandCadr, "КадрКоманды", GetPut, String, Full, CommandBytes, Cadr) \
    X(0x2D, CommandCadrHex, "КадрКомандыHex", GetPut, String, Full, CommandHex, Cadr) \
    X(0x2E, CommandCode, "КодКоманды", GetPut, Long, Bits8, Command, Code) \
    X(0x2F, CommandData, "ДанныеКоманды", GetPut, String, Full, Engine, (CommandData, SetCommandData)) \
    X(0x30, CommandDataHex, "ДанныеКомандыHex", GetPut, String, Full, Engine, (CommandDataHex, SetCommandDataHex)) \
    X(0x31, CommandDataLength, "ДлинаДанныхКоманды", GetPut, Long, Bits8, Command, DataLength) \
    X(0x32, CommandDstAddress, "АдресПриемника", GetPut, Long, Bits8, Command, DstAddress) \
    X(0x33, CommandID, "НомерКоманды", GetPut, Long, Full, Field, ) \
    X(0x34, CommandResultCode, "КодОшибкиКоманды", GetPut, Long, Full, Engine, (GetCommandResultCode, SetCommandResultCode)) \
    X(0x35, CommandResultDescription, "ОписаниеОшибкиКоманды", Get, String, Full, Field, ) \
    X(0x36, CommandRollbackFlag, "ОтменитьПредыдущуюКоманду", Get, Boolean, Full, Command, RollbackFlag) \
    X(0x37, CommandSrcAddress, "АдресИсточника", GetPut, Long, Bits8, Command, SrcAddress) \
    X(0x38, CommandType, "ТипКоманды", GetPut, Long, Bits8, Command, CommandType) \
    X(0x39, DataBlock, "БлокДанных", GetPut, String, Full, Bytes, ) \
    X(0x3A, DataBlockCount, "КоличествоБлоковДанных", GetPut, Long, Full, Record, ) \
    X(0x3B, DataBlockHex, "БлокДанныхHex", GetPut, String, Full, Hex, DataBlock) \
    X(0x3C, DataBlockNumber, "НомерБлокаДанных", GetPut, Long, Full, Record, ) \
    X(0x3D, DeviceEnabled, "ПортОткрыт", GetPut, Boolean, Full, Engine, (DeviceEnabled, SetDeviceEnabled)) \
    X(0x3E, DeviceNumber, "КодУстройстваККМ", GetPut, Long, Full, Record, 1) \
    X(0x3F, DocumentNumber, "НомерДокумента", GetPut, Long, Full, Record, ) \
    X(0x40, DscSign, "ЗнакСкидки", GetPut, Long, Bits8, Record, ) \
    X(0x41, DstAddress, "АдресККМ", GetPut, Long, Bits8, Engine, (DstAddress, SetDstAddress)) \
    X(0x42, ECRAdvancedMode, "ПодрежимККМ", GetPut, Long, Full, Record, ) \
    X(0x43, ECRAdvancedModeDescription, "ОписаниеПодрежимаККМ", Get, String, Full, Engine, (ECRAdvancedModeDescription)) \
    X(0x44, ECRBaudRate, "СкоростьККМ", GetPut, Long, Bits8, Record, 3) \
    X(0x45, ECRDate, "ДатаККМ", GetPut, Date, Full, Engine, (GetECRDate, SetECRDate)) \
    X(0x46, ECRDateStr, "ДатаККМСтрока", GetPut, String, Full, Engine, (GetECRDateStr, SetECRDateStr)) \
    X(0x47, ECRDay, "ДеньККМ", GetPut, Long, Bits8, Record, 1) \
    X(0x48, ECRDeviceName, "НазваниеУстройстваККМ", Get, String, Full, Engine, (ECRDeviceName)) \
    X(0x49, ECRFlags, "ФлагиККМ", GetPut, Long, Bits16, Record, ) \
    X(0x4A, ECRHour, "ЧасККМ", GetPut, Long, Bits8, Record, 1) \
    X(0x4B, ECRMin, "МинутаККМ", GetPut, Long, Bits8, Record, 1) \
    X(0x4C, ECRMode, "РежимККМ", GetPut, Long, Bits8, Record, ) \
    X(0x4D, ECRModeDescription, "ОписаниеРежимаККМ", Get, String, Full, Engine, (ECRModeDescription)) \
    X(0x4E, ECRMonth, "МесяцККМ", GetPut, Long, Bits8, Record, 1) \
    X(0x4F, ECRPortNumber, "НомерПортаККМ", GetPut, Long, Bits8, Record, ) \
    X(0x50, ECRSec, "СекундаККМ", GetPut, Long, Bits8, Record, 1) \
    X(0x51, ECRSoftBuild, "СборкаПОККМ", GetPut, Long, Bits16, Record, ) \
    X(0x52, ECRSoftDate, "ДатаПОККМ", GetPut, Date, Full, Engine, (GetECRSoftDate, SetECRSoftDate)) \
    X(0x53, ECRSoftDateStr, "ДатаПОККМСтрока", GetPut, String, Full, Engine, (GetECRSoftDateStr, SetECRSoftDateStr)) \
    X(0x54, ECRSoftDay, "ДеньПОККМ", GetPut, Long, Bits8, Record, 1) \
    X(0x55, ECRSoftMonth, "МесяцПОККМ", GetPut, Long, Bits8, Record, 1) \
    X(0x56, ECRSoftVersion, "ВерсияПОККМ", GetPut, String, Full, Record, "1.0") \
    X(0x57, ECRSoftYear, "ГодПОККМ", GetPut, Long, Bits8, Record, 1) \
    X(0x58, ECRTime, "ВремяККМ", GetPut, Date, Full, Engine, (GetECRTime, SetECRTime)) \
    X(0x59, ECRTimeout, "ТаймаутККМ", GetPut, Long, Bits8, Record, 100) \
    X(0x5A, ECRTimeStr, "ВремяККМСтрока", GetPut, String, Full, Engine, (GetECRTimeStr, SetECRTimeStr)) \
    X(0x5B, ECRYear, "ГодККМ", GetPut, Long, Bits8, Record, 1) \
    X(0x5C, EKLZNumber, "НомерЭКЛЗ", GetPut, String, Full, Record, ) \
    X(0x5D, EKLZNumberValid, "НомерЭКЛЗВведен", GetPut, Boolean, Full, Record, ) \
    X(0x5E, FieldCount, "КоличествоПолей", GetPut, Long, Full, Record, ) \
    X(0x5F, FieldMaxValue, "МаксимальноеЗначениеПоля", GetPut, Long, Full, Record, ) \
    X(0x60, FieldMinValue, "МинимальноеЗначениеПоля", GetPut, Long, Full, Record, ) \
    X(0x61, FieldName, "НазваниеПоля", GetPut, String, Full, Record, ) \
    X(0x62, FieldNumber, "НомерПоля", GetPut, Long, Full, Record, ) \
    X(0x63, FieldSize, "РазмерПоля", GetPut, Long, Full, Record, ) \
    X(0x64, FieldType, "ТипПоля", GetPut, Long, Full, Record, ) \
    X(0x65, FieldValue, "ЗначениеПоля", GetPut, String, Full, Record, ) \
    X(0x66, FlagName, "НазваниеФлагаККМ", GetPut, String, Full, Record, ) \
    X(0x67, FlagNumber, "НомерФлагаККМ", GetPut, Long, Full, Record, ) \
    X(0x68, FMSoftBuild, "СборкаПОФП", GetPut, Long, Bits16, Record, ) \
    X(0x69, FMSoftVersion, "ВерсияПОФП", GetPut, String, Full, Record, ) \
    X(0x6A, FreeActivization, "ОсталосьАктивизацийЭКЛЗ", GetPut, Long, Full, Record, ) \
    X(0x6B, FreeRecordInFM, "СвободныхЗаписейВФП", GetPut, Long, Bits16, Record, ) \
    X(0x6C, FreeRegistration, "ОсталосьПеререгистраций", GetPut, Long, Full, Record, ) \
    X(0x6D, Fuel, "Бензиновая", GetPut, Boolean, Full, Engine, (Fuel, SetFuel)) \
    X(0x6E, INN, "ИНН", GetPut, String, Full, Record, ) \
    X(0x6F, INNValid, "ИННВведен", GetPut, Boolean, Full, Record, ) \
    X(0x70, IsClient1C, "Клиент1С", Get, Boolean, Full, Self, isClient1C_) \
    X(0x71, IsShowProperties, "СтраницаСвойствОткрыта", Get, Boolean, Full, Self, isShowProperties_) \
    X(0x72, LDCount, "КоличествоЛУ", Get, Long, Full, Engine, (LDCount)) \
    X(0x73, LDIndex, "ИндексЛУ", GetPut, Long, Full, Engine, (LDIndex, SetLDIndex)) \
    X(0x74, LDName, "ИмяЛУ", GetPut, String, Full, Engine, (LDName, SetLDName)) \
    X(0x75, LDNumber, "НомерЛУ", GetPut, Long, Full, Engine, (LDNumber, SetLDNumber)) \
    X(0x76, LockDevices, "БлокироватьЛУ", GetPut, Boolean, Full, Self, lockDevices_) \
    X(0x77, LogEnabled, "ЛогВключен", GetPut, Boolean, Full, Engine, (LogEnabled, SetLogEnabled)) \
    X(0x78, LogFileName, "ФайлЛога", GetPut, String, Full, Engine, (LogFileName, SetLogFileName)) \
    X(0x79, OperationNumber, "НомерОперации", GetPut, Long, Full, Record, ) \
    X(0x7A, OperationRegister, "ОперационныйРегистр", GetPut, Long, Full, Record, ) \
    X(0x7B, OperatorNumber, "НомерОператора", GetPut, Long, Bits8, Record, ) \
    X(0x7C, ParentWnd, "ОкноПриложения", GetPut, Long, Full, Self, parentWnd_) \
    X(0x7D, PayType, "ТипОплаты", GetPut, Long, Bits8, Record, 1) \
    X(0x7E, PositionOfPoint, "ПоложениеТочки", GetPut, Long, Full, Record, 1) \
    X(0x7F, PortNumber, "НомерПорта", GetPut, Long, Full, Engine, (PortNumber, SetPortNumber)) \
    X(0x80, Price, "Цена", GetPut, Currency, Full, Record, ) \
    X(0x81, Quantity, "Количество", GetPut, Double, Full, Record, ) \
    X(0x82, RawData, "Данные", GetPut, String, Full, Bytes, ) \
    X(0x83, RawDataHex, "ДанныеHex", GetPut, String, Full, Hex, RawData) \
    X(0x84, ReceiptNumber, "НомерЧека", GetPut, Long, Bits16, Record, ) \
    X(0x85, RecSumm, "СуммаЧека", GetPut, Currency, Full, Record, ) \
    X(0x86, RegisterNumber, "НомерРегистра", GetPut, Long, Full, Record, ) \
    X(0x87, RegistrationNumber, "КоличествоПеререгистраций", GetPut, Long, Full, Record, ) \
    X(0x88, RegSign, "ЗнакЧека", GetPut, Long, Bits8, Record, ) \
    X(0x89, RegType, "ТипЧека", GetPut, Long, Bits8, Record, 1) \
    X(0x8A, RepCount, "КоличествоПовторов", GetPut, Long, Full, Field, ) \
    X(0x8B, RestRegister, "РегистрОстатков", GetPut, Long, Full, Record, ) \
    X(0x8C, ResultCode, "Результат", Get, Long, Full, Field, ) \
    X(0x8D, ResultDescription, "ОписаниеРезультата", Get, String, Full, Field, ) \
    X(0x8E, RowCount, "КоличествоРядов", GetPut, Long, Full, Record, ) \
    X(0x8F, RowNumber, "НомерРяда", GetPut, Long, Full, Record, ) \
    X(0x90, Section, "Секция", GetPut, Long, Bits8, Record, ) \
    X(0x91, SerialNumber, "ЗаводскойНомер", GetPut, String, Full, Record, ) \
    X(0x92, SerialNumberValid, "ЗаводскойНомерВведен", GetPut, Boolean, Full, Record, ) \
    X(0x93, SessionNumber, "НомерСмены", GetPut, Long, Full, Record, ) \
    X(0x94, SrcAddress, "АдресПК", GetPut, Long, Bits8, Field, ) \
    X(0x95, Summ, "Сумма", GetPut, Currency, Full, Record, ) \
    X(0x96, TableName, "НазваниеТаблицы", GetPut, String, Full, Record, ) \
    X(0x97, TableNumber, "НомерТаблицы", GetPut, Long, Full, Record, ) \
    X(0x98, Tax1, "Налог1", GetPut, Long, Bits8, Record, ) \
    X(0x99, Tax2, "Налог2", GetPut, Long, Bits8, Record, ) \
    X(0x9A, Tax3, "Налог3", GetPut, Long, Bits8, Record, ) \
    X(0x9B, Tax4, "Налог4", GetPut, Long, Bits8, Record, ) \
    X(0x9C, TaxSumm1, "СуммаНалога1", GetPut, Currency, Full, Record, ) \
    X(0x9D, TaxSumm2, "СуммаНалога2", GetPut, Currency, Full, Record, ) \
    X(0x9E, TaxSumm3, "СуммаНалога3", GetPut, Currency, Full, Record, ) \
    X(0x9F, TaxSumm4, "СуммаНалога4", GetPut, Currency, Full, Record, ) \
    X(0xA0, Text, "Текст", GetPut, String, Full, Record, ) \
    X(0xA1, Timeout, "Таймаут", GetPut, Long, Full, Field, ) \
    X(0xA2, UCodePage, "КодоваяСтраница", GetPut, Long, Full, Record, ) \
    X(0xA3, UDescription, "ОписаниеУстройства", GetPut, String, Full, Record, ) \
    X(0xA4, UMajorProtocolVersion, "ВерсияПротокола", GetPut, Long, Full, Record, ) \
    X(0xA5, UMajorType, "ТипУстройства", GetPut, Long, Full, Record, ) \
    X(0xA6, UMinorProtocolVersion, "ПодверсияПротокола", GetPut, Long, Full, Record, ) \
    X(0xA7, UMinorType, "ПодтипУстройства", GetPut, Long, Full, Record, ) \
    X(0xA8, UModel, "МодельУстройства", GetPut, Long, Full, Record, ) \
    X(0xA9, Version, "Версия", Get, String, Full, Object, (FileVersion)) \
    X(0xAA, WaitAnswer, "ЖдатьОтвет", GetPut, Boolean, Full, Field, )

#define TESSEL_MEMBERS_ITesselDriver2(X) \
    X(0xAB, LineNumber, "НомерЛинии", GetPut, Long, Full, Record, ) \
    X(0xAC, LineData, "ДанныеЛинии", GetPut, String, Full, Record, ) \
    X(0xAD, LineDataHex, "ДанныеЛинииHex", GetPut, String, Full, Record, ) \
    X(0xAE, SendCadr, "ПередатьКадр", Method, Long, Full, Engine, SendCadr) \
    X(0xAF, PostCadr, "ЗаписатьКадр", Method, Long, Full, Engine, PostCadr)

#define TESSEL_MEMBERS_ITesselDriver3(X) \
    X(0xB0, CommandExecuteFlag, "ФлагВыполненияКоманды", Get, Boolean, Full, Command, ExecuteFlag)

// clang-format on
