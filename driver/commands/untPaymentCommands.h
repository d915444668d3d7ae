#pragma once
// The register's reports at the end of a receipt and of cash operations: receipt closed (90h, the computer
// answers with the tax sums), receipt cancelled (91h), and cash put in, cash taken out and session closed
// (50h, 51h, 52h, one class).
//
// The classes are described by field tables as the sale requests are (untSaleCommands.h), and their encoders
// fail with EDriverError(E_INVALIDVALUE) for a sum its field cannot carry. The clock bytes go to ECRDay ...
// ECRSec unchanged, so ECRDate and ECRTime read the moment of the operation.

#include <cstdint>
#include <span>

#include "driver/base/untTypes.h"
#include "driver/commands/CommonFields.h"

// The request shared by 90h and 91h: operator, receipt type, the register's clock, document and receipt
// numbers. Not a command of its own: the factory never creates it.
class TReceiptEndCommand : public TFieldCommandBase, public TClockBytes {
  public:
    // Request, with the clock bytes
    std::uint8_t OperatorNumber = 0;
    std::uint8_t RegType = 0;
    std::uint16_t DocumentNumber = 0;
    std::uint16_t ReceiptNumber = 0;
};

// 90h, "*Закрытие чека": the receipt is closed; the computer answers with the four tax sums.
class TCommand90h final : public TFieldCommand<TCommand90h, TReceiptEndCommand> {
  public:
    static std::span<const TField> FieldTable();

    // Answer
    Currency TaxSumm1 = 0;
    Currency TaxSumm2 = 0;
    Currency TaxSumm3 = 0;
    Currency TaxSumm4 = 0;
};

// 91h, "*Аннулирование чека": the receipt is cancelled; the answer has no data.
class TCommand91h final : public TFieldCommand<TCommand91h, TReceiptEndCommand> {
  public:
    static std::span<const TField> FieldTable();
};

// 50h "*Подкрепление", 51h "*Инкассация", 52h "*Закрытие смены": one layout, told apart by Code alone
// (set by the factory). The sum is six bytes wide; the answer has no data.
class TCommand5xh final : public TFieldCommand<TCommand5xh>, public TClockBytes {
  public:
    static std::span<const TField> FieldTable();

    // Request, with the clock bytes
    Currency Summ = 0;
    std::uint8_t OperatorNumber = 0;
    std::uint16_t DocumentNumber = 0;
    std::uint16_t OperationNumber = 0;
};
