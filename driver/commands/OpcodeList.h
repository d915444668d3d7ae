#pragma once
// The one list of the commands that have a class of their own: opcode, class, the ITesselDriver method that
// sends it, its name, and the fixed parts of its request and answer data blocks in bytes (without the opcode
// and the result byte; a variable tail is not counted). The factory, the engine's operations, the automation
// object's methods, the emulator's dispatch, its scripts and the command-line client are expanded from it.
//
// A class that is missing from the list, or whose rows do not give the lengths listed here, does not compile
// (see FieldCommand.h); an opcode listed twice stops the build of the factory, an operation listed twice the
// build of the engine.

#include <type_traits>

// Sent by the computer, one engine operation each.
// clang-format off
#define TESSEL_COMPUTER_COMMANDS(X) \
    X(0x01, TCommand01h, GetDump,          "Запрос дампа",                  3, 34) \
    X(0x10, TCommand10h, GetECRFlagName,   "Запрос флагов",                 1, 20) \
    X(0x11, TCommand11h, GetECRStatus,     "Запрос состояния ККМ",          0, 21) \
    X(0x12, TCommand12h, GetFMStatus,      "Запрос состояния ФП",           0, 28) \
    X(0x13, TCommand13h, Beep,             "Гудок",                         0, 0) \
    X(0x14, TCommand14h, SetExchangeParam, "Установка параметров",          3, 0) \
    X(0x15, TCommand15h, GetExchangeParam, "Чтение параметров",             1, 2) \
    X(0xFC, TCommandFCh, GetDeviceMetrics, "Получение типа устройства",     0, 6) \
    X(0x1A, TCommand1Ah, GetCashReg,       "Запрос денежного регистра",     2, 6) \
    X(0x1B, TCommand1Bh, GetOperationReg,  "Запрос операционного регистра", 2, 2) \
    X(0x1C, TCommand1Ch, GetRestReg,       "Запрос регистра остатков",      2, 4) \
    X(0x1D, TCommand1Dh, SetRestReg,       "Запись регистра остатков",      6, 0) \
    X(0x20, TCommand20h, SetPointPosition, "Запись положения точки",        1, 0) \
    X(0x21, TCommand21h, SetTime,          "Установка времени",             3, 0) \
    X(0x22, TCommand22h, SetDate,          "Установка даты",                3, 0) \
    X(0x1E, TCommand1Eh, WriteTable,       "Запись таблицы",                5, 0) \
    X(0x1F, TCommand1Fh, ReadTable,        "Чтение таблицы",                4, 1) \
    X(0x24, TCommand24h, InitTables,       "Инициализация таблиц",          0, 0) \
    X(0x2D, TCommand2Dh, GetTableStruct,   "Запрос структуры таблицы",      1, 43) \
    X(0x2E, TCommand2Eh, GetFieldStruct,   "Запрос структуры поля",         2, 50)

// Sent by the register during a sale and at the end of receipts and shifts; the computer answers. They have no
// operation of their own: clients answer them through SendCommand.
#define TESSEL_REGISTER_COMMANDS(X) \
    X(0x80, TCommand80h, , "*Регистрация по свободной цене", 14, 0) \
    X(0x81, TCommand81h, , "*Регистрация по коду",           13, 50) \
    X(0x82, TCommand82h, , "*Регистрация по штрих-коду",      8, 51) \
    X(0x83, TCommand83h, , "*Свободная скидка",               9, 0) \
    X(0x84, TCommand84h, , "*Скидка по коду",                14, 45) \
    X(0x85, TCommand85h, , "*Скидка по штрих-коду",           9, 45) \
    X(0x86, TCommand86h, , "*Скидка по запросу",              9, 45) \
    X(0x87, TCommand87h, , "*Свободная оплата чека",          9, 0) \
    X(0x88, TCommand88h, , "*Оплата чека по запросу",         8, 6) \
    X(0x90, TCommand90h, , "*Закрытие чека",                 12, 20) \
    X(0x91, TCommand91h, , "*Аннулирование чека",            12, 0) \
    X(0x50, TCommand5xh, , "*Подкрепление",                  17, 0) \
    X(0x51, TCommand5xh, , "*Инкассация",                    17, 0) \
    X(0x52, TCommand5xh, , "*Закрытие смены",                17, 0)
// clang-format on

#define TESSEL_COMMANDS(X) TESSEL_COMPUTER_COMMANDS(X) TESSEL_REGISTER_COMMANDS(X)

#define TESSEL_DECLARE_COMMAND_CLASS(opcode, Class, ...) class Class;
TESSEL_COMMANDS(TESSEL_DECLARE_COMMAND_CLASS)
#undef TESSEL_DECLARE_COMMAND_CLASS

// The lengths listed for class C; a class that is not listed stops the compilation of its field table.
struct TListedLengths {
    int request;
    int answer;
};

template <class C>
consteval TListedLengths ListedLengths() {
#define TESSEL_LISTED_LENGTHS(opcode, Class, operation, name, request, answer) \
    if constexpr (std::is_same_v<C, Class>)                                    \
        return {request, answer};                                              \
    else
    TESSEL_COMMANDS(TESSEL_LISTED_LENGTHS)
#undef TESSEL_LISTED_LENGTHS
    throw "a command class without an opcode in OpcodeList.h";
}
