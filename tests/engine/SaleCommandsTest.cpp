#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "driver/commands/CommandFactory.h"
#include "driver/commands/untSaleCommands.h"
#include "driver/engine/ECRDrvData.h"
#include "driver/engine/untError.h"
#include "driver/link/untCodecs.h"
#include "support/Frames.h"

namespace {

// Every property these commands read or write, with its name.
template <class Record, class F>
void ForEachProperty(Record& d, F f) {
#define P(x) f(#x, d.x)
    // clang-format off
    P(RegType), P(RegSign), P(DscSign), P(PayType), P(Quantity), P(Price), P(Section), P(OperatorNumber);
    P(Code), P(Barcode), P(BarcodeType), P(BarcodeWeight), P(Text), P(Tax1), P(Tax2), P(Tax3), P(Tax4);
    P(Summ), P(RecSumm);
    // clang-format on
#undef P
}

// A record whose properties all hold a marker, so that a command writing a property it should not is seen.
TECRDrvData Marked() {
    TECRDrvData d;
    ForEachProperty(d, [](const char*, auto& v) {
        if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::string>)
            v = "marker";
        else
            v = 0x5A;
    });
    return d;
}

std::string Properties(const TECRDrvData& d) {
    std::ostringstream os;
    ForEachProperty(d, [&os](const char* name, const auto& v) {
        using T = std::decay_t<decltype(v)>;
        os << name << '=';
        if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, double>)
            os << v;
        else
            os << static_cast<std::int64_t>(v);
        os << '\n';
    });
    return os.str();
}

std::string SavedBy(const TCommand& c) {
    TECRDrvData d = Marked();
    c.SaveToDriver(d);
    return Properties(d);
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) AppendBytes(out, p);
    return out;
}

// A name40 field: the Windows-1251 bytes filled with blanks.
Bytes Name(Bytes cp1251) {
    cp1251.resize(40, ' ');
    return cp1251;
}

constexpr bool kRequest = false, kAnswer = true;
constexpr Currency kRub = kCurrencyScale;

struct LayoutCase {
    const char* name;
    std::uint8_t code;
    bool answer;
    std::size_t fixed;  // the block's fixed part: RequestLength - 1 or AnswerLength - 2
    void (*fill)(TECRDrvData&);
    Bytes block;
};

std::unique_ptr<TCommand> New(const LayoutCase& c) {
    auto command = CreateCommand(c.code);
    command->CommandType = c.answer ? 1 : 0;
    return command;
}

TECRDrvData Filled(const LayoutCase& c) {
    TECRDrvData d = Marked();
    c.fill(d);
    return d;
}

void NoFields(TECRDrvData&) {}

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
         Cat({Name({0xCC, 0xEE, 0xEB, 0xEE, 0xEA, 0xEE}), {0xC6, 0x11, 0, 0, 0}, {2, 1, 0, 3, 4}})},
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
         Cat({{2}, Name({'C', 'h', 'e', 'e', 's', 'e'}), {0x0C, 0x30, 0, 0, 0}, {1, 5, 6, 7, 8},
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
         Cat({Name({'C', 'a', 'r', 'd'}), {1, 0, 0, 0, 0}})},
        {"discount_by_barcode_request", 0x85, kRequest, 9,
         [](TECRDrvData& d) {
             d.RegType = 2, d.DscSign = 1, d.RegSign = 0, d.RecSumm = 256 * kRub / 100, d.OperatorNumber = 4;
             d.Barcode = " 77 ";
         },
         {2, 1, 0, 0x00, 0x01, 0, 0, 0, 4, ' ', '7', '7', ' '}},
        {"discount_by_barcode_answer", 0x85, kAnswer, 45,
         [](TECRDrvData& d) { d.Text = "", d.Summ = 0; }, Cat({Name({}), {0, 0, 0, 0, 0}})},
        {"discount_on_request_request", 0x86, kRequest, 9,
         [](TECRDrvData& d) {
             d.RegType = 1, d.DscSign = 0, d.RegSign = 0, d.RecSumm = 99 * kRub, d.OperatorNumber = 1;
         },
         {1, 0, 0, 0xAC, 0x26, 0, 0, 0, 1}},
        {"discount_on_request_answer", 0x86, kAnswer, 45,
         [](TECRDrvData& d) { d.Text = "Скидка", d.Summ = 10 * kRub; },
         Cat({Name({0xD1, 0xEA, 0xE8, 0xE4, 0xEA, 0xE0}), {0xE8, 0x03, 0, 0, 0}})},
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

class SaleLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(SaleLayout, EncodesFromProperties) {
    const LayoutCase& c = GetParam();
    auto command = New(c);
    EXPECT_EQ(c.answer ? command->AnswerLength() - 2 : command->RequestLength() - 1, int(c.fixed));
    command->LoadFromDriver(Filled(c));
    EXPECT_EQ(BytesToHex(c.answer ? command->EncodeAnswer() : command->EncodeRequest()), BytesToHex(c.block));
}

TEST_P(SaleLayout, DecodesToProperties) {
    const LayoutCase& c = GetParam();
    auto command = New(c);
    EXPECT_EQ(command->SetFrame(ReceivedFrame(c.code, c.answer, c.block), true), "");
    EXPECT_EQ(command->ResultCode, 0);
    EXPECT_EQ(SavedBy(*command), Properties(Filled(c)));
}

TEST_P(SaleLayout, AssignCopiesOwnFieldsOnlyFromSameClass) {
    const LayoutCase& c = GetParam();
    auto decoded = New(c);
    decoded->SetFrame(ReceivedFrame(c.code, c.answer, c.block), true);
    auto target = New(c);
    target->Assign(*decoded);
    EXPECT_EQ(SavedBy(*target), SavedBy(*decoded));

    // A sibling class of the same family: base fields only.
    auto other = CreateCommand(c.code == 0x86 ? 0x85 : 0x86);
    other->CommandType = target->CommandType;
    other->PortNumber = 7;
    other->LoadFromDriver(TECRDrvData());
    target->Assign(*other);
    EXPECT_EQ(target->ID, other->ID);
    EXPECT_EQ(target->Code, other->Code);
    EXPECT_EQ(target->PortNumber, 7);
    EXPECT_EQ(SavedBy(*target), SavedBy(*decoded));
}

// A block one byte short of its layout, or an answer with a result other than 0 (stray bytes behind it),
// leaves every field at its initial value.
TEST_P(SaleLayout, ShortBlockOrErrorResultDecodesNothing) {
    const LayoutCase& c = GetParam();
    if (c.fixed > 0) {
        auto command = New(c);
        const Bytes shortBlock(c.block.begin(), c.block.begin() + std::ptrdiff_t(c.fixed - 1));
        EXPECT_EQ(command->SetFrame(ReceivedFrame(c.code, c.answer, shortBlock), true),
                  "Неверная длина данных");
        EXPECT_EQ(command->ResultCode, 0);
        EXPECT_EQ(SavedBy(*command), SavedBy(*New(c)));
    }
    if (c.answer) {
        auto command = New(c);
        EXPECT_EQ(command->SetFrame(ReceivedFrame(c.code, true, c.block, 3), true), "");
        EXPECT_EQ(command->ResultCode, 3);
        EXPECT_EQ(SavedBy(*command), SavedBy(*New(c)));
    }
}

// An answer with a result other than 0 goes out as that byte alone, whatever the answer properties hold.
TEST_P(SaleLayout, ErrorAnswerIsResultByteAlone) {
    const LayoutCase& c = GetParam();
    if (!c.answer) return;
    auto command = New(c);
    command->LoadFromDriver(Filled(c));
    command->ResultCode = 1;
    const Bytes body = command->BuildBody();
    EXPECT_EQ(BytesToHex(Bytes(body.begin() + 5, body.end())), BytesToHex({2, c.code, 0x01}));
}

INSTANTIATE_TEST_SUITE_P(Table, SaleLayout, ::testing::ValuesIn(Layouts()),
                         [](const auto& info) { return std::string(info.param.name); });

// A sum or quantity its five-byte field cannot carry is refused rather than sent as another number.
struct Unsendable {
    const char* name;
    std::uint8_t code;
    bool answer;
    void (*fill)(TECRDrvData&);
};

class SaleEncodeRefusal : public ::testing::TestWithParam<Unsendable> {};

TEST_P(SaleEncodeRefusal, IsInvalidValue) {
    auto command = CreateCommand(GetParam().code);
    command->CommandType = GetParam().answer ? 1 : 0;
    TECRDrvData d;
    GetParam().fill(d);
    command->LoadFromDriver(d);
    try {
        (void)command->BuildBody();
        ADD_FAILURE() << "not refused";
    } catch (const EDriverError& e) {
        EXPECT_EQ(e.ErrorCode(), E_INVALIDVALUE);
    }
}

constexpr Currency kAboveMoney5 = 10995116277 * kRub + 7600;  // one kopeck above the largest

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, SaleEncodeRefusal, ::testing::Values(
    Unsendable{"price_above", 0x80, kRequest, [](TECRDrvData& d) { d.Price = kAboveMoney5; }},
    Unsendable{"price_negative", 0x80, kRequest, [](TECRDrvData& d) { d.Price = -kRub; }},
    Unsendable{"quantity_above", 0x80, kRequest, [](TECRDrvData& d) { d.Quantity = 1099511627.776; }},
    Unsendable{"quantity_negative", 0x81, kRequest, [](TECRDrvData& d) { d.Quantity = -1; }},
    Unsendable{"goods_price_above", 0x81, kAnswer, [](TECRDrvData& d) { d.Price = kAboveMoney5; }},
    Unsendable{"weight_above", 0x82, kAnswer, [](TECRDrvData& d) { d.BarcodeWeight = 2e9; }},
    Unsendable{"discount_sum_above", 0x83, kRequest, [](TECRDrvData& d) { d.Summ = kAboveMoney5; }},
    Unsendable{"receipt_sum_above", 0x84, kRequest, [](TECRDrvData& d) { d.RecSumm = kAboveMoney5; }},
    Unsendable{"discount_negative", 0x85, kAnswer, [](TECRDrvData& d) { d.Summ = -kRub; }},
    Unsendable{"discount_above", 0x86, kAnswer, [](TECRDrvData& d) { d.Summ = kAboveMoney5; }},
    Unsendable{"paid_above", 0x87, kRequest, [](TECRDrvData& d) { d.Summ = kAboveMoney5; }},
    Unsendable{"to_pay_above", 0x88, kAnswer, [](TECRDrvData& d) { d.Summ = kAboveMoney5; }}),
    [](const auto& info) { return std::string(info.param.name); });
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

TEST(SaleCommands, FactoryGivesEachOpcodeItsClass) {
    EXPECT_NE(dynamic_cast<TCommand80h*>(CreateCommand(0x80).get()), nullptr);
    EXPECT_NE(dynamic_cast<TCommand82h*>(CreateCommand(0x82).get()), nullptr);
    EXPECT_NE(dynamic_cast<TCommand85h*>(CreateCommand(0x85).get()), nullptr);
    EXPECT_NE(dynamic_cast<TCommand88h*>(CreateCommand(0x88).get()), nullptr);
}

}  // namespace
