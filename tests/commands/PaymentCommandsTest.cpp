#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/base/ECRDrvData.h"
#include "driver/commands/CommandFactory.h"
#include "driver/commands/untPaymentCommands.h"
#include "driver/link/untCodecs.h"
#include "support/CommandLayouts.h"
#include "support/Frames.h"

namespace {

constexpr Currency kRub = kCurrencyScale;

void ReceiptEnd(TECRDrvData& d) {
    d.OperatorNumber = 30, d.RegType = 2, d.ECRDay = 31, d.ECRMonth = 12, d.ECRYear = 9;
    d.ECRHour = 23, d.ECRMin = 59, d.ECRSec = 58, d.DocumentNumber = 0xBEEF, d.ReceiptNumber = 0x0102;
}
const Bytes kReceiptEndBlock{30, 2, 31, 12, 9, 23, 59, 58, 0xEF, 0xBE, 0x02, 0x01};

void CashOperation(TECRDrvData& d) {
    d.Summ = 10000 * kRub, d.ECRDay = 1, d.ECRMonth = 2, d.ECRYear = 3, d.ECRHour = 4, d.ECRMin = 5;
    d.ECRSec = 6, d.OperatorNumber = 7, d.DocumentNumber = 0x1234, d.OperationNumber = 0xFFFF;
}
const Bytes kCashBlock{0x40, 0x42, 0x0F, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 0x34, 0x12, 0xFF, 0xFF};

// Every layout both ways: the properties (on top of the markers) and the data block they make.
const std::vector<LayoutCase>& Layouts() {
    // clang-format off
    static const std::vector<LayoutCase> cases = {
        {"close_request", 0x90, kRequest, 12, &ReceiptEnd, kReceiptEndBlock},
        {"close_answer", 0x90, kAnswer, 20,
         [](TECRDrvData& d) { d.TaxSumm1 = 15 * kRub / 10, d.TaxSumm2 = d.TaxSumm3 = d.TaxSumm4 = 0; },
         {0x96, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"close_answer_all_sums", 0x90, kAnswer, 20,
         [](TECRDrvData& d) {
             d.TaxSumm1 = kRub / 100, d.TaxSumm2 = 256 * kRub / 100, d.TaxSumm3 = 65536 * kRub / 100;
             d.TaxSumm4 = 10995116277 * kRub + 7500;
         },
         {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"cancel_request", 0x91, kRequest, 12, &ReceiptEnd, kReceiptEndBlock},
        {"cancel_answer", 0x91, kAnswer, 0, &NoFields, {}},
        {"cash_in_request", 0x50, kRequest, 17, &CashOperation, kCashBlock},
        {"cash_out_request", 0x51, kRequest, 17, &CashOperation, kCashBlock},
        {"session_close_request", 0x52, kRequest, 17, &CashOperation, kCashBlock},
        {"cash_in_request_largest_sum", 0x50, kRequest, 17,
         [](TECRDrvData& d) {
             CashOperation(d);
             d.Summ = 2814749767106 * kRub + 5500;  // six bytes of FFh
         },
         {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 5, 6, 7, 0x34, 0x12, 0xFF, 0xFF}},
        {"cash_in_answer", 0x50, kAnswer, 0, &NoFields, {}},
        {"cash_out_answer", 0x51, kAnswer, 0, &NoFields, {}},
        {"session_close_answer", 0x52, kAnswer, 0, &NoFields, {}},
    };
    // clang-format on
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Payment, CommandLayout, ::testing::ValuesIn(Layouts()), LayoutName<LayoutCase>);

// A sum its field cannot carry.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Payment, CommandRefusal, ::testing::Values(
    RefusalCase{"tax1_above", 0x90, kAnswer, [](TECRDrvData& d) { d.TaxSumm1 = 10995116277 * kRub + 7600; }},
    RefusalCase{"tax4_negative", 0x90, kAnswer, [](TECRDrvData& d) { d.TaxSumm4 = -kRub / 100; }},
    RefusalCase{"cash_above", 0x50, kRequest, [](TECRDrvData& d) { d.Summ = 2814749767106 * kRub + 5600; }},
    RefusalCase{"cash_negative", 0x52, kRequest, [](TECRDrvData& d) { d.Summ = -kRub; }}),
    LayoutName<RefusalCase>);
// clang-format on

// The clock bytes of the operation are readable as a date and a time.
TEST(PaymentCommands, OperationMomentReadsAsDateAndTime) {
    for (const std::uint8_t code : {0x90, 0x91, 0x51}) {
        auto command = CreateCommand(code);
        const Bytes block = code == 0x51 ? kCashBlock : kReceiptEndBlock;
        ASSERT_EQ(command->SetFrame(ReceivedFrame(code, false, block), true), "");
        TECRDrvData d;
        command->SaveToDriver(d);
        EXPECT_EQ(d.GetECRDateStr(), code == 0x51 ? "01.02.2003" : "31.12.2009");
        EXPECT_EQ(d.GetECRTimeStr(), code == 0x51 ? "04:05:06" : "23:59:58");
    }
}

// Numbers wider than their field keep their low bits.
TEST(PaymentCommands, WideNumbersKeepLowBits) {
    TECRDrvData d;
    d.DocumentNumber = 0x10002, d.OperationNumber = 0x20003;
    auto cash = CreateCommand(0x50);
    cash->LoadFromDriver(d);
    const Bytes block = cash->EncodeRequest();
    EXPECT_EQ(BytesToHex(Bytes(block.begin() + 13, block.end())), BytesToHex({2, 0, 3, 0}));
}

}  // namespace
