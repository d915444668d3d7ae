#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "driver/commands/CommandFactory.h"
#include "driver/commands/untRegisterCommands.h"
#include "driver/engine/ECRDrvData.h"
#include "driver/link/untCodecs.h"
#include "support/Frames.h"

namespace {

// Every property these commands read or write, with its name.
template <class Record, class F>
void ForEachProperty(Record& d, F f) {
#define P(x) f(#x, d.x)
    P(RegisterNumber), P(CashRegister), P(OperationRegister), P(RestRegister), P(PositionOfPoint);
    P(ECRHour), P(ECRMin), P(ECRSec), P(ECRDay), P(ECRMonth), P(ECRYear);
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

struct LayoutCase {
    const char* name;
    std::uint8_t code;
    bool answer;
    std::size_t fixed;  // the block's length: RequestLength - 1 or AnswerLength - 2
    void (*fill)(TECRDrvData&);
    Bytes block;
};

// Through the factory, so that every opcode is also seen to reach its class.
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
        {"cash_request", 0x1A, kRequest, 2, [](TECRDrvData& d) { d.RegisterNumber = 256; }, {0x00, 0x01}},
        {"cash_answer", 0x1A, kAnswer, 6, [](TECRDrvData& d) { d.CashRegister = 1234500; },
         {0x39, 0x30, 0x00, 0x00, 0x00, 0x00}},
        {"cash_answer_high_bytes", 0x1A, kAnswer, 6,
         [](TECRDrvData& d) { d.CashRegister = 0x010203040506LL * 100; }, {6, 5, 4, 3, 2, 1}},
        {"operation_request", 0x1B, kRequest, 2, [](TECRDrvData& d) { d.RegisterNumber = 0xABCD; },
         {0xCD, 0xAB}},
        {"operation_answer", 0x1B, kAnswer, 2, [](TECRDrvData& d) { d.OperationRegister = 0xFFFE; },
         {0xFE, 0xFF}},
        {"rest_request", 0x1C, kRequest, 2, [](TECRDrvData& d) { d.RegisterNumber = 3; }, {0x03, 0x00}},
        {"rest_answer", 0x1C, kAnswer, 4, [](TECRDrvData& d) { d.RestRegister = -1; },
         {0xFF, 0xFF, 0xFF, 0xFF}},
        {"rest_answer_positive", 0x1C, kAnswer, 4, [](TECRDrvData& d) { d.RestRegister = 0x12345678; },
         {0x78, 0x56, 0x34, 0x12}},
        {"set_rest_request", 0x1D, kRequest, 6,
         [](TECRDrvData& d) { d.RegisterNumber = 0x0102, d.RestRegister = -1; },
         {0x02, 0x01, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"set_rest_answer", 0x1D, kAnswer, 0, &NoFields, {}},
        {"point_request", 0x20, kRequest, 1, [](TECRDrvData& d) { d.PositionOfPoint = 3; }, {0x03}},
        {"point_answer", 0x20, kAnswer, 0, &NoFields, {}},
        {"time_request", 0x21, kRequest, 3,
         [](TECRDrvData& d) { d.ECRHour = 23, d.ECRMin = 59, d.ECRSec = 58; }, {23, 59, 58}},
        {"time_answer", 0x21, kAnswer, 0, &NoFields, {}},
        // The bytes go as they are, even those that form no date.
        {"date_request", 0x22, kRequest, 3,
         [](TECRDrvData& d) { d.ECRDay = 31, d.ECRMonth = 2, d.ECRYear = 255; }, {31, 2, 255}},
        {"date_answer", 0x22, kAnswer, 0, &NoFields, {}},
    };
    // clang-format on
    return cases;
}

class RegisterLayout : public ::testing::TestWithParam<LayoutCase> {};

// The whole way of an exchange both ways: the record to the block, the block as a received frame back to
// another record.
TEST_P(RegisterLayout, RoundTripsThroughRecord) {
    const LayoutCase& c = GetParam();
    auto sent = New(c);
    EXPECT_EQ(c.answer ? sent->AnswerLength() - 2 : sent->RequestLength() - 1, int(c.fixed));
    sent->LoadFromDriver(Filled(c));
    EXPECT_EQ(BytesToHex(c.answer ? sent->EncodeAnswer() : sent->EncodeRequest()), BytesToHex(c.block));
    auto received = New(c);
    EXPECT_EQ(received->SetFrame(ReceivedFrame(c.code, c.answer, c.block), true), "");
    EXPECT_EQ(received->ResultCode, 0);
    EXPECT_EQ(SavedBy(*received), Properties(Filled(c)));
}

TEST_P(RegisterLayout, AssignCopiesOwnFieldsOnlyFromSameClass) {
    const LayoutCase& c = GetParam();
    auto decoded = New(c);
    decoded->SetFrame(ReceivedFrame(c.code, c.answer, c.block), true);
    auto target = New(c);
    target->Assign(*decoded);
    EXPECT_EQ(SavedBy(*target), SavedBy(*decoded));

    TCommand other;  // the base class: base fields only
    other.CommandType = target->CommandType;
    other.Code = 0x42, other.PortNumber = 7;
    target->Assign(other);
    EXPECT_EQ(target->Code, 0x42);
    EXPECT_EQ(target->PortNumber, 7);
    EXPECT_EQ(SavedBy(*target), SavedBy(*decoded));
}

// A block one byte short of its layout, or an answer with a result other than 0 (stray bytes behind it),
// leaves every field at its initial value.
TEST_P(RegisterLayout, ShortBlockOrErrorResultDecodesNothing) {
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

INSTANTIATE_TEST_SUITE_P(Table, RegisterLayout, ::testing::ValuesIn(Layouts()),
                         [](const auto& info) { return std::string(info.param.name); });

// Properties wider than their fields go out with their low bits.
TEST(RegisterCommands, WideFieldsKeepLowBits) {
    TECRDrvData d;
    d.RegisterNumber = 65537, d.RestRegister = 0x7FFFFFFF, d.PositionOfPoint = 258,
    d.OperationRegister = 70000;
    TCommand1Dh setRest;
    setRest.LoadFromDriver(d);
    EXPECT_EQ(setRest.EncodeRequest(), (Bytes{0x01, 0x00, 0xFF, 0xFF, 0xFF, 0x7F}));
    TCommand20h point;
    point.LoadFromDriver(d);
    EXPECT_EQ(point.EncodeRequest(), Bytes{0x02});
    TCommand1Bh operation;
    operation.CommandType = 1;
    operation.LoadFromDriver(d);
    EXPECT_EQ(operation.EncodeAnswer(), (Bytes{0x70, 0x11}));
}

}  // namespace
