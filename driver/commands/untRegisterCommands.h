#pragma once
// Register, decimal point and clock commands: the money (1Ah), operation (1Bh) and rest (1Ch) registers,
// writing a rest register (1Dh), the position of the decimal point (20h), and the register's time (21h) and
// date (22h).
//
// Each class is described by its field table (FieldCommand.h), which serves both directions: the driver
// encodes requests and decodes answers, the register emulator decodes requests and encodes answers. Request
// and answer fields live side by side. Encoders do not fail.

#include <cstdint>
#include <span>

#include "driver/base/untTypes.h"
#include "driver/commands/FieldCommand.h"

// 1Ah, "Запрос денежного регистра": one money register, in hundredths on the line. Written from the value's
// hundredths, rounded as money is; a value beyond six bytes keeps its low six bytes.
class TCommand1Ah final : public TFieldCommand<TCommand1Ah> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::uint16_t RegisterNumber = 0;
    // Answer
    Currency CashRegister = 0;
};

// 1Bh, "Запрос операционного регистра": one operation counter.
class TCommand1Bh final : public TFieldCommand<TCommand1Bh> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::uint16_t RegisterNumber = 0;
    // Answer
    std::uint16_t OperationRegister = 0;
};

// 1Ch, "Запрос регистра остатков": one goods balance, signed.
class TCommand1Ch final : public TFieldCommand<TCommand1Ch> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::uint16_t RegisterNumber = 0;
    // Answer
    std::int32_t RestRegister = 0;
};

// 1Dh, "Запись регистра остатков": a new goods balance for one register; no answer data.
class TCommand1Dh final : public TFieldCommand<TCommand1Dh> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::uint16_t RegisterNumber = 0;
    std::int32_t RestRegister = 0;
};

// 20h, "Запись положения точки": the position of the decimal point; no answer data.
class TCommand20h final : public TFieldCommand<TCommand20h> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::uint8_t PositionOfPoint = 0;
};

// 21h, "Установка времени": hour, minute and second bytes as they are; no answer data.
class TCommand21h final : public TFieldCommand<TCommand21h> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::uint8_t ECRHour = 0;
    std::uint8_t ECRMin = 0;
    std::uint8_t ECRSec = 0;
};

// 22h, "Установка даты": day, month and year bytes as they are; no answer data.
class TCommand22h final : public TFieldCommand<TCommand22h> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::uint8_t ECRDay = 0;
    std::uint8_t ECRMonth = 0;
    std::uint8_t ECRYear = 0;
};
