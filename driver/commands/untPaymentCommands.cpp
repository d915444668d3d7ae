#include "driver/commands/untPaymentCommands.h"

#include "driver/commands/CommonFields.h"

using namespace layout;

namespace {

constexpr std::uint8_t kTaxWidth = 5;
// The cash operations carry a wider sum than any receipt request.
constexpr std::uint8_t kCashWidth = 6;

// The request of 90h and 91h.
template <class Self>
constexpr auto ReceiptEndFields() {
    return Table(TESSEL_FIELD(Request, 0, u8, OperatorNumber), TESSEL_FIELD(Request, 1, u8, RegType),
                 ClockFields<Self>(Request, 2), TESSEL_FIELD(Request, 8, u16, DocumentNumber),
                 TESSEL_FIELD(Request, 10, u16, ReceiptNumber));
}

}  // namespace

std::span<const TField> TCommand90h::FieldTable() {
    static constexpr auto fields =
        Table(ReceiptEndFields<Self>(), TESSEL_FIELD(Answer, 0, money(kTaxWidth), TaxSumm1),
              TESSEL_FIELD(Answer, 5, money(kTaxWidth), TaxSumm2),
              TESSEL_FIELD(Answer, 10, money(kTaxWidth), TaxSumm3),
              TESSEL_FIELD(Answer, 15, money(kTaxWidth), TaxSumm4));
    return Checked<Self>(fields);
}

std::span<const TField> TCommand91h::FieldTable() {
    static constexpr auto fields = ReceiptEndFields<Self>();
    return Checked<Self>(fields);
}

std::span<const TField> TCommand5xh::FieldTable() {
    static constexpr auto fields =
        Table(TESSEL_FIELD(Request, 0, money(kCashWidth), Summ), ClockFields<Self>(Request, 6),
              TESSEL_FIELD(Request, 12, u8, OperatorNumber), TESSEL_FIELD(Request, 13, u16, DocumentNumber),
              TESSEL_FIELD(Request, 15, u16, OperationNumber));
    return Checked<Self>(fields);
}
