#pragma once
// The register's own requests during a sale: registrations at a free price, by article code and by barcode
// (80h to 82h), discounts free, by code, by barcode and on request (83h to 86h), and payments free and on
// request (87h, 88h). The register sends the request; the computer answers.
//
// Each class is described by its field table (FieldCommand.h), which serves both directions: the engine
// decodes requests and encodes answers, the register emulator encodes requests and decodes answers. Request
// and answer fields live side by side. Encoders fail with EDriverError(E_INVALIDVALUE) for a sum or a
// quantity that its field cannot carry (negative, or above the field's largest count: 10 995 116 277.75 for a
// five-byte sum) rather than send another number.
//
// Article and discount codes go out as the low five bytes of their text read as a decimal number (a text that
// is no whole number sends 0), and read as the decimal text of the five bytes taken as an unsigned number.

#include <cstdint>
#include <span>
#include <string>

#include "driver/base/untTypes.h"
#include "driver/commands/FieldCommand.h"

// 80h, "*Регистрация по свободной цене": a sale at a price the register knows; the answer has no data.
class TCommand80h final : public TFieldCommand<TCommand80h> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::uint8_t RegType = 0;
    std::uint8_t RegSign = 0;
    double Quantity = 0.0;
    Currency Price = 0;
    std::uint8_t Section = 0;
    std::uint8_t OperatorNumber = 0;
};

// The fields of 81h and 82h: a registration the register asks the goods for.
class TGoodsCommand : public TFieldCommandBase {
  public:
    // Request
    std::uint8_t RegType = 0;
    std::uint8_t RegSign = 0;
    double Quantity = 0.0;
    std::uint8_t OperatorNumber = 0;
    // Answer
    std::string Text;
    Currency Price = 0;
    std::uint8_t Section = 0;
    std::uint8_t Tax1 = 0;
    std::uint8_t Tax2 = 0;
    std::uint8_t Tax3 = 0;
    std::uint8_t Tax4 = 0;
};

// 81h, "*Регистрация по коду": the register asks for the goods behind an article code.
class TCommand81h final : public TFieldCommand<TCommand81h, TGoodsCommand> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::string ArticleCode;  // the property Code
};

// 82h, "*Регистрация по штрих-коду": the register asks for the goods behind a barcode. The barcode follows
// the eight bytes in Windows-1251, as long as it is (the frame's limit is the caller's to check), and reads
// without leading and trailing blanks and control characters. The answer always goes out whole, weight
// included; read, an answer without the weight (51 bytes) is complete and gives the weight 0.
class TCommand82h final : public TFieldCommand<TCommand82h, TGoodsCommand> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::string Barcode;
    // Answer
    std::uint8_t BarcodeType = 0;
    double BarcodeWeight = 0.0;
};

// 83h, "*Свободная скидка": a discount of a sum the register knows; the answer has no data.
class TCommand83h final : public TFieldCommand<TCommand83h> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::uint8_t RegType = 0;
    std::uint8_t DscSign = 0;
    std::uint8_t RegSign = 0;
    Currency Summ = 0;
    std::uint8_t OperatorNumber = 0;
};

// The fields of 84h to 86h: a discount the register asks the computer for.
class TDiscountCommand : public TFieldCommandBase {
  public:
    // Request
    std::uint8_t RegType = 0;
    std::uint8_t DscSign = 0;
    std::uint8_t RegSign = 0;
    Currency RecSumm = 0;
    std::uint8_t OperatorNumber = 0;
    // Answer
    std::string Text;
    Currency Summ = 0;
};

// 84h, "*Скидка по коду": the register asks for the discount behind a discount code.
class TCommand84h final : public TFieldCommand<TCommand84h, TDiscountCommand> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::string DiscountCode;  // the property Code
};

// 85h, "*Скидка по штрих-коду": the register asks for the discount behind a barcode. The barcode follows the
// nine bytes in Windows-1251, as long as it is, and reads byte for byte, blanks and control characters kept.
class TCommand85h final : public TFieldCommand<TCommand85h, TDiscountCommand> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::string Barcode;
};

// 86h, "*Скидка по запросу": the register asks for the discount on the receipt.
class TCommand86h final : public TFieldCommand<TCommand86h, TDiscountCommand> {
  public:
    static std::span<const TField> FieldTable();
};

// 87h, "*Свободная оплата чека": a payment the register took; the answer has no data.
class TCommand87h final : public TFieldCommand<TCommand87h> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::uint8_t PayType = 0;
    std::uint8_t RegType = 0;
    std::uint8_t RegSign = 0;
    Currency Summ = 0;
    std::uint8_t OperatorNumber = 0;
};

// 88h, "*Оплата чека по запросу": the register asks how the receipt is to be paid.
class TCommand88h final : public TFieldCommand<TCommand88h> {
  public:
    static std::span<const TField> FieldTable();

    // Request
    std::uint8_t RegType = 0;
    std::uint8_t RegSign = 0;
    Currency RecSumm = 0;
    std::uint8_t OperatorNumber = 0;
    // Answer
    std::uint8_t PayType = 0;
    Currency Summ = 0;
};
