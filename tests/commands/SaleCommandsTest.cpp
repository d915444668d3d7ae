#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/base/ECRDrvData.h"
#include "driver/commands/CommandFactory.h"
#include "driver/commands/untSaleCommands.h"
#include "driver/link/untCodecs.h"
#include "support/CommandLayouts.h"
#include "support/Frames.h"

namespace {

constexpr Currency kRub = kCurrencyScale;

// Every layout both ways: the properties (on top of the markers) and the data block they make.
const std::vector<LayoutCase>& Layouts() {
    // clang-format off
    static const std::vector<LayoutCase> cases = {
        {"free_price_request", 0x80, kRequest, 14,
         [](TECRDrvData& d) {
             d.RegType = 1, d.RegSign = 0, d.Quantity = 1, d.Price = 100 * kRub, d.Section = 3;
             d.OperatorNumber = 29;
         },
         {1, 0, 0xE8, 0x03, 0, 0, 0, 0x10, 0x27, 0, 0, 0, 3, 29}},
        {"free_price_request_wide", 0x80, kRequest, 14,
         [](TECRDrvData& d) {
             d.RegType = 2, d.RegSign = 1, d.Quantity = 1099511627.775, d.Price = 10995116277 * kRub + 7500;
             d.Section = 16, d.OperatorNumber = 30;
         },
         {2, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 16, 30}},
        {"free_price_answer", 0x80, kAnswer, 0, &NoFields, {}},
        {"by_code_request", 0x81, kRequest, 13,
         [](TECRDrvData& d) {
             d.RegType = 1, d.RegSign = 1, d.Quantity = 2.5, d.Code = "12345", d.OperatorNumber = 7;
         },
         {1, 1, 0xC4, 0x09, 0, 0, 0, 0x39, 0x30, 0, 0, 0, 7}},
        {"by_code_request_largest_code", 0x81, kRequest, 13,
         [](TECRDrvData& d) {
             d.RegType = 0, d.RegSign = 0, d.Quantity = 0, d.Code = "1099511627775", d.OperatorNumber = 0;
         },
         {0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0}},
        {"by_code_answer", 0x81, kAnswer, 50,
         [](TECRDrvData& d) {
             d.Text = "Молоко", d.Price = 4550 * kRub / 100, d.Section = 2;
             d.Tax1 = 1, d.Tax2 = 0, d.Tax3 = 3, d.Tax4 = 4;
         },
         Cat({Name40({0xCC, 0xEE, 0xEB, 0xEE, 0xEA, 0xEE}), {0xC6, 0x11, 0, 0, 0}, {2, 1, 0, 3, 4}})},
        {"by_barcode_request", 0x82, kRequest, 8,
         [](TECRDrvData& d) {
             d.RegType = 1, d.RegSign = 0, d.Quantity = 0.001, d.OperatorNumber = 5;
             d.Barcode = "4600000000017";
         },
         Cat({{1, 0, 1, 0, 0, 0, 0, 5}, {'4', '6', '0', '0', '0', '0', '0', '0', '0', '0', '0', '1', '7'}})},
        {"by_barcode_request_without_barcode", 0x82, kRequest, 8,
         [](TECRDrvData& d) {
             d.RegType = 1, d.RegSign = 0, d.Quantity = 3, d.OperatorNumber = 5, d.Barcode = "";
         },
         {1, 0, 0xB8, 0x0B, 0, 0, 0, 5}},
        {"by_barcode_answer", 0x82, kAnswer, 51,
         [](TECRDrvData& d) {
             d.BarcodeType = 2, d.Text = "Cheese", d.Price = 123 * kRub, d.Section = 1;
             d.Tax1 = 5, d.Tax2 = 6, d.Tax3 = 7, d.Tax4 = 8, d.BarcodeWeight = 0.25;
         },
         Cat({{2}, Name40({'C', 'h', 'e', 'e', 's', 'e'}), {0x0C, 0x30, 0, 0, 0}, {1, 5, 6, 7, 8},
              {0xFA, 0, 0, 0, 0}})},
        {"free_discount_request", 0x83, kRequest, 9,
         [](TECRDrvData& d) {
             d.RegType = 1, d.DscSign = 1, d.RegSign = 0, d.Summ = 5 * kRub, d.OperatorNumber = 2;
         },
         {1, 1, 0, 0xF4, 0x01, 0, 0, 0, 2}},
        {"free_discount_answer", 0x83, kAnswer, 0, &NoFields, {}},
        {"discount_by_code_request", 0x84, kRequest, 14,
         [](TECRDrvData& d) {
             d.RegType = 1, d.DscSign = 0, d.RegSign = 1, d.Code = "258", d.RecSumm = 1000 * kRub;
             d.OperatorNumber = 3;
         },
         {1, 0, 1, 0x02, 0x01, 0, 0, 0, 0xA0, 0x86, 0x01, 0, 0, 3}},
        {"discount_by_code_answer", 0x84, kAnswer, 45,
         [](TECRDrvData& d) { d.Text = "Card", d.Summ = kRub / 100; },
         Cat({Name40({'C', 'a', 'r', 'd'}), {1, 0, 0, 0, 0}})},
        {"discount_by_barcode_request", 0x85, kRequest, 9,
         [](TECRDrvData& d) {
             d.RegType = 2, d.DscSign = 1, d.RegSign = 0, d.RecSumm = 256 * kRub / 100, d.OperatorNumber = 4;
             d.Barcode = " 77 ";
         },
         {2, 1, 0, 0x00, 0x01, 0, 0, 0, 4, ' ', '7', '7', ' '}},
        {"discount_by_barcode_answer", 0x85, kAnswer, 45,
         [](TECRDrvData& d) { d.Text = "", d.Summ = 0; }, Cat({Name40({}), {0, 0, 0, 0, 0}})},
        {"discount_on_request_request", 0x86, kRequest, 9,
         [](TECRDrvData& d) {
             d.RegType = 1, d.DscSign = 0, d.RegSign = 0, d.RecSumm = 99 * kRub, d.OperatorNumber = 1;
         },
         {1, 0, 0, 0xAC, 0x26, 0, 0, 0, 1}},
        {"discount_on_request_answer", 0x86, kAnswer, 45,
         [](TECRDrvData& d) { d.Text = "Скидка", d.Summ = 10 * kRub; },
         Cat({Name40({0xD1, 0xEA, 0xE8, 0xE4, 0xEA, 0xE0}), {0xE8, 0x03, 0, 0, 0}})},
        {"free_payment_request", 0x87, kRequest, 9,
         [](TECRDrvData& d) {
             d.PayType = 3, d.RegType = 1, d.RegSign = 0, d.Summ = 7 * kRub, d.OperatorNumber = 8;
         },
         {3, 1, 0, 0xBC, 0x02, 0, 0, 0, 8}},
        {"free_payment_answer", 0x87, kAnswer, 0, &NoFields, {}},
        {"payment_on_request_request", 0x88, kRequest, 8,
         [](TECRDrvData& d) { d.RegType = 1, d.RegSign = 1, d.RecSumm = 12 * kRub, d.OperatorNumber = 9; },
         {1, 1, 0xB0, 0x04, 0, 0, 0, 9}},
        {"payment_on_request_answer", 0x88, kAnswer, 6,
         [](TECRDrvData& d) { d.PayType = 2, d.Summ = 15 * kRub; }, {2, 0xDC, 0x05, 0, 0, 0}},
    };
    // clang-format on
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Sale, CommandLayout, ::testing::ValuesIn(Layouts()), LayoutName<LayoutCase>);

// A sum or quantity its five-byte field cannot carry.
constexpr Currency kAboveMoney5 = 10995116277 * kRub + 7600;  // one kopeck above the largest

// clang-format off
INSTANTIATE_TEST_SUITE_P(Sale, CommandRefusal, ::testing::Values(
    RefusalCase{"price_above", 0x80, kRequest, [](TECRDrvData& d) { d.Price = kAboveMoney5; }},
    RefusalCase{"price_negative", 0x80, kRequest, [](TECRDrvData& d) { d.Price = -kRub; }},
    RefusalCase{"quantity_above", 0x80, kRequest, [](TECRDrvData& d) { d.Quantity = 1099511627.776; }},
    RefusalCase{"quantity_negative", 0x81, kRequest, [](TECRDrvData& d) { d.Quantity = -1; }},
    RefusalCase{"goods_price_above", 0x81, kAnswer, [](TECRDrvData& d) { d.Price = kAboveMoney5; }},
    RefusalCase{"weight_above", 0x82, kAnswer, [](TECRDrvData& d) { d.BarcodeWeight = 2e9; }},
    RefusalCase{"discount_sum_above", 0x83, kRequest, [](TECRDrvData& d) { d.Summ = kAboveMoney5; }},
    RefusalCase{"receipt_sum_above", 0x84, kRequest, [](TECRDrvData& d) { d.RecSumm = kAboveMoney5; }},
    RefusalCase{"discount_negative", 0x85, kAnswer, [](TECRDrvData& d) { d.Summ = -kRub; }},
    RefusalCase{"discount_above", 0x86, kAnswer, [](TECRDrvData& d) { d.Summ = kAboveMoney5; }},
    RefusalCase{"paid_above", 0x87, kRequest, [](TECRDrvData& d) { d.Summ = kAboveMoney5; }},
    RefusalCase{"to_pay_above", 0x88, kAnswer, [](TECRDrvData& d) { d.Summ = kAboveMoney5; }}),
    LayoutName<RefusalCase>);
// clang-format on

TEST(SaleCommands, GoodsNameIsCutAt40Characters) {
    TCommand81h answer;
    answer.CommandType = 1;
    answer.Text = std::string(39, 'a') + "бв";
    const Bytes block = answer.EncodeAnswer();
    ASSERT_EQ(block.size(), 50u);
    EXPECT_EQ(block[38], 'a');
    EXPECT_EQ(block[39], 0xE1);  // "б"; "в" is cut
    EXPECT_EQ(block[40], 0x00);  // the price follows at once
}

// The barcode of a registration loses its blanks and control characters; the one of a discount keeps them.
TEST(SaleCommands, BarcodeTailTrimmedOnlyForRegistration) {
    const Bytes tail{'\t', ' ', '1', '2', ' ', '3', ' ', ' ', 0x00};
    TCommand82h registration;
    EXPECT_EQ(registration.SetFrame(ReceivedFrame(0x82, false, Cat({Bytes(8, 0), tail})), true), "");
    EXPECT_EQ(registration.Barcode, "12 3");
    TCommand85h discount;
    EXPECT_EQ(discount.SetFrame(ReceivedFrame(0x85, false, Cat({Bytes(9, 0), tail})), true), "");
    EXPECT_EQ(discount.Barcode, std::string("\t 12 3  \0", 9));
}

// A 51-byte answer is complete without the weight; a longer one carries it.
TEST(SaleCommands, BarcodeAnswerWeightOnlyWhenPresent) {
    Bytes block(56, 0x00);
    block[51] = 0xE8, block[52] = 0x03;
    for (const std::size_t size : {51u, 55u, 56u}) {
        TCommand82h answer;
        answer.CommandType = 1;
        answer.BarcodeWeight = 9;
        EXPECT_EQ(answer.SetFrame(ReceivedFrame(0x82, true, Bytes(block.begin(), block.begin() + long(size))),
                                  true),
                  "");
        EXPECT_EQ(answer.BarcodeWeight, size == 56 ? 1.0 : 0.0) << size;
    }
}

// A code that is no whole number goes out as 0; a larger one keeps its low five bytes.
TEST(SaleCommands, CodeTextToFiveBytes) {
    struct Case {
        const char* text;
        Bytes bytes;
    };
    for (const Case& c :
         {Case{"12a", {0, 0, 0, 0, 0}}, Case{"", {0, 0, 0, 0, 0}}, Case{"1099511627777", {1, 0, 0, 0, 0}},
          Case{"-1", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}}) {
        TCommand84h request;
        request.DiscountCode = c.text;
        const Bytes block = request.EncodeRequest();
        EXPECT_EQ(BytesToHex(Bytes(block.begin() + 3, block.begin() + 8)), BytesToHex(c.bytes)) << c.text;
    }
}

}  // namespace
