#include "driver/commands/untSaleCommands.h"

#include <array>

using namespace layout;

namespace {

// Every sum and quantity of these requests is five bytes wide, and so are the article and discount codes.
constexpr std::uint8_t kWidth = 5;

// The first fields of 80h to 82h: receipt type, receipt sign and quantity.
template <class Self>
constexpr std::array<TField, 3> RegistrationFields() {
    return {TESSEL_FIELD(Request, 0, u8, RegType), TESSEL_FIELD(Request, 1, u8, RegSign),
            TESSEL_FIELD(Request, 2, qty(kWidth), Quantity)};
}

// The answer of 81h and 82h from `at`: the goods' name, price, section and taxes.
template <class Self>
constexpr std::array<TField, 7> GoodsFields(std::size_t at) {
    return {TESSEL_FIELD(Answer, at, name40, Text),     TESSEL_FIELD(Answer, at + 40, money(kWidth), Price),
            TESSEL_FIELD(Answer, at + 45, u8, Section), TESSEL_FIELD(Answer, at + 46, u8, Tax1),
            TESSEL_FIELD(Answer, at + 47, u8, Tax2),    TESSEL_FIELD(Answer, at + 48, u8, Tax3),
            TESSEL_FIELD(Answer, at + 49, u8, Tax4)};
}

// The first fields of 83h to 86h: receipt type, discount sign, receipt sign.
template <class Self>
constexpr std::array<TField, 3> DiscountFields() {
    return {TESSEL_FIELD(Request, 0, u8, RegType), TESSEL_FIELD(Request, 1, u8, DscSign),
            TESSEL_FIELD(Request, 2, u8, RegSign)};
}

// The receipt sum and the operator of 84h to 86h, from `at`.
template <class Self>
constexpr std::array<TField, 2> ReceiptSumFields(std::size_t at) {
    return {TESSEL_FIELD(Request, at, money(kWidth), RecSumm),
            TESSEL_FIELD(Request, at + 5, u8, OperatorNumber)};
}

// The answer of 84h to 86h: the discount's description and sum.
template <class Self>
constexpr std::array<TField, 2> DiscountAnswerFields() {
    return {TESSEL_FIELD(Answer, 0, name40, Text), TESSEL_FIELD(Answer, 40, money(kWidth), Summ)};
}

}  // namespace

std::span<const TField> TCommand80h::FieldTable() {
    static constexpr auto fields =
        Table(RegistrationFields<Self>(), TESSEL_FIELD(Request, 7, money(kWidth), Price),
              TESSEL_FIELD(Request, 12, u8, Section), TESSEL_FIELD(Request, 13, u8, OperatorNumber));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand81h::FieldTable() {
    static constexpr auto fields =
        Table(RegistrationFields<Self>(), TESSEL_FIELD_AS(Request, 7, code(kWidth), ArticleCode, Code),
              TESSEL_FIELD(Request, 12, u8, OperatorNumber), GoodsFields<Self>(0));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand82h::FieldTable() {
    static constexpr auto fields =
        Table(RegistrationFields<Self>(), TESSEL_FIELD(Request, 7, u8, OperatorNumber),
              TESSEL_FIELD(Request, 8, tail, Barcode), TESSEL_FIELD(Answer, 0, u8, BarcodeType),
              GoodsFields<Self>(1), TESSEL_FIELD(Answer, 51, optional(qty(kWidth)), BarcodeWeight));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand83h::FieldTable() {
    static constexpr auto fields =
        Table(DiscountFields<Self>(), TESSEL_FIELD(Request, 3, money(kWidth), Summ),
              TESSEL_FIELD(Request, 8, u8, OperatorNumber));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand84h::FieldTable() {
    static constexpr auto fields =
        Table(DiscountFields<Self>(), TESSEL_FIELD_AS(Request, 3, code(kWidth), DiscountCode, Code),
              ReceiptSumFields<Self>(8), DiscountAnswerFields<Self>());
    return Checked<Self>(fields);
}

std::span<const TField> TCommand85h::FieldTable() {
    static constexpr auto fields =
        Table(DiscountFields<Self>(), ReceiptSumFields<Self>(3), TESSEL_FIELD(Request, 9, rawTail, Barcode),
              DiscountAnswerFields<Self>());
    return Checked<Self>(fields);
}

std::span<const TField> TCommand86h::FieldTable() {
    static constexpr auto fields =
        Table(DiscountFields<Self>(), ReceiptSumFields<Self>(3), DiscountAnswerFields<Self>());
    return Checked<Self>(fields);
}

std::span<const TField> TCommand87h::FieldTable() {
    static constexpr auto fields =
        Table(TESSEL_FIELD(Request, 0, u8, PayType), TESSEL_FIELD(Request, 1, u8, RegType),
              TESSEL_FIELD(Request, 2, u8, RegSign), TESSEL_FIELD(Request, 3, money(kWidth), Summ),
              TESSEL_FIELD(Request, 8, u8, OperatorNumber));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand88h::FieldTable() {
    static constexpr auto fields =
        Table(TESSEL_FIELD(Request, 0, u8, RegType), TESSEL_FIELD(Request, 1, u8, RegSign),
              TESSEL_FIELD(Request, 2, money(kWidth), RecSumm), TESSEL_FIELD(Request, 7, u8, OperatorNumber),
              TESSEL_FIELD(Answer, 0, u8, PayType), TESSEL_FIELD(Answer, 1, money(kWidth), Summ));
    return Checked<Self>(fields);
}
