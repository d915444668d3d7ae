// One register's answers from its model, read back with the driver's own command classes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>

#include "driver/commands/untStatusCommands.h"
#include "driver/link/CRC.h"
#include "support/Frames.h"
#include "tools/emulator/EmuRegister.h"

namespace {

// The unstuffed frame of a body.
Bytes Framed(const Bytes& body) {
    return UnstuffedFrame(body);
}

// A request from the computer (1) to register 2.
Bytes RequestFrame(const Bytes& payload) {
    Bytes body{2, 1, 0x00, 0, 0, static_cast<std::uint8_t>(payload.size())};
    body.insert(body.end(), payload.begin(), payload.end());
    return Framed(body);
}

// The register's answer as the computer decodes it with the class T.
template <class T>
std::unique_ptr<T> Ask(EmuRegister& reg, const Bytes& payload) {
    const std::unique_ptr<TCommand> answer = reg.Execute(RequestFrame(payload));
    auto decoded = std::make_unique<T>();
    EXPECT_EQ(decoded->SetFrame(Framed(answer->BuildBody()), true), "");
    return decoded;
}

struct ResultCase {
    const char* name;
    Bytes payload;
    std::int32_t result;
};

class RegisterResults : public ::testing::TestWithParam<ResultCase> {};

TEST_P(RegisterResults, AnswersWithTheRegistersResultCode) {
    EmuRegister reg;
    const std::unique_ptr<TCommand> answer = reg.Execute(RequestFrame(GetParam().payload));
    EXPECT_EQ(answer->ResultCode, GetParam().result);
    EXPECT_EQ(answer->Code, GetParam().payload[0]);
    EXPECT_TRUE(answer->IsAnswer());
    if (GetParam().result != 0) {  // the result byte alone
        EXPECT_EQ(answer->BuildBody().size(), 8u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegisterResults,
    ::testing::Values(ResultCase{"DumpDeviceZero", {0x01, 0, 0, 0}, 133},
                      ResultCase{"DumpDeviceEight", {0x01, 8, 0, 0}, 133},
                      ResultCase{"DumpDeviceWithoutMemory", {0x01, 7, 0, 0}, 134},
                      ResultCase{"DumpBlockBeyondDevice", {0x01, 1, 0x00, 0x08}, 134},  // 2048 blocks
                      ResultCase{"DumpLastBlock", {0x01, 1, 0xFF, 0x07}, 0},
                      ResultCase{"DumpShortRequest", {0x01, 1}, 1}, ResultCase{"FlagBit15", {0x10, 15}, 0},
                      ResultCase{"FlagBit16", {0x10, 16}, 135},
                      ResultCase{"SetPortBeyondModel", {0x14, 2, 3, 100}, 136},
                      ResultCase{"SetSpeedZero", {0x14, 0, 0, 100}, 137},
                      ResultCase{"SetSpeedNine", {0x14, 1, 9, 100}, 137},
                      ResultCase{"GetPortBeyondModel", {0x15, 2}, 136}, ResultCase{"Status", {0x11}, 0},
                      ResultCase{"FiscalMemory", {0x12}, 0}, ResultCase{"DeviceType", {0xFC}, 0},
                      ResultCase{"Search", {0xFA}, 0}, ResultCase{"UnknownOpcode", {0x30}, 138},
                      ResultCase{"RegisterSideOpcode", {0x80}, 138}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Register, AnswersCarryTheModelAndChangeItWhereTheyShould) {
    EmuRegisterModel m;
    m.softVersion = "2.4";
    m.documentNumber = 0x1234;
    m.flags = 0x8001;
    m.clock = EmuDateTime{31, 12, 99, 23, 59, 58};
    m.description = "  Тест  ";
    m.WriteDumpBlock(3, 5, {0x00, 0x7E});
    EmuRegister reg(m);

    const auto status = Ask<TCommand11h>(reg, {0x11});
    EXPECT_EQ(status->ECRSoftVersion, "2.4");
    EXPECT_EQ(status->DocumentNumber, 0x1234);
    EXPECT_EQ(status->ECRFlags, 0x8001);
    EXPECT_EQ((Bytes{status->ECRDay, status->ECRMonth, status->ECRYear, status->ECRHour, status->ECRMin,
                     status->ECRSec}),
              (Bytes{31, 12, 99, 23, 59, 58}));
    EXPECT_EQ(Ask<TCommandFCh>(reg, {0xFC})->UDescription, "Тест");
    EXPECT_EQ(Ask<TCommand10h>(reg, {0x10, 0})->FlagName, "Рулон чековой ленты");

    const auto written = Ask<TCommand01h>(reg, {0x01, 3, 5, 0});
    EXPECT_EQ(written->DataBlockCount, 256);
    Bytes block(32, 0x00);
    block[1] = 0x7E;
    EXPECT_EQ(written->DataBlock, block);  // 00h kept inside and at the end
    const auto pattern = Ask<TCommand01h>(reg, {0x01, 2, 0, 0});
    ASSERT_EQ(pattern->DataBlock.size(), 32u);
    EXPECT_EQ(pattern->DataBlock[31], 2 * 16 + 31);

    EXPECT_EQ(reg.Execute(RequestFrame({0x14, 1, 7, 250}))->ResultCode, 0);
    EXPECT_EQ(reg.Execute(RequestFrame({0x14, 1, 9, 1}))->ResultCode, 137);  // refused: nothing changes
    const auto port = Ask<TCommand15h>(reg, {0x15, 1});
    EXPECT_EQ(port->ECRBaudRate, 7);
    EXPECT_EQ(port->ECRTimeout, 250);
    EXPECT_EQ(Ask<TCommand15h>(reg, {0x15, 0})->ECRBaudRate, EmuPortParams{}.speedCode);

    reg.Execute(RequestFrame({0x13}));
    reg.Execute(RequestFrame({0x13}));
    EXPECT_EQ(reg.Model().beepCount, 2u);
}

TEST(Register, StatusFollowsTheComputersClockUnlessSet) {
    EmuRegister reg;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    const auto a = Ask<TCommand11h>(reg, {0x11});
    EXPECT_EQ(a->ECRYear, local.tm_year % 100);
    const int diff = std::abs(a->ECRHour * 3600 + a->ECRMin * 60 + a->ECRSec -
                              (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec));
    EXPECT_TRUE(diff <= 5 || diff >= 24 * 3600 - 5) << diff;
}

struct IdentityCase {
    const char* name;
    std::optional<std::uint64_t> serial, inn, eklz;
    const char *serialText, *innText, *eklzText;
};

class RegisterIdentities : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(RegisterIdentities, FiscalMemoryReportsEnteredAndNeverEnteredNumbers) {
    const IdentityCase& c = GetParam();
    EmuRegisterModel m;
    m.serialNumber = c.serial;
    m.inn = c.inn;
    m.eklzNumber = c.eklz;
    EmuRegister reg(m);
    const auto a = Ask<TCommand12h>(reg, {0x12});
    EXPECT_EQ(a->SerialNumberValid, c.serial.has_value());
    EXPECT_EQ(a->SerialNumber, c.serialText);
    EXPECT_EQ(a->INNValid, c.inn.has_value());
    EXPECT_EQ(a->INN, c.innText);
    EXPECT_EQ(a->EKLZNumberValid, c.eklz.has_value());
    EXPECT_EQ(a->EKLZNumber, c.eklzText);
}

INSTANTIATE_TEST_SUITE_P(Cases, RegisterIdentities,
                         ::testing::Values(IdentityCase{"AllEntered", 12345, 7701234567ULL, 1234567890ULL,
                                                        "00012345", "007701234567", "1234567890"},
                                           IdentityCase{"NoneEntered", std::nullopt, std::nullopt,
                                                        std::nullopt, "не введен", "не введен", "не введен"},
                                           IdentityCase{"Zeros", 0, 0, 0, "00000000", "000000000000",
                                                        "0000000000"},
                                           IdentityCase{"Widest", 99999999, 999999999999ULL, 9999999999ULL,
                                                        "99999999", "999999999999", "9999999999"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct InvalidModelCase {
    const char* name;
    void (*spoil)(EmuRegisterModel&);
};

class RegisterRefuses : public ::testing::TestWithParam<InvalidModelCase> {};

TEST_P(RegisterRefuses, ModelsItCouldNotReportAndKeepsTheOldOne) {
    EmuRegisterModel m;
    GetParam().spoil(m);
    EXPECT_THROW(EmuRegister{m}, std::invalid_argument);
    EmuRegister reg;
    EXPECT_THROW(reg.SetModel(m), std::invalid_argument);
    EXPECT_NO_THROW(reg.Model().Validate());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegisterRefuses,
    ::testing::Values(
        InvalidModelCase{"SerialOfNineDigits", [](EmuRegisterModel& m) { m.serialNumber = 100000000; }},
        InvalidModelCase{"InnOfThirteenDigits", [](EmuRegisterModel& m) { m.inn = 1000000000000ULL; }},
        InvalidModelCase{"EklzOfElevenDigits", [](EmuRegisterModel& m) { m.eklzNumber = 10000000000ULL; }},
        // One byte beyond what a frame carries; Ж is one byte in the register's code page.
        InvalidModelCase{"NameBeyondTheFrame",
                         [](EmuRegisterModel& m) { m.description = std::string(238, 'x') + "Ж"; }},
        InvalidModelCase{"NoPorts", [](EmuRegisterModel& m) { m.ports.clear(); }},
        InvalidModelCase{"BlockBeyondDevice",
                         [](EmuRegisterModel& m) { m.dumpDevices[1].written[1] = Bytes(32, 0); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Register, LongestNameFillsAFrameExactly) {
    EmuRegisterModel m;
    m.description = std::string(EmuRegisterModel::kMaxDescriptionBytes - 1, 'x') + "Ж";
    EmuRegister reg(m);
    EXPECT_EQ(reg.Execute(RequestFrame({0xFC}))->BuildBody().size(), 6u + 246u);
    EXPECT_THROW(m.WriteDumpBlock(8, 0, {}), std::out_of_range);
    EXPECT_THROW(m.WriteDumpBlock(7, 0, {}), std::out_of_range);  // a device without memory
}

}  // namespace
