#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "driver/commands/CommandFactory.h"
#include "driver/commands/untPaymentCommands.h"
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
    P(OperatorNumber), P(RegType), P(ECRDay), P(ECRMonth), P(ECRYear), P(ECRHour), P(ECRMin), P(ECRSec);
    P(DocumentNumber), P(ReceiptNumber), P(OperationNumber), P(Summ);
    P(TaxSumm1), P(TaxSumm2), P(TaxSumm3), P(TaxSumm4);
    // clang-format on
#undef P
}

// A record whose properties all hold a marker, so that a command writing a property it should not is seen.
TECRDrvData Marked() {
    TECRDrvData d;
    ForEachProperty(d, [](const char*, auto& v) { v = 0x5A; });
    return d;
}

std::string Properties(const TECRDrvData& d) {
    std::ostringstream os;
    ForEachProperty(d, [&os](const char* name, const auto& v) {
        os << name << '=' << static_cast<std::int64_t>(v) << '\n';
    });
    return os.str();
}

std::string SavedBy(const TCommand& c) {
    TECRDrvData d = Marked();
    c.SaveToDriver(d);
    return Properties(d);
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

class PaymentLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PaymentLayout, EncodesFromProperties) {
    const LayoutCase& c = GetParam();
    auto command = New(c);
    EXPECT_EQ(c.answer ? command->AnswerLength() - 2 : command->RequestLength() - 1, int(c.fixed));
    command->LoadFromDriver(Filled(c));
    EXPECT_EQ(BytesToHex(c.answer ? command->EncodeAnswer() : command->EncodeRequest()), BytesToHex(c.block));
}

TEST_P(PaymentLayout, DecodesToProperties) {
    const LayoutCase& c = GetParam();
    auto command = New(c);
    EXPECT_EQ(command->SetFrame(ReceivedFrame(c.code, c.answer, c.block), true), "");
    EXPECT_EQ(command->ResultCode, 0);
    EXPECT_EQ(command->Code, c.code);
    EXPECT_EQ(SavedBy(*command), Properties(Filled(c)));
}

TEST_P(PaymentLayout, AssignCopiesOwnFieldsOnlyFromSameClass) {
    const LayoutCase& c = GetParam();
    auto decoded = New(c);
    decoded->SetFrame(ReceivedFrame(c.code, c.answer, c.block), true);
    auto target = New(c);
    target->Assign(*decoded);
    EXPECT_EQ(SavedBy(*target), SavedBy(*decoded));

    // 90h and 91h share their request layout but are different classes.
    auto other = CreateCommand(c.code == 0x91 ? 0x90 : 0x91);
    other->CommandType = target->CommandType;
    other->PortNumber = 7;
    target->Assign(*other);
    EXPECT_EQ(target->ID, other->ID);
    EXPECT_EQ(target->PortNumber, 7);
    EXPECT_EQ(SavedBy(*target), SavedBy(*decoded));
}

// A block one byte short of its layout, or an answer with a result other than 0, decodes nothing; an answer
// with a result other than 0 goes out as that byte alone.
TEST_P(PaymentLayout, ShortBlockOrErrorResult) {
    const LayoutCase& c = GetParam();
    if (c.fixed > 0) {
        auto command = New(c);
        const Bytes shortBlock(c.block.begin(), c.block.begin() + std::ptrdiff_t(c.fixed - 1));
        EXPECT_EQ(command->SetFrame(ReceivedFrame(c.code, c.answer, shortBlock), true),
                  "Неверная длина данных");
        EXPECT_EQ(SavedBy(*command), SavedBy(*New(c)));
    }
    if (c.answer) {
        auto command = New(c);
        EXPECT_EQ(command->SetFrame(ReceivedFrame(c.code, true, c.block, 2), true), "");
        EXPECT_EQ(command->ResultCode, 2);
        EXPECT_EQ(SavedBy(*command), SavedBy(*New(c)));

        auto sent = New(c);
        sent->LoadFromDriver(Filled(c));
        sent->ResultCode = 5;
        const Bytes body = sent->BuildBody();
        EXPECT_EQ(BytesToHex(Bytes(body.begin() + 5, body.end())), BytesToHex({2, c.code, 0x05}));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, PaymentLayout, ::testing::ValuesIn(Layouts()),
                         [](const auto& info) { return std::string(info.param.name); });

// A sum its field cannot carry is refused rather than sent as another number.
struct Unsendable {
    const char* name;
    std::uint8_t code;
    bool answer;
    Currency TECRDrvData::*sum;
    Currency value;
};

class PaymentEncodeRefusal : public ::testing::TestWithParam<Unsendable> {};

TEST_P(PaymentEncodeRefusal, IsInvalidValue) {
    auto command = CreateCommand(GetParam().code);
    command->CommandType = GetParam().answer ? 1 : 0;
    TECRDrvData d;
    d.*GetParam().sum = GetParam().value;
    command->LoadFromDriver(d);
    try {
        (void)command->BuildBody();
        ADD_FAILURE() << "not refused";
    } catch (const EDriverError& e) {
        EXPECT_EQ(e.ErrorCode(), E_INVALIDVALUE);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, PaymentEncodeRefusal, ::testing::Values(
    Unsendable{"tax1_above", 0x90, kAnswer, &TECRDrvData::TaxSumm1, 10995116277 * kRub + 7600},
    Unsendable{"tax4_negative", 0x90, kAnswer, &TECRDrvData::TaxSumm4, -kRub / 100},
    Unsendable{"cash_above", 0x50, kRequest, &TECRDrvData::Summ, 2814749767106 * kRub + 5600},
    Unsendable{"cash_negative", 0x52, kRequest, &TECRDrvData::Summ, -kRub}),
    [](const auto& info) { return std::string(info.param.name); });
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
