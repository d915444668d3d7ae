#pragma once
// The one list of every member of the driver's dual interfaces, in vtable order: DISPID, English name,
// Russian name (help string and 1C:Enterprise name), kind, type and width of the stored field. The member
// table, the abstract interfaces, the DISPID constants and the object's member functions are all expanded
// from these lists, so a member is written exactly once.
//
// Kind: Method (one [out, retval] long; AboutBox alone, of type None, takes and yields nothing), Get
// (read-only property), GetPut (getter slot, then setter slot). Width: Full, Bits8, Bits16.

// clang-format off
#define TESSEL_MEMBERS_ITesselDriver(X) \
    X(-552, AboutBox, "ОПрограмме", Method, None, Full) \
    X(0x01, AddLD, "ДобавитьЛУ", Method, Long, Full) \
    X(0x02, Beep, "Гудок", Method, Long, Full) \
    X(0x03, DeleteCommand, "УдалитьКоманду", Method, Long, Full) \
    X(0x04, DeleteLD, "УдалитьЛУ", Method, Long, Full) \
    X(0x05, GetCashReg, "ПолучитьДенежныйРегистр", Method, Long, Full) \
    X(0x06, GetCommandParams, "ПолучитьПараметрыКоманды", Method, Long, Full) \
    X(0x07, GetDeviceMetrics, "ПолучитьПараметрыУстройства", Method, Long, Full) \
    X(0x08, GetDump, "ПолучитьДанные", Method, Long, Full) \
    X(0x09, GetECRFlagName, "ПолучитьНазваниеФлагаККМ", Method, Long, Full) \
    X(0x0A, GetECRStatus, "ПолучитьСостояниеККМ", Method, Long, Full) \
    X(0x0B, GetExchangeParam, "ПолучитьПараметрыОбмена", Method, Long, Full) \
    X(0x0C, GetFieldStruct, "ПолучитьСтруктуруПоля", Method, Long, Full) \
    X(0x0D, GetFMStatus, "ПолучитьСостояниеФП", Method, Long, Full) \
    X(0x0E, GetOperationReg, "ПолучитьОперационныйРегистр", Method, Long, Full) \
    X(0x0F, GetRestReg, "ПолучитьРегистрОстатков", Method, Long, Full) \
    X(0x10, GetTableStruct, "ПолучитьСтруктуруТаблицы", Method, Long, Full) \
    X(0x11, InitTables, "ИнициализироватьТаблицы", Method, Long, Full) \
    X(0x12, ReadTable, "ПрочитатьТаблицу", Method, Long, Full) \
    X(0x13, SearchDevice, "ПоискУстройств", Method, Long, Full) \
    X(0x14, SendCommand, "ПередатьКоманду", Method, Long, Full) \
    X(0x15, SendRawData, "ПередатьДанные", Method, Long, Full) \
    X(0x16, SetDate, "УстановитьДату", Method, Long, Full) \
    X(0x17, SetDefaults, "ПараметрыПоУмолчанию", Method, Long, Full) \
    X(0x18, SetExchangeParam, "УстановитьПараметрыОбмена", Method, Long, Full) \
    X(0x19, SetPointPosition, "УстановитьПоложениеТочки", Method, Long, Full) \
    X(0x1A, SetRestReg, "ЗаписатьРегистрОстатков", Method, Long, Full) \
    X(0x1B, SetTime, "УстановитьВремя", Method, Long, Full) \
    X(0x1C, ShowLogDlg, "ОкноНастроекЛога", Method, Long, Full) \
    X(0x1D, ShowProperties, "СтраницаСвойств", Method, Long, Full) \
    X(0x1E, ShowSearchDlg, "ДиалогПоиска", Method, Long, Full) \
    X(0x1F, ShowServiceDlg, "ДиалогУправленияККМ", Method, Long, Full) \
    X(0x20, ShowStatusDlg, "ДиалогСостоянияККМ", Method, Long, Full) \
    X(0x21, ShowTablesDlg, "ДиалогТаблиц", Method, Long, Full) \
    X(0x22, WriteTable, "ЗаписатьТаблицу", Method, Long, Full) \
    X(0x23, ActivizationNumber, "КоличествоАктивизацийЭКЛЗ", GetPut, Long, Full) \
    X(0x24, Barcode, "ШтрихКод", GetPut, String, Full) \
    X(0x25, BarcodeType, "ТипШтрихКода", GetPut, Long, Bits8) \
    X(0x26, BarcodeWeight, "Вес", GetPut, Double, Full) \
    X(0x27, BaudRate, "СкоростьОбмена", GetPut, Long, Full) \
    X(0x28, CashRegister, "ДенежныйРегистр", GetPut, Currency, Full) \
    X(0x29, Code, "Код", GetPut, String, Full) \
    X(0x2A, CommandC1, "CommandC1", GetPut, Long, Bits8) \
    X(0x2B, CommandC2, "CommandC2", GetPut, Long, Bits8) \
    X(0x2C, CommandCadr, "КадрКоманды", GetPut, String, Full) \
    X(0x2D, CommandCadrHex, "КадрКомандыHex", GetPut, String, Full) \
    X(0x2E, CommandCode, "КодКоманды", GetPut, Long, Bits8) \
    X(0x2F, CommandData, "ДанныеКоманды", GetPut, String, Full) \
    X(0x30, CommandDataHex, "ДанныеКомандыHex", GetPut, String, Full) \
    X(0x31, CommandDataLength, "ДлинаДанныхКоманды", GetPut, Long, Bits8) \
    X(0x32, CommandDstAddress, "АдресПриемника", GetPut, Long, Bits8) \
    X(0x33, CommandID, "НомерКоманды", GetPut, Long, Full) \
    X(0x34, CommandResultCode, "КодОшибкиКоманды", GetPut, Long, Full) \
    X(0x35, CommandResultDescription, "ОписаниеОшибкиКоманды", Get, String, Full) \
    X(0x36, CommandRollbackFlag, "ОтменитьПредыдущуюКоманду", Get, Boolean, Full) \
    X(0x37, CommandSrcAddress, "АдресИсточника", GetPut, Long, Bits8) \
    X(0x38, CommandType, "ТипКоманды", GetPut, Long, Bits8) \
    X(0x39, DataBlock, "БлокДанных", GetPut, String, Full) \
    X(0x3A, DataBlockCount, "КоличествоБлоковДанных", GetPut, Long, Full) \
    X(0x3B, DataBlockHex, "БлокДанныхHex", GetPut, String, Full) \
    X(0x3C, DataBlockNumber, "НомерБлокаДанных", GetPut, Long, Full) \
    X(0x3D, DeviceEnabled, "ПортОткрыт", GetPut, Boolean, Full) \
    X(0x3E, DeviceNumber, "КодУстройстваККМ", GetPut, Long, Full) \
    X(0x3F, DocumentNumber, "НомерДокумента", GetPut, Long, Full) \
    X(0x40, DscSign, "ЗнакСкидки", GetPut, Long, Bits8) \
    X(0x41, DstAddress, "АдресККМ", GetPut, Long, Bits8) \
    X(0x42, ECRAdvancedMode, "ПодрежимККМ", GetPut, Long, Full) \
    X(0x43, ECRAdvancedModeDescription, "ОписаниеПодрежимаККМ", Get, String, Full) \
    X(0x44, ECRBaudRate, "СкоростьККМ", GetPut, Long, Bits8) \
    X(0x45, ECRDate, "ДатаККМ", GetPut, Date, Full) \
    X(0x46, ECRDateStr, "ДатаККМСтрока", GetPut, String, Full) \
    X(0x47, ECRDay, "ДеньККМ", GetPut, Long, Bits8) \
    X(0x48, ECRDeviceName, "НазваниеУстройстваККМ", Get, String, Full) \
    X(0x49, ECRFlags, "ФлагиККМ", GetPut, Long, Bits16) \
    X(0x4A, ECRHour, "ЧасККМ", GetPut, Long, Bits8) \
    X(0x4B, ECRMin, "МинутаККМ", GetPut, Long, Bits8) \
    X(0x4C, ECRMode, "РежимККМ", GetPut, Long, Bits8) \
    X(0x4D, ECRModeDescription, "ОписаниеРежимаККМ", Get, String, Full) \
    X(0x4E, ECRMonth, "МесяцККМ", GetPut, Long, Bits8) \
    X(0x4F, ECRPortNumber, "НомерПортаККМ", GetPut, Long, Bits8) \
    X(0x50, ECRSec, "СекундаККМ", GetPut, Long, Bits8) \
    X(0x51, ECRSoftBuild, "СборкаПОККМ", GetPut, Long, Bits16) \
    X(0x52, ECRSoftDate, "ДатаПОККМ", GetPut, Date, Full) \
    X(0x53, ECRSoftDateStr, "ДатаПОККМСтрока", GetPut, String, Full) \
    X(0x54, ECRSoftDay, "ДеньПОККМ", GetPut, Long, Bits8) \
    X(0x55, ECRSoftMonth, "МесяцПОККМ", GetPut, Long, Bits8) \
    X(0x56, ECRSoftVersion, "ВерсияПОККМ", GetPut, String, Full) \
    X(0x57, ECRSoftYear, "ГодПОККМ", GetPut, Long, Bits8) \
    X(0x58, ECRTime, "ВремяККМ", GetPut, Date, Full) \
    X(0x59, ECRTimeout, "ТаймаутККМ", GetPut, Long, Bits8) \
    X(0x5A, ECRTimeStr, "ВремяККМСтрока", GetPut, String, Full) \
    X(0x5B, ECRYear, "ГодККМ", GetPut, Long, Bits8) \
    X(0x5C, EKLZNumber, "НомерЭКЛЗ", GetPut, String, Full) \
    X(0x5D, EKLZNumberValid, "НомерЭКЛЗВведен", GetPut, Boolean, Full) \
    X(0x5E, FieldCount, "КоличествоПолей", GetPut, Long, Full) \
    X(0x5F, FieldMaxValue, "МаксимальноеЗначениеПоля", GetPut, Long, Full) \
    X(0x60, FieldMinValue, "МинимальноеЗначениеПоля", GetPut, Long, Full) \
    X(0x61, FieldName, "НазваниеПоля", GetPut, String, Full) \
    X(0x62, FieldNumber, "НомерПоля", GetPut, Long, Full) \
    X(0x63, FieldSize, "РазмерПоля", GetPut, Long, Full) \
    X(0x64, FieldType, "ТипПоля", GetPut, Long, Full) \
    X(0x65, FieldValue, "ЗначениеПоля", GetPut, String, Full) \
    X(0x66, FlagName, "НазваниеФлагаККМ", GetPut, String, Full) \
    X(0x67, FlagNumber, "НомерФлагаККМ", GetPut, Long, Full) \
    X(0x68, FMSoftBuild, "СборкаПОФП", GetPut, Long, Bits16) \
    X(0x69, FMSoftVersion, "ВерсияПОФП", GetPut, String, Full) \
    X(0x6A, FreeActivization, "ОсталосьАктивизацийЭКЛЗ", GetPut, Long, Full) \
    X(0x6B, FreeRecordInFM, "СвободныхЗаписейВФП", GetPut, Long, Bits16) \
    X(0x6C, FreeRegistration, "ОсталосьПеререгистраций", GetPut, Long, Full) \
    X(0x6D, Fuel, "Бензиновая", GetPut, Boolean, Full) \
    X(0x6E, INN, "ИНН", GetPut, String, Full) \
    X(0x6F, INNValid, "ИННВведен", GetPut, Boolean, Full) \
    X(0x70, IsClient1C, "Клиент1С", Get, Boolean, Full) \
    X(0x71, IsShowProperties, "СтраницаСвойствОткрыта", Get, Boolean, Full) \
    X(0x72, LDCount, "КоличествоЛУ", Get, Long, Full) \
    X(0x73, LDIndex, "ИндексЛУ", GetPut, Long, Full) \
    X(0x74, LDName, "ИмяЛУ", GetPut, String, Full) \
    X(0x75, LDNumber, "НомерЛУ", GetPut, Long, Full) \
    X(0x76, LockDevices, "БлокироватьЛУ", GetPut, Boolean, Full) \
    X(0x77, LogEnabled, "ЛогВключен", GetPut, Boolean, Full) \
    X(0x78, LogFileName, "ФайлЛога", GetPut, String, Full) \
    X(0x79, OperationNumber, "НомерОперации", GetPut, Long, Full) \
    X(0x7A, OperationRegister, "ОперационныйРегистр", GetPut, Long, Full) \
    X(0x7B, OperatorNumber, "НомерОператора", GetPut, Long, Bits8) \
    X(0x7C, ParentWnd, "ОкноПриложения", GetPut, Long, Full) \
    X(0x7D, PayType, "ТипОплаты", GetPut, Long, Bits8) \
    X(0x7E, PositionOfPoint, "ПоложениеТочки", GetPut, Long, Full) \
    X(0x7F, PortNumber, "НомерПорта", GetPut, Long, Full) \
    X(0x80, Price, "Цена", GetPut, Currency, Full) \
    X(0x81, Quantity, "Количество", GetPut, Double, Full) \
    X(0x82, RawData, "Данные", GetPut, String, Full) \
    X(0x83, RawDataHex, "ДанныеHex", GetPut, String, Full) \
    X(0x84, ReceiptNumber, "НомерЧека", GetPut, Long, Bits16) \
    X(0x85, RecSumm, "СуммаЧека", GetPut, Currency, Full) \
    X(0x86, RegisterNumber, "НомерРегистра", GetPut, Long, Full) \
    X(0x87, RegistrationNumber, "КоличествоПеререгистраций", GetPut, Long, Full) \
    X(0x88, RegSign, "ЗнакЧека", GetPut, Long, Bits8) \
    X(0x89, RegType, "ТипЧека", GetPut, Long, Bits8) \
    X(0x8A, RepCount, "КоличествоПовторов", GetPut, Long, Full) \
    X(0x8B, RestRegister, "РегистрОстатков", GetPut, Long, Full) \
    X(0x8C, ResultCode, "Результат", Get, Long, Full) \
    X(0x8D, ResultDescription, "ОписаниеРезультата", Get, String, Full) \
    X(0x8E, RowCount, "КоличествоРядов", GetPut, Long, Full) \
    X(0x8F, RowNumber, "НомерРяда", GetPut, Long, Full) \
    X(0x90, Section, "Секция", GetPut, Long, Bits8) \
    X(0x91, SerialNumber, "ЗаводскойНомер", GetPut, String, Full) \
    X(0x92, SerialNumberValid, "ЗаводскойНомерВведен", GetPut, Boolean, Full) \
    X(0x93, SessionNumber, "НомерСмены", GetPut, Long, Full) \
    X(0x94, SrcAddress, "АдресПК", GetPut, Long, Bits8) \
    X(0x95, Summ, "Сумма", GetPut, Currency, Full) \
    X(0x96, TableName, "НазваниеТаблицы", GetPut, String, Full) \
    X(0x97, TableNumber, "НомерТаблицы", GetPut, Long, Full) \
    X(0x98, Tax1, "Налог1", GetPut, Long, Bits8) \
    X(0x99, Tax2, "Налог2", GetPut, Long, Bits8) \
    X(0x9A, Tax3, "Налог3", GetPut, Long, Bits8) \
    X(0x9B, Tax4, "Налог4", GetPut, Long, Bits8) \
    X(0x9C, TaxSumm1, "СуммаНалога1", GetPut, Currency, Full) \
    X(0x9D, TaxSumm2, "СуммаНалога2", GetPut, Currency, Full) \
    X(0x9E, TaxSumm3, "СуммаНалога3", GetPut, Currency, Full) \
    X(0x9F, TaxSumm4, "СуммаНалога4", GetPut, Currency, Full) \
    X(0xA0, Text, "Текст", GetPut, String, Full) \
    X(0xA1, Timeout, "Таймаут", GetPut, Long, Full) \
    X(0xA2, UCodePage, "КодоваяСтраница", GetPut, Long, Full) \
    X(0xA3, UDescription, "ОписаниеУстройства", GetPut, String, Full) \
    X(0xA4, UMajorProtocolVersion, "ВерсияПротокола", GetPut, Long, Full) \
    X(0xA5, UMajorType, "ТипУстройства", GetPut, Long, Full) \
    X(0xA6, UMinorProtocolVersion, "ПодверсияПротокола", GetPut, Long, Full) \
    X(0xA7, UMinorType, "ПодтипУстройства", GetPut, Long, Full) \
    X(0xA8, UModel, "МодельУстройства", GetPut, Long, Full) \
    X(0xA9, Version, "Версия", Get, String, Full) \
    X(0xAA, WaitAnswer, "ЖдатьОтвет", GetPut, Boolean, Full)

#define TESSEL_MEMBERS_ITesselDriver2(X) \
    X(0xAB, LineNumber, "НомерЛинии", GetPut, Long, Full) \
    X(0xAC, LineData, "ДанныеЛинии", GetPut, String, Full) \
    X(0xAD, LineDataHex, "ДанныеЛинииHex", GetPut, String, Full) \
    X(0xAE, SendCadr, "ПередатьКадр", Method, Long, Full) \
    X(0xAF, PostCadr, "ЗаписатьКадр", Method, Long, Full)

#define TESSEL_MEMBERS_ITesselDriver3(X) \
    X(0xB0, CommandExecuteFlag, "ФлагВыполненияКоманды", Get, Boolean, Full)

// clang-format on
