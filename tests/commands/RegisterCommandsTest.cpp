#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/base/ECRDrvData.h"
#include "driver/commands/untRegisterCommands.h"
#include "driver/link/untCodecs.h"
#include "support/CommandLayouts.h"
#include "support/Frames.h"

namespace {

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

INSTANTIATE_TEST_SUITE_P(Register, CommandLayout, ::testing::ValuesIn(Layouts()), LayoutName<LayoutCase>);

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
