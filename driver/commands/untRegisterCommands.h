#pragma once
// Register, decimal point and clock commands: the money (1Ah), operation (1Bh) and rest (1Ch) registers,
// writing a rest register (1Dh), the position of the decimal point (20h), and the register's time (21h) and
// date (22h).
//
// Every class serves both directions: the driver encodes requests and decodes answers, the register emulator
// and the command tester decode requests and encode answers. Request and answer fields live side by side.
//
// Common promises of these classes:
// - RequestLength / AnswerLength give 1 + the request block and 2 + the answer block.
// - Decoders read at most the block they are given; a field beyond a short block reads as 0 (SetFrame refuses
//   short blocks before decoding, so decoded objects keep their initial fields then).
// - SaveToDriver copies the request fields for a request object and the answer fields for an answer object
//   into the record; LoadFromDriver copies the same properties back, keeping the low bits of a property
//   wider than its field (register number 65537 goes out as 1).
// - Assign copies the base fields from any command, and the own fields only from an object of the same
//   class.
// - Encoders do not fail.

#include <cstdint>

#include "common/platform/Bytes.h"
#include "driver/engine/untTypes.h"
#include "driver/link/untCommand.h"

// 1Ah, "Запрос денежного регистра": one money register, in hundredths on the line.
class TCommand1Ah : public TCommand {
  public:
    int RequestLength() const override { return 1 + 2; }
    int AnswerLength() const override { return 2 + 6; }
    Bytes EncodeRequest() const override;
    // The value's hundredths, rounded as money is; a value beyond six bytes keeps its low six bytes.
    Bytes EncodeAnswer() const override;
    void DecodeRequest(const Bytes& data) override;
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint16_t RegisterNumber = 0;
    // Answer
    Currency CashRegister = 0;
};

// 1Bh, "Запрос операционного регистра": one operation counter.
class TCommand1Bh : public TCommand {
  public:
    int RequestLength() const override { return 1 + 2; }
    int AnswerLength() const override { return 2 + 2; }
    Bytes EncodeRequest() const override;
    Bytes EncodeAnswer() const override;
    void DecodeRequest(const Bytes& data) override;
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint16_t RegisterNumber = 0;
    // Answer
    std::uint16_t OperationRegister = 0;
};

// 1Ch, "Запрос регистра остатков": one goods balance, signed.
class TCommand1Ch : public TCommand {
  public:
    int RequestLength() const override { return 1 + 2; }
    int AnswerLength() const override { return 2 + 4; }
    Bytes EncodeRequest() const override;
    Bytes EncodeAnswer() const override;
    void DecodeRequest(const Bytes& data) override;
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint16_t RegisterNumber = 0;
    // Answer
    std::int32_t RestRegister = 0;
};

// 1Dh, "Запись регистра остатков": a new goods balance for one register; no answer data.
class TCommand1Dh : public TCommand {
  public:
    int RequestLength() const override { return 1 + 6; }
    Bytes EncodeRequest() const override;
    void DecodeRequest(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint16_t RegisterNumber = 0;
    std::int32_t RestRegister = 0;
};

// 20h, "Запись положения точки": the position of the decimal point; no answer data.
class TCommand20h : public TCommand {
  public:
    int RequestLength() const override { return 1 + 1; }
    Bytes EncodeRequest() const override;
    void DecodeRequest(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t PositionOfPoint = 0;
};

// 21h, "Установка времени": hour, minute and second bytes as they are; no answer data.
class TCommand21h : public TCommand {
  public:
    int RequestLength() const override { return 1 + 3; }
    Bytes EncodeRequest() const override;
    void DecodeRequest(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t ECRHour = 0;
    std::uint8_t ECRMin = 0;
    std::uint8_t ECRSec = 0;
};

// 22h, "Установка даты": day, month and year bytes as they are; no answer data.
class TCommand22h : public TCommand {
  public:
    int RequestLength() const override { return 1 + 3; }
    Bytes EncodeRequest() const override;
    void DecodeRequest(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t ECRDay = 0;
    std::uint8_t ECRMonth = 0;
    std::uint8_t ECRYear = 0;
};
