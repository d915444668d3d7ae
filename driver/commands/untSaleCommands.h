#pragma once
// The register's own requests during a sale: registrations at a free price, by article code and by barcode
// (80h to 82h), discounts free, by code, by barcode and on request (83h to 86h), and payments free and on
// request (87h, 88h). The register sends the request; the computer answers.
//
// Every class serves both directions: the engine decodes requests and encodes answers, the register emulator
// and the command tester encode requests and decode answers. Request and answer fields live side by side.
//
// Common promises of these classes:
// - RequestLength / AnswerLength give 1 + the request block and 2 + the fixed part of the answer block.
// - Decoders read at most the block they are given; a field beyond a short block reads as 0 or ends early
//   (SetFrame refuses short blocks before decoding, so decoded objects keep their initial fields then).
// - SaveToDriver copies the request fields for a request object and the answer fields for an answer object
//   into the record; LoadFromDriver copies the same properties back.
// - Assign copies the base fields from any command, and the own fields only from an object of the same
//   class.
// - Encoders fail with EDriverError(E_INVALIDVALUE) for a sum or a quantity that its field cannot carry
//   (negative, or above the field's largest count: 10 995 116 277.75 for a five-byte sum) rather than send
//   another number.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/platform/Bytes.h"
#include "driver/engine/untTypes.h"
#include "driver/link/untCommand.h"

// moneyN of an unsigned field: fails with EDriverError(E_INVALIDVALUE) when the count of hundredths is
// negative or needs more than `width` bytes. `width` is 1..7.
Bytes EncodeMoneyField(Currency value, std::size_t width);
// qtyN of an unsigned field: the same refusals for the count of thousandths (and for a value that is not
// finite).
Bytes EncodeQuantityField(double value, std::size_t width);

// 80h, "*Регистрация по свободной цене": a sale at a price the register knows; the answer has no data.
class TCommand80h : public TCommand {
  public:
    int RequestLength() const override { return 1 + 14; }
    Bytes EncodeRequest() const override;
    void DecodeRequest(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t RegType = 0;
    std::uint8_t RegSign = 0;
    double Quantity = 0.0;
    Currency Price = 0;
    std::uint8_t Section = 0;
    std::uint8_t OperatorNumber = 0;
};

// 81h, "*Регистрация по коду": the register asks for the goods behind an article code.
class TCommand81h : public TCommand {
  public:
    int RequestLength() const override { return 1 + 13; }
    int AnswerLength() const override { return 2 + 50; }
    // The code goes out as the low five bytes of its text read as a decimal number (no number reads 0).
    Bytes EncodeRequest() const override;
    Bytes EncodeAnswer() const override;
    // The code reads as the decimal text of the five bytes taken as an unsigned number.
    void DecodeRequest(const Bytes& data) override;
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t RegType = 0;
    std::uint8_t RegSign = 0;
    double Quantity = 0.0;
    std::string ArticleCode;  // the property Code
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

// 82h, "*Регистрация по штрих-коду": the register asks for the goods behind a barcode.
class TCommand82h : public TCommand {
  public:
    // An answer without the weight is complete; the full one is this many bytes.
    static constexpr std::size_t kFullAnswer = 56;

    int RequestLength() const override { return 1 + 8; }
    int AnswerLength() const override { return 2 + 51; }
    // The barcode follows the eight bytes in Windows-1251, as long as it is (the frame's limit is the
    // caller's to check).
    Bytes EncodeRequest() const override;
    // Always the full answer, weight included.
    Bytes EncodeAnswer() const override;
    // The barcode is the tail without leading and trailing blanks and control characters.
    void DecodeRequest(const Bytes& data) override;
    // The weight is read only from a full answer; a shorter one gives 0.
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t RegType = 0;
    std::uint8_t RegSign = 0;
    double Quantity = 0.0;
    std::uint8_t OperatorNumber = 0;
    std::string Barcode;
    // Answer
    std::uint8_t BarcodeType = 0;
    std::string Text;
    Currency Price = 0;
    std::uint8_t Section = 0;
    std::uint8_t Tax1 = 0;
    std::uint8_t Tax2 = 0;
    std::uint8_t Tax3 = 0;
    std::uint8_t Tax4 = 0;
    double BarcodeWeight = 0.0;
};

// 83h, "*Свободная скидка": a discount of a sum the register knows; the answer has no data.
class TCommand83h : public TCommand {
  public:
    int RequestLength() const override { return 1 + 9; }
    Bytes EncodeRequest() const override;
    void DecodeRequest(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t RegType = 0;
    std::uint8_t DscSign = 0;
    std::uint8_t RegSign = 0;
    Currency Summ = 0;
    std::uint8_t OperatorNumber = 0;
};

// 84h, "*Скидка по коду": the register asks for the discount behind a discount code.
class TCommand84h : public TCommand {
  public:
    int RequestLength() const override { return 1 + 14; }
    int AnswerLength() const override { return 2 + 45; }
    // The code goes out as 81h's does.
    Bytes EncodeRequest() const override;
    Bytes EncodeAnswer() const override;
    void DecodeRequest(const Bytes& data) override;
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t RegType = 0;
    std::uint8_t DscSign = 0;
    std::uint8_t RegSign = 0;
    std::string DiscountCode;  // the property Code
    Currency RecSumm = 0;
    std::uint8_t OperatorNumber = 0;
    // Answer
    std::string Text;
    Currency Summ = 0;
};

// 85h, "*Скидка по штрих-коду": the register asks for the discount behind a barcode.
class TCommand85h : public TCommand {
  public:
    int RequestLength() const override { return 1 + 9; }
    int AnswerLength() const override { return 2 + 45; }
    // The barcode follows the nine bytes in Windows-1251, as long as it is.
    Bytes EncodeRequest() const override;
    Bytes EncodeAnswer() const override;
    // The barcode is the tail byte for byte, blanks and control characters kept.
    void DecodeRequest(const Bytes& data) override;
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t RegType = 0;
    std::uint8_t DscSign = 0;
    std::uint8_t RegSign = 0;
    Currency RecSumm = 0;
    std::uint8_t OperatorNumber = 0;
    std::string Barcode;
    // Answer
    std::string Text;
    Currency Summ = 0;
};

// 86h, "*Скидка по запросу": the register asks for the discount on the receipt.
class TCommand86h : public TCommand {
  public:
    int RequestLength() const override { return 1 + 9; }
    int AnswerLength() const override { return 2 + 45; }
    Bytes EncodeRequest() const override;
    Bytes EncodeAnswer() const override;
    void DecodeRequest(const Bytes& data) override;
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

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

// 87h, "*Свободная оплата чека": a payment the register took; the answer has no data.
class TCommand87h : public TCommand {
  public:
    int RequestLength() const override { return 1 + 9; }
    Bytes EncodeRequest() const override;
    void DecodeRequest(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t PayType = 0;
    std::uint8_t RegType = 0;
    std::uint8_t RegSign = 0;
    Currency Summ = 0;
    std::uint8_t OperatorNumber = 0;
};

// 88h, "*Оплата чека по запросу": the register asks how the receipt is to be paid.
class TCommand88h : public TCommand {
  public:
    int RequestLength() const override { return 1 + 8; }
    int AnswerLength() const override { return 2 + 6; }
    Bytes EncodeRequest() const override;
    Bytes EncodeAnswer() const override;
    void DecodeRequest(const Bytes& data) override;
    void DecodeAnswer(const Bytes& data) override;
    void SaveToDriver(TECRDrvData& data) const override;
    void LoadFromDriver(const TECRDrvData& data) override;
    void Assign(const TCommand& source) override;

    // Request
    std::uint8_t RegType = 0;
    std::uint8_t RegSign = 0;
    Currency RecSumm = 0;
    std::uint8_t OperatorNumber = 0;
    // Answer
    std::uint8_t PayType = 0;
    Currency Summ = 0;
};
