#pragma once
// The register's reports at the end of a receipt and of cash operations: receipt closed (90h, the computer
// answers with the tax sums), receipt cancelled (91h), and cash put in, cash taken out and session closed
// (50h, 51h, 52h, one class).
//
// The classes keep the promises of the sale requests (untSaleCommands.h): both directions, lengths counted
// from the opcode, decoders that never read outside their block, SaveToDriver/LoadFromDriver split by
// request and answer, Assign of own fields only between objects of one class, and encoders that fail with
// EDriverError(E_INVALIDVALUE) for a sum its field cannot carry. Wider properties keep their low bits (a
// document number of 65536 goes out as 0).
//
// The clock bytes go to ECRDay ... ECRSec unchanged, so ECRDate and ECRTime read the moment of the
// operation.

#include <cstdint>

#include "common/platform/Bytes.h"
#include "driver/engine/untTypes.h"
#include "driver/link/untCommand.h"

// The request shared by 90h and 91h: operator, receipt type, the register's clock, document and receipt
// numbers. Not a command of its own: the factory never creates it.
class TReceiptEndCommand : public TCommand {
  public:
    int RequestLength() const override { return 1 + 12; }
    Bytes EncodeRequest() const override;
    void DecodeRequest(const Bytes& data) override;

    // Request
    std::uint8_t OperatorNumber = 0;
    std::uint8_t RegType = 0;
    std::uint8_t ECRDay = 0;
    std::uint8_t ECRMonth = 0;
    std::uint8_t ECRYear = 0;
    std::uint8_t ECRHour = 0;
    std::uint8_t ECRMin = 0;
    std::uint8_t ECRSec = 0;
    std::uint16_t DocumentNumber = 0;
    std::uint16_t ReceiptNumber = 0;

  protected:
    void SaveRequest(TECRDrvData& data) const;
    void LoadRequest(const TECRDrvData& data);
    void AssignRequest(const TReceiptEndCommand& source);
};

// 90h, "*Закрытие чека": the receipt is closed; the computer answers with the four tax sums.
class TCommand90h : public TReceiptEndCommand {
  public:
    int AnswerLength() const override { return 2 + 20; }
    Bytes EncodeAnswer() const override;
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Answer
    Currency TaxSumm1 = 0;
    Currency TaxSumm2 = 0;
    Currency TaxSumm3 = 0;
    Currency TaxSumm4 = 0;
};

// 91h, "*Аннулирование чека": the receipt is cancelled; the answer has no data.
class TCommand91h : public TReceiptEndCommand {
  public:
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;
};

// 50h "*Подкрепление", 51h "*Инкассация", 52h "*Закрытие смены": one layout, told apart by Code alone
// (set by the factory). The sum is six bytes wide; the answer has no data.
class TCommand5xh : public TCommand {
  public:
    int RequestLength() const override { return 1 + 17; }
    Bytes EncodeRequest() const override;
    void DecodeRequest(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    Currency Summ = 0;
    std::uint8_t ECRDay = 0;
    std::uint8_t ECRMonth = 0;
    std::uint8_t ECRYear = 0;
    std::uint8_t ECRHour = 0;
    std::uint8_t ECRMin = 0;
    std::uint8_t ECRSec = 0;
    std::uint8_t OperatorNumber = 0;
    std::uint16_t DocumentNumber = 0;
    std::uint16_t OperationNumber = 0;
};
