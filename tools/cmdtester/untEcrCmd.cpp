#include "tools/cmdtester/untEcrCmd.h"

#include <initializer_list>

namespace tessel::cmd {

namespace {

// One parameter as the list names it; a null default is "0", or now for a date or a time.
struct TParamRow {
    const char* Name;
    const char* Caption;
    int Type;
    const char* Default = nullptr;
};
using TRows = std::initializer_list<TParamRow>;

class TListBuilder {
  public:
    explicit TListBuilder(const TCmdDateForms& forms) : forms_(forms) {}

    void Add(std::uint8_t code, const char* name, TRows in = {}, TRows out = {}) {
        TCommand command;
        command.Code = code;
        command.Name = name;
        for (const TParamRow& row : in) command.InParams.push_back(Param(row));
        for (const TParamRow& row : out) command.OutParams.push_back(Param(row));
        command.OutParams.push_back(Param({"CommandResultCode", "Код ошибки", ptInteger, "0"}));
        TCmdParam description = Param({"CommandResultDescription", "Описание ошибки", ptString, ""});
        description.ReadOnly = true;
        command.OutParams.push_back(std::move(description));
        command.ResetToDefaults();
        list_.Add(std::move(command));
    }

    TCommands Take() { return std::move(list_); }

  private:
    TCmdParam Param(const TParamRow& row) const {
        TCmdParam p;
        p.Name = row.Name;
        p.Caption = row.Caption;
        p.Type = row.Type;
        if (row.Default != nullptr)
            p.Default = row.Default;
        else if (row.Type == ptDate || row.Type == ptTime)
            p.Default = NowText(row.Type, forms_);
        else
            p.Default = "0";
        return p;
    }

    const TCmdDateForms& forms_;
    TCommands list_;
};

}  // namespace

TCommands CreateEcrCommands(const TCmdDateForms& forms) {
    TListBuilder b(forms);
    const TParamRow registerNumber{"RegisterNumber", "Номер регистра", ptInteger};
    const TParamRow tableNumber{"TableNumber", "Номер таблицы", ptInteger};
    const TParamRow rowNumber{"RowNumber", "Номер ряда", ptInteger};
    const TParamRow fieldNumber{"FieldNumber", "Номер поля", ptInteger};
    const TParamRow fieldType{"FieldType", "Тип поля", ptInteger};
    const TParamRow fieldValue{"FieldValue", "Значение поля", ptString};
    const TParamRow regType{"RegType", "Тип", ptInteger};
    const TParamRow regSign{"RegSign", "Вид", ptInteger};
    const TParamRow dscSign{"DscSign", "Знак скидки", ptInteger};
    const TParamRow quantity{"Quantity", "Количество", ptQuantity};
    const TParamRow operatorNumber{"OperatorNumber", "Номер оператора", ptInteger};
    // The register names its operator as text in the goods requests.
    const TParamRow operatorText{"OperatorNumber", "Номер оператора", ptString};
    const TParamRow recSumm{"RecSumm", "Сумма чека", ptMoney};
    const TParamRow goodsText{"Text", "Наименование", ptString};
    const TParamRow price{"Price", "Цена", ptMoney};
    const TParamRow section{"Section", "Отдел", ptInteger, "1"};
    const TParamRow discountText{"Text", "Описание скидки", ptString};
    const TParamRow discountSumm{"Summ", "Сумма скидки", ptMoney};
    const TParamRow ecrPortNumber{"ECRPortNumber", "Номер порта", ptInteger};
    const TParamRow ecrBaudRate{"ECRBaudRate", "Скорость обмена", ptInteger, "3"};
    const TParamRow date{"ECRDate", "Дата", ptDate};
    const TParamRow time{"ECRTime", "Время", ptTime};
    const TParamRow documentNumber{"DocumentNumber", "Номер документа", ptInteger};
    const TRows cashOperation{{"Summ", "Сумма", ptMoney},
                              date,
                              time,
                              {"OperatorNumber", "Оператор", ptInteger},
                              documentNumber,
                              {"OperationNumber", "Номер подкрепления", ptInteger}};
    const TRows receipt{operatorNumber, {"RegType", "Тип чека", ptInteger},        date, time,
                        documentNumber, {"ReceiptNumber", "Номер чека", ptInteger}};

    b.Add(
        0x01, "Запрос дампа",
        {{"DeviceNumber", "Код устройства", ptInteger}, {"DataBlockNumber", "Номер блока данных", ptInteger}},
        {{"DataBlockCount", "Количество блоков", ptInteger}, {"DataBlock", "Данные блока", ptHex}});
    b.Add(0x10, "Запрос флагов", {{"FlagNumber", "Номер бита", ptInteger}},
          {{"FlagName", "Название бита", ptString, "Бит 0"}});
    b.Add(0x11, "Запрос состояния ККМ", {},
          {{"OperatorNumber", "Номер оператора", ptInteger},
           {"ECRSoftVersion", "Версия ПО ККМ", ptString, "1.0"},
           {"ECRSoftBuild", "Сборка ПО ККМ", ptInteger, "1234"},
           {"ECRSoftDate", "Дата ПО ККМ", ptDate},
           {"DocumentNumber", "Номер документа", ptInteger},
           {"ECRFlags", "Флаги ККМ", ptInteger},
           {"ECRMode", "Режим ККМ", ptInteger},
           {"ECRAdvancedMode", "Подрежим ККМ", ptInteger},
           {"ECRPortNumber", "Порт ККМ", ptInteger},
           {"ECRDate", "Дата ККМ", ptDate},
           {"ECRTime", "Время ККМ", ptTime}});
    b.Add(0x12, "Запрос состояния ФП", {},
          {{"FMSoftVersion", "Версия ПО ФП", ptString, "1.0"},
           {"FMSoftBuild", "Сборка ПО ФП", ptInteger},
           {"SerialNumber", "Заводской номер", ptString},
           {"SessionNumber", "Номер смены", ptInteger},
           {"FreeRecordInFM", "Свободно записей в ФП", ptInteger},
           {"RegistrationNumber", "Количество перерегистраций", ptInteger},
           {"FreeRegistration", "Осталось перерегистраций", ptInteger},
           {"INN", "ИНН", ptString},
           {"ActivizationNumber", "Количество активизаций", ptInteger},
           {"FreeActivization", "Осталось активизаций", ptInteger},
           {"EKLZNumber", "Номер ЭКЛЗ", ptString}});
    b.Add(0x13, "Гудок");
    b.Add(0x14, "Установка параметров",
          {ecrPortNumber, ecrBaudRate, {"ECRTimeout", "Таймаут", ptInteger, "100"}});
    b.Add(0x15, "Чтение параметров", {ecrPortNumber}, {ecrBaudRate, {"ECRTimeout", "Таймаут", ptInteger}});
    b.Add(0x1A, "Запрос денежного регистра", {registerNumber},
          {{"CashRegister", "Значение регистра", ptMoney}});
    b.Add(0x1B, "Запрос операционного регистра", {registerNumber},
          {{"OperationRegister", "Значение регистра", ptInteger}});
    b.Add(0x1C, "Запрос регистра остатков", {registerNumber},
          {{"RestRegister", "Значение регистра", ptQuantity}});
    // The value to write is listed among the outputs; every parameter is written before a command goes.
    b.Add(0x1D, "Запись регистра остатков", {registerNumber},
          {{"RestRegister", "Значение регистра", ptQuantity}});
    b.Add(0x1E, "Запись таблицы", {tableNumber, rowNumber, fieldNumber, fieldType, fieldValue});
    b.Add(0x1F, "Чтение таблицы", {tableNumber, rowNumber, fieldNumber}, {fieldType, fieldValue});
    b.Add(0x20, "Запись положения точки", {{"PositionOfPoint", "Положение точки", ptInteger}});
    b.Add(0x21, "Установка времени",
          {{"ECRHour", "Час", ptInteger}, {"ECRMin", "Минута", ptInteger}, {"ECRSec", "Секунда", ptInteger}});
    b.Add(0x22, "Установка даты",
          {{"ECRDay", "День", ptInteger}, {"ECRMonth", "Месяц", ptInteger}, {"ECRYear", "Год", ptInteger}});
    b.Add(0x24, "Инициализация таблиц");
    b.Add(0x2D, "Запрос структуры таблицы", {tableNumber},
          {{"TableName", "Название таблицы", ptString},
           {"RowCount", "Количество рядов", ptInteger},
           {"FieldCount", "Количество полей", ptInteger}});
    b.Add(0x2E, "Запрос структуры поля", {tableNumber, fieldNumber},
          {{"FieldName", "Название поля", ptString},
           fieldType,
           {"FieldSize", "Размер поля", ptInteger},
           {"FieldMinValue", "Минимальное значение", ptInteger},
           {"FieldMaxValue", "Максимальное значение", ptInteger}});
    b.Add(0xC0, "Загрузка графики",
          {{"LineNumber", "Номер строки", ptInteger}, {"LineData", "Данные строки", ptString, ""}},
          {operatorNumber});
    b.Add(0xFC, "Получение типа устройства", {},
          {{"UMajorType", "Тип устройства", ptInteger},
           {"UMinorType", "Подтип устройства", ptInteger},
           {"UMajorProtocolVersion", "Версия протокола", ptInteger},
           {"UMinorProtocolVersion", "Подверсия протокола", ptInteger},
           {"UModel", "Модель устройства", ptInteger},
           {"UCodePage", "Язык устройства", ptInteger},
           {"UDescription", "Название устройства", ptString}});
    b.Add(0xFA, "Поиск");
    b.Add(0x50, "*Подкрепление", cashOperation);
    b.Add(0x51, "*Инкассация", cashOperation);
    b.Add(0x52, "*Закрытие смены", cashOperation);
    b.Add(0x80, "*Регистрация по свободной цене",
          {regType, regSign, quantity, price, section, operatorNumber});
    b.Add(0x81, "*Регистрация по коду", {regType, regSign, quantity, {"Code", "Код", ptString}, operatorText},
          {goodsText, price, section});
    b.Add(0x82, "*Регистрация по штрих-коду",
          {regType, regSign, quantity, {"Barcode", "Штрих-код", ptString}, operatorText},
          {goodsText,
           price,
           section,
           {"BarcodeType", "Тип штрих-кода", ptInteger},
           {"BarcodeWeight", "Вес штрих-кода", ptQuantity}});
    b.Add(0x83, "*Свободная скидка", {regType, regSign, dscSign, {"Summ", "Сумма", ptMoney}, operatorNumber});
    b.Add(0x84, "*Скидка по коду",
          {regType, regSign, dscSign, {"Code", "Код", ptString}, recSumm, operatorNumber},
          {discountText, discountSumm});
    b.Add(0x85, "*Скидка по штрих-коду",
          {regType,
           regSign,
           dscSign,
           {"Barcode", "Штрих-код", ptString},
           {"RecSumm", "Сумма чека", ptQuantity},
           operatorNumber},
          {discountText, discountSumm});
    b.Add(0x86, "*Скидка по запросу", {regType, regSign, dscSign, recSumm, operatorNumber},
          {discountText, discountSumm});
    b.Add(
        0x87, "*Свободная оплата чека",
        {{"PayType", "Тип оплаты", ptInteger}, regType, regSign, {"Summ", "Сумма", ptMoney}, operatorNumber});
    b.Add(0x88, "*Оплата чека по запросу", {regType, regSign, recSumm, operatorNumber},
          {{"PayType", "Тип оплаты", ptInteger}, {"Summ", "Сумма", ptMoney}});
    b.Add(0x90, "*Закрытие чека", receipt,
          {{"TaxSumm1", "Сумма налога 1", ptMoney},
           {"TaxSumm2", "Сумма налога 2", ptMoney},
           {"TaxSumm3", "Сумма налога 3", ptMoney},
           {"TaxSumm4", "Сумма налога 4", ptMoney}});
    b.Add(0x91, "*Аннулирование чека", receipt);
    b.Add(0x92, "*Подтверждение закрытия");
    return b.Take();
}

}  // namespace tessel::cmd
