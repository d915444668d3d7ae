#include "tools/tessel/CommandTable.h"

namespace tessel::cli {

namespace {

using Names = std::span<const std::string_view>;

// Register requests (the computer answers them).
constexpr std::string_view k80Req[] = {"RegType", "RegSign", "Quantity",
                                       "Price",   "Section", "OperatorNumber"};
constexpr std::string_view k81Req[] = {"RegType", "RegSign", "Quantity", "Code", "OperatorNumber"};
constexpr std::string_view k81Ans[] = {"Text", "Price", "Section", "Tax1", "Tax2", "Tax3", "Tax4"};
constexpr std::string_view k82Req[] = {"RegType", "RegSign", "Quantity", "OperatorNumber", "Barcode"};
constexpr std::string_view k82Ans[] = {"BarcodeType", "Text", "Price", "Section",      "Tax1",
                                       "Tax2",        "Tax3", "Tax4",  "BarcodeWeight"};
constexpr std::string_view k83Req[] = {"RegType", "DscSign", "RegSign", "Summ", "OperatorNumber"};
constexpr std::string_view k84Req[] = {"RegType", "DscSign", "RegSign", "Code", "RecSumm", "OperatorNumber"};
constexpr std::string_view k85Req[] = {"RegType", "DscSign",        "RegSign",
                                       "RecSumm", "OperatorNumber", "Barcode"};
constexpr std::string_view k86Req[] = {"RegType", "DscSign", "RegSign", "RecSumm", "OperatorNumber"};
constexpr std::string_view kDiscountAns[] = {"Text", "Summ"};
constexpr std::string_view k87Req[] = {"PayType", "RegType", "RegSign", "Summ", "OperatorNumber"};
constexpr std::string_view k88Req[] = {"RegType", "RegSign", "RecSumm", "OperatorNumber"};
constexpr std::string_view k88Ans[] = {"PayType", "Summ"};
// The moment of the operation is shown as one date and one time rather than six numbers.
constexpr std::string_view kReceiptReq[] = {"OperatorNumber", "RegType",        "ECRDate",
                                            "ECRTime",        "DocumentNumber", "ReceiptNumber"};
constexpr std::string_view k90Ans[] = {"TaxSumm1", "TaxSumm2", "TaxSumm3", "TaxSumm4"};
constexpr std::string_view kCashReq[] = {"Summ",           "ECRDate",        "ECRTime",
                                         "OperatorNumber", "DocumentNumber", "OperationNumber"};

const CommandView kViews[] = {
    {0x01, "Запрос дампа", {}, {}},
    {0x10, "Запрос флагов", {}, {}},
    {0x11, "Запрос состояния ККМ", {}, {}},
    {0x12, "Запрос состояния ФП", {}, {}},
    {0x13, "Гудок", {}, {}},
    {0x14, "Установка параметров", {}, {}},
    {0x15, "Чтение параметров", {}, {}},
    {0xFC, "Получение типа устройства", {}, {}},
    {0x1A, "Запрос денежного регистра", {}, {}},
    {0x1B, "Запрос операционного регистра", {}, {}},
    {0x1C, "Запрос регистра остатков", {}, {}},
    {0x1D, "Запись регистра остатков", {}, {}},
    {0x20, "Запись положения точки", {}, {}},
    {0x21, "Установка времени", {}, {}},
    {0x22, "Установка даты", {}, {}},
    {0x1E, "Запись таблицы", {}, {}},
    {0x1F, "Чтение таблицы", {}, {}},
    {0x24, "Инициализация таблиц", {}, {}},
    {0x2D, "Запрос структуры таблицы", {}, {}},
    {0x2E, "Запрос структуры поля", {}, {}},
    {0x80, "*Регистрация по свободной цене", k80Req, {}},
    {0x81, "*Регистрация по коду", k81Req, k81Ans},
    {0x82, "*Регистрация по штрих-коду", k82Req, k82Ans},
    {0x83, "*Свободная скидка", k83Req, {}},
    {0x84, "*Скидка по коду", k84Req, kDiscountAns},
    {0x85, "*Скидка по штрих-коду", k85Req, kDiscountAns},
    {0x86, "*Скидка по запросу", k86Req, kDiscountAns},
    {0x87, "*Свободная оплата чека", k87Req, {}},
    {0x88, "*Оплата чека по запросу", k88Req, k88Ans},
    {0x90, "*Закрытие чека", kReceiptReq, k90Ans},
    {0x91, "*Аннулирование чека", kReceiptReq, {}},
    {0x50, "*Подкрепление", kCashReq, {}},
    {0x51, "*Инкассация", kCashReq, {}},
    {0x52, "*Закрытие смены", kCashReq, {}},
};

}  // namespace

CommandView ViewOf(std::uint8_t opcode) {
    for (const CommandView& view : kViews)
        if (view.opcode == opcode) return view;
    return CommandView{opcode, {}, {}, {}};
}

}  // namespace tessel::cli
