#include "tools/testerlib/untEcrCmd.h"

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

#include "driver/automation/TesselDrv_TLB.h"

namespace tessel::cmd {

namespace {

// One parameter as the list names it: the property, its caption, its type where the property's own type does
// not say it (a time, hex text, a long shown as a quantity), and its default; a null default is "0", or now
// for a date or a time.
constexpr int kPropertyType = -1;
struct TParamRow {
    const char* Name;
    const char* Caption;
    int Type = kPropertyType;
    const char* Default = nullptr;
};

// The parameter type that a property's type in the member lists gives. A name that is no property of the
// driver is a fault of the list.
int TypeOfProperty(std::string_view name) {
    for (const TTesselMember& m : TesselMembers) {
        if (m.kind == TMemberKind::Method || m.name != name) continue;
        switch (m.type) {
            case TMemberType::String:
                return ptString;
            case TMemberType::Currency:
                return ptMoney;
            case TMemberType::Double:
                return ptQuantity;
            case TMemberType::Date:
                return ptDate;
            default:
                return ptInteger;
        }
    }
    throw std::logic_error("the command list names no property " + std::string(name));
}
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
        p.Type = TypeOfProperty(row.Name);  // checks the name, whatever type the row gives
        if (row.Type != kPropertyType) p.Type = row.Type;
        if (row.Default != nullptr)
            p.Default = row.Default;
        else if (p.Type == ptDate || p.Type == ptTime)
            p.Default = NowText(p.Type, forms_);
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
    const TParamRow registerNumber{"RegisterNumber", "Номер регистра"};
    const TParamRow tableNumber{"TableNumber", "Номер таблицы"};
    const TParamRow rowNumber{"RowNumber", "Номер ряда"};
    const TParamRow fieldNumber{"FieldNumber", "Номер поля"};
    const TParamRow fieldType{"FieldType", "Тип поля"};
    const TParamRow fieldValue{"FieldValue", "Значение поля"};
    const TParamRow regType{"RegType", "Тип"};
    const TParamRow regSign{"RegSign", "Вид"};
    const TParamRow dscSign{"DscSign", "Знак скидки"};
    const TParamRow quantity{"Quantity", "Количество"};
    const TParamRow operatorNumber{"OperatorNumber", "Номер оператора"};
    // The register names its operator as text in the goods requests.
    const TParamRow operatorText{"OperatorNumber", "Номер оператора", ptString};
    const TParamRow recSumm{"RecSumm", "Сумма чека"};
    const TParamRow goodsText{"Text", "Наименование"};
    const TParamRow price{"Price", "Цена"};
    const TParamRow section{"Section", "Отдел", ptInteger, "1"};
    const TParamRow discountText{"Text", "Описание скидки"};
    const TParamRow discountSumm{"Summ", "Сумма скидки"};
    const TParamRow ecrPortNumber{"ECRPortNumber", "Номер порта"};
    const TParamRow ecrBaudRate{"ECRBaudRate", "Скорость обмена", ptInteger, "3"};
    const TParamRow date{"ECRDate", "Дата"};
    const TParamRow time{"ECRTime", "Время", ptTime};
    const TParamRow documentNumber{"DocumentNumber", "Номер документа"};
    const TRows cashOperation{{"Summ", "Сумма"},
                              date,
                              time,
                              {"OperatorNumber", "Оператор"},
                              documentNumber,
                              {"OperationNumber", "Номер подкрепления"}};
    const TRows receipt{operatorNumber, {"RegType", "Тип чека"}, date,
                        time,           documentNumber,          {"ReceiptNumber", "Номер чека"}};

    b.Add(0x01, "Запрос дампа",
          {{"DeviceNumber", "Код устройства"}, {"DataBlockNumber", "Номер блока данных"}},
          {{"DataBlockCount", "Количество блоков"}, {"DataBlock", "Данные блока", ptHex}});
    b.Add(0x10, "Запрос флагов", {{"FlagNumber", "Номер бита"}},
          {{"FlagName", "Название бита", ptString, "Бит 0"}});
    b.Add(0x11, "Запрос состояния ККМ", {},
          {{"OperatorNumber", "Номер оператора"},
           {"ECRSoftVersion", "Версия ПО ККМ", ptString, "1.0"},
           {"ECRSoftBuild", "Сборка ПО ККМ", ptInteger, "1234"},
           {"ECRSoftDate", "Дата ПО ККМ"},
           {"DocumentNumber", "Номер документа"},
           {"ECRFlags", "Флаги ККМ"},
           {"ECRMode", "Режим ККМ"},
           {"ECRAdvancedMode", "Подрежим ККМ"},
           {"ECRPortNumber", "Порт ККМ"},
           {"ECRDate", "Дата ККМ"},
           {"ECRTime", "Время ККМ", ptTime}});
    b.Add(0x12, "Запрос состояния ФП", {},
          {{"FMSoftVersion", "Версия ПО ФП", ptString, "1.0"},
           {"FMSoftBuild", "Сборка ПО ФП"},
           {"SerialNumber", "Заводской номер"},
           {"SessionNumber", "Номер смены"},
           {"FreeRecordInFM", "Свободно записей в ФП"},
           {"RegistrationNumber", "Количество перерегистраций"},
           {"FreeRegistration", "Осталось перерегистраций"},
           {"INN", "ИНН"},
           {"ActivizationNumber", "Количество активизаций"},
           {"FreeActivization", "Осталось активизаций"},
           {"EKLZNumber", "Номер ЭКЛЗ"}});
    b.Add(0x13, "Гудок");
    b.Add(0x14, "Установка параметров",
          {ecrPortNumber, ecrBaudRate, {"ECRTimeout", "Таймаут", ptInteger, "100"}});
    b.Add(0x15, "Чтение параметров", {ecrPortNumber}, {ecrBaudRate, {"ECRTimeout", "Таймаут"}});
    b.Add(0x1A, "Запрос денежного регистра", {registerNumber}, {{"CashRegister", "Значение регистра"}});
    b.Add(0x1B, "Запрос операционного регистра", {registerNumber},
          {{"OperationRegister", "Значение регистра"}});
    b.Add(0x1C, "Запрос регистра остатков", {registerNumber},
          {{"RestRegister", "Значение регистра", ptQuantity}});
    // The value to write is listed among the outputs; every parameter is written before a command goes.
    b.Add(0x1D, "Запись регистра остатков", {registerNumber},
          {{"RestRegister", "Значение регистра", ptQuantity}});
    b.Add(0x1E, "Запись таблицы", {tableNumber, rowNumber, fieldNumber, fieldType, fieldValue});
    b.Add(0x1F, "Чтение таблицы", {tableNumber, rowNumber, fieldNumber}, {fieldType, fieldValue});
    b.Add(0x20, "Запись положения точки", {{"PositionOfPoint", "Положение точки"}});
    b.Add(0x21, "Установка времени", {{"ECRHour", "Час"}, {"ECRMin", "Минута"}, {"ECRSec", "Секунда"}});
    b.Add(0x22, "Установка даты", {{"ECRDay", "День"}, {"ECRMonth", "Месяц"}, {"ECRYear", "Год"}});
    b.Add(0x24, "Инициализация таблиц");
    b.Add(0x2D, "Запрос структуры таблицы", {tableNumber},
          {{"TableName", "Название таблицы"},
           {"RowCount", "Количество рядов"},
           {"FieldCount", "Количество полей"}});
    b.Add(0x2E, "Запрос структуры поля", {tableNumber, fieldNumber},
          {{"FieldName", "Название поля"},
           fieldType,
           {"FieldSize", "Размер поля"},
           {"FieldMinValue", "Минимальное значение"},
           {"FieldMaxValue", "Максимальное значение"}});
    b.Add(0xC0, "Загрузка графики",
          {{"LineNumber", "Номер строки"}, {"LineData", "Данные строки", ptString, ""}}, {operatorNumber});
    b.Add(0xFC, "Получение типа устройства", {},
          {{"UMajorType", "Тип устройства"},
           {"UMinorType", "Подтип устройства"},
           {"UMajorProtocolVersion", "Версия протокола"},
           {"UMinorProtocolVersion", "Подверсия протокола"},
           {"UModel", "Модель устройства"},
           {"UCodePage", "Язык устройства"},
           {"UDescription", "Название устройства"}});
    b.Add(0xFA, "Поиск");
    b.Add(0x50, "*Подкрепление", cashOperation);
    b.Add(0x51, "*Инкассация", cashOperation);
    b.Add(0x52, "*Закрытие смены", cashOperation);
    b.Add(0x80, "*Регистрация по свободной цене",
          {regType, regSign, quantity, price, section, operatorNumber});
    b.Add(0x81, "*Регистрация по коду", {regType, regSign, quantity, {"Code", "Код"}, operatorText},
          {goodsText, price, section});
    b.Add(
        0x82, "*Регистрация по штрих-коду",
        {regType, regSign, quantity, {"Barcode", "Штрих-код"}, operatorText},
        {goodsText, price, section, {"BarcodeType", "Тип штрих-кода"}, {"BarcodeWeight", "Вес штрих-кода"}});
    b.Add(0x83, "*Свободная скидка", {regType, regSign, dscSign, {"Summ", "Сумма"}, operatorNumber});
    b.Add(0x84, "*Скидка по коду", {regType, regSign, dscSign, {"Code", "Код"}, recSumm, operatorNumber},
          {discountText, discountSumm});
    b.Add(0x85, "*Скидка по штрих-коду",
          {regType,
           regSign,
           dscSign,
           {"Barcode", "Штрих-код"},
           {"RecSumm", "Сумма чека", ptQuantity},
           operatorNumber},
          {discountText, discountSumm});
    b.Add(0x86, "*Скидка по запросу", {regType, regSign, dscSign, recSumm, operatorNumber},
          {discountText, discountSumm});
    b.Add(0x87, "*Свободная оплата чека",
          {{"PayType", "Тип оплаты"}, regType, regSign, {"Summ", "Сумма"}, operatorNumber});
    b.Add(0x88, "*Оплата чека по запросу", {regType, regSign, recSumm, operatorNumber},
          {{"PayType", "Тип оплаты"}, {"Summ", "Сумма"}});
    b.Add(0x90, "*Закрытие чека", receipt,
          {{"TaxSumm1", "Сумма налога 1"},
           {"TaxSumm2", "Сумма налога 2"},
           {"TaxSumm3", "Сумма налога 3"},
           {"TaxSumm4", "Сумма налога 4"}});
    b.Add(0x91, "*Аннулирование чека", receipt);
    b.Add(0x92, "*Подтверждение закрытия");
    return b.Take();
}

}  // namespace tessel::cmd
