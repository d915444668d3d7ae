#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/base/ECRDrvData.h"
#include "driver/commands/untStatusCommands.h"
#include "driver/link/untCodecs.h"
#include "support/CommandLayouts.h"
#include "support/Frames.h"

namespace {

constexpr std::uint8_t k01 = 0x01, k10 = 0x10, k11 = 0x11, k12 = 0x12, k13 = 0x13, k14 = 0x14, k15 = 0x15,
                       kFC = 0xFC;

Bytes DumpBlock() {
    Bytes b(32, 0x00);
    b[0] = 0x41, b[1] = 0x00, b[2] = 0x20, b[3] = 0x42, b[30] = 0xFF;  // 00h inside and at the end
    return b;
}

// Every layout both ways: the properties (on top of the markers) and the data block they make.
const std::vector<LayoutCase>& Layouts() {
    // clang-format off
    static const std::vector<LayoutCase> cases = {
        {"dump_request", k01, kRequest, 3,
         [](TECRDrvData& d) { d.DeviceNumber = 4, d.DataBlockNumber = 0x1234; }, {0x04, 0x34, 0x12}},
        {"dump_answer", k01, kAnswer, 34,
         [](TECRDrvData& d) { d.DataBlockCount = 0xFF01, d.DataBlock = DumpBlock(); },
         [] { Bytes b{0x01, 0xFF}; AppendBytes(b, DumpBlock()); return b; }()},
        {"flag_request", k10, kRequest, 1, [](TECRDrvData& d) { d.FlagNumber = 7; }, {7}},
        {"flag_answer", k10, kAnswer, 20, [](TECRDrvData& d) { d.FlagName = "Бумага"; },
         {0xC1, 0xF3, 0xEC, 0xE0, 0xE3, 0xE0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"ecr_status_request", k11, kRequest, 0, &NoFields, {}},
        {"ecr_status_answer", k11, kAnswer, 21,
         [](TECRDrvData& d) {
             d.OperatorNumber = 30, d.ECRSoftVersion = "2.1", d.ECRSoftBuild = 0x0123;
             d.ECRSoftDay = 15, d.ECRSoftMonth = 6, d.ECRSoftYear = 3, d.DocumentNumber = 0xF201;
             d.ECRFlags = 0x8421, d.ECRMode = 4, d.ECRAdvancedMode = 1, d.ECRPortNumber = 2;
             d.ECRDay = 31, d.ECRMonth = 12, d.ECRYear = 5, d.ECRHour = 23, d.ECRMin = 59, d.ECRSec = 58;
         },
         {30, '2', '1', 0x23, 0x01, 15, 6, 3, 0x01, 0xF2, 0x21, 0x84, 4, 1, 2, 31, 12, 5, 23, 59, 58}},
        {"fm_status_request", k12, kRequest, 0, &NoFields, {}},
        {"fm_status_answer", k12, kAnswer, 28,
         [](TECRDrvData& d) {
             d.FMSoftVersion = "1.23", d.FMSoftBuild = 0x0456, d.SerialNumber = "00012345";
             d.SerialNumberValid = true, d.SessionNumber = 0xFE02, d.FreeRecordInFM = 0x0708;
             d.RegistrationNumber = 3, d.FreeRegistration = 13, d.INN = "007712345678", d.INNValid = true;
             d.ActivizationNumber = 2, d.FreeActivization = 5, d.EKLZNumber = "не введен";
             d.EKLZNumberValid = false;
         },
         {'1', '2', '3', 0x56, 0x04, 0x45, 0x23, 0x01, 0x00, 0x02, 0xFE, 0x08, 0x07, 3, 13,
          0x78, 0x56, 0x34, 0x12, 0x77, 0x00, 2, 5, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"fm_status_answer_identities", k12, kAnswer, 28,
         [](TECRDrvData& d) {
             d.FMSoftVersion = "", d.FMSoftBuild = d.SessionNumber = d.FreeRecordInFM = 0;
             d.RegistrationNumber = d.FreeRegistration = d.ActivizationNumber = d.FreeActivization = 0;
             d.SerialNumber = d.INN = "не введен", d.SerialNumberValid = d.INNValid = false;
             d.EKLZNumber = "9999999999", d.EKLZNumberValid = true;
         },
         {' ', ' ', ' ', 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0,
          0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0x99, 0x99, 0x99, 0x99, 0x99}},
        {"beep_request", k13, kRequest, 0, &NoFields, {}},
        {"beep_answer", k13, kAnswer, 0, &NoFields, {}},
        {"set_exchange_request", k14, kRequest, 3,
         [](TECRDrvData& d) { d.ECRPortNumber = 1, d.ECRBaudRate = 6, d.ECRTimeout = 150; }, {1, 6, 150}},
        {"set_exchange_answer", k14, kAnswer, 0, &NoFields, {}},
        {"get_exchange_request", k15, kRequest, 1, [](TECRDrvData& d) { d.ECRPortNumber = 2; }, {2}},
        {"get_exchange_answer", k15, kAnswer, 2,
         [](TECRDrvData& d) { d.ECRBaudRate = 7, d.ECRTimeout = 200; }, {7, 200}},
        {"metrics_request", kFC, kRequest, 0, &NoFields, {}},
        {"metrics_answer", kFC, kAnswer, 6,
         [](TECRDrvData& d) {
             d.UMajorType = 1, d.UMinorType = 2, d.UMajorProtocolVersion = 3, d.UMinorProtocolVersion = 4;
             d.UModel = 5, d.UCodePage = 1, d.UDescription = "ККМ Тест";
         },
         {1, 2, 3, 4, 5, 1, 0xCA, 0xCA, 0xCC, 0x20, 0xD2, 0xE5, 0xF1, 0xF2}},
        {"metrics_answer_without_name", kFC, kAnswer, 6,
         [](TECRDrvData& d) {
             d.UMajorType = d.UMinorType = d.UMajorProtocolVersion = d.UMinorProtocolVersion = 0;
             d.UModel = d.UCodePage = 0, d.UDescription = "";
         },
         {0, 0, 0, 0, 0, 0}},
    };
    // clang-format on
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Status, CommandLayout, ::testing::ValuesIn(Layouts()), LayoutName<LayoutCase>);

// An entered identity that is no number of at most its field's digits is refused, never sent as another
// number (a serial number beyond 32 bits included).
// clang-format off
INSTANTIATE_TEST_SUITE_P(Status, CommandRefusal, ::testing::Values(
    RefusalCase{"serial_9_digits", k12, kAnswer,
                [](TECRDrvData& d) { d.SerialNumber = "123456789", d.SerialNumberValid = true; }},
    RefusalCase{"serial_beyond_32_bits", k12, kAnswer,
                [](TECRDrvData& d) { d.SerialNumber = "4294967297", d.SerialNumberValid = true; }},
    RefusalCase{"serial_negative", k12, kAnswer,
                [](TECRDrvData& d) { d.SerialNumber = "-1", d.SerialNumberValid = true; }},
    RefusalCase{"inn_13_digits", k12, kAnswer,
                [](TECRDrvData& d) { d.INN = "1000000000000", d.INNValid = true; }},
    RefusalCase{"eklz_11_digits", k12, kAnswer,
                [](TECRDrvData& d) { d.EKLZNumber = "12345678901", d.EKLZNumberValid = true; }}),
    LayoutName<RefusalCase>);
// clang-format on

TEST(StatusCommands, IdentityNotAllFFIsEntered) {
    Bytes block(28, 0x00);
    block[5] = block[6] = block[7] = 0xFF;  // serial number FF FF FF 00
    TCommand12h command;
    command.CommandType = 1;
    command.SetFrame(ReceivedFrame(0x12, true, block), true);
    EXPECT_TRUE(command.SerialNumberValid);
    EXPECT_EQ(command.SerialNumber.substr(0, 2), "00");
}

TEST(StatusCommands, BlankSoftVersionReadsEmpty) {
    Bytes block(21, 0x00);
    block[1] = block[2] = ' ';
    TCommand11h command;
    command.CommandType = 1;
    command.SetFrame(ReceivedFrame(0x11, true, block), true);
    EXPECT_EQ(command.ECRSoftVersion, "");
}

TEST(StatusCommands, DeviceNameLosesBlanksAndControlCharacters) {
    TCommandFCh command;
    command.CommandType = 1;
    command.SetFrame(ReceivedFrame(0xFC, true, {1, 2, 3, 4, 5, 6, 0x01, ' ', 0xCA, 0xEA, 0xEC, '\t', 0x00}),
                     true);
    EXPECT_EQ(command.UDescription, "Ккм");
}

TEST(StatusCommands, DumpKeepsLowBitsAndExactly32Bytes) {
    TECRDrvData d;
    d.DeviceNumber = 257, d.DataBlockNumber = 65536;  // device 1, block 0
    TCommand01h request;
    request.LoadFromDriver(d);
    EXPECT_EQ(request.EncodeRequest(), (Bytes{0x01, 0x00, 0x00}));

    TCommand01h answer;
    answer.CommandType = 1;
    answer.DataBlock = {1, 2};
    Bytes filled{0, 0, 1, 2};
    filled.resize(34, 0x00);
    EXPECT_EQ(answer.EncodeAnswer(), filled);
    answer.DataBlock.assign(40, 0x77);
    EXPECT_EQ(answer.EncodeAnswer().size(), 34u);

    answer.SetFrame(ReceivedFrame(0x01, true, Bytes(36, 0x33)), true);  // two stray bytes beyond the layout
    EXPECT_EQ(answer.DataBlock, Bytes(32, 0x33));
}

}  // namespace
