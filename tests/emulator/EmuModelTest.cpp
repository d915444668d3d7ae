// The register model's registers, decimal point and clock, through the register's answers, and the model
// file.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "driver/commands/untRegisterCommands.h"
#include "driver/commands/untStatusCommands.h"
#include "driver/commands/untTableCommands.h"
#include "support/Frames.h"
#include "support/TempDir.h"
#include "tools/emulator/EmuRegister.h"

namespace {

Bytes RequestFrame(const Bytes& payload) {
    Bytes body{2, 1, 0x00, 0, 0, static_cast<std::uint8_t>(payload.size())};
    body.insert(body.end(), payload.begin(), payload.end());
    return UnstuffedFrame(body);
}

template <class T>
std::unique_ptr<T> Ask(EmuRegister& reg, const Bytes& payload) {
    const std::unique_ptr<TCommand> answer = reg.Execute(RequestFrame(payload));
    auto decoded = std::make_unique<T>();
    EXPECT_EQ(decoded->SetFrame(UnstuffedFrame(answer->BuildBody()), true), "");
    return decoded;
}

std::int32_t Result(EmuRegister& reg, const Bytes& payload) {
    return reg.Execute(RequestFrame(payload))->ResultCode;
}

struct ResultCase {
    const char* name;
    Bytes payload;
    std::int32_t result;
};

class ModelResults : public ::testing::TestWithParam<ResultCase> {};

TEST_P(ModelResults, AnswerWithTheRegistersResultCode) {
    EmuRegister reg;
    EXPECT_EQ(Result(reg, GetParam().payload), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ModelResults,
    ::testing::Values(
        ResultCase{"LastCashRegister", {0x1A, 0xFF, 0x00}, 0},
        ResultCase{"CashRegisterBeyond", {0x1A, 0x00, 0x01}, 129},
        ResultCase{"OperationRegisterBeyond", {0x1B, 0x00, 0x01}, 129},
        ResultCase{"LastRestRegister", {0x1C, 0xE7, 0x03}, 0},
        ResultCase{"RestRegisterBeyond", {0x1C, 0xE8, 0x03}, 129},
        ResultCase{"SetRestRegisterBeyond", {0x1D, 0xE8, 0x03, 1, 0, 0, 0}, 129},
        ResultCase{"ShortSetRest", {0x1D, 0x01, 0x00, 1}, 1}, ResultCase{"PointOff", {0x20, 0}, 0},
        ResultCase{"PointTwo", {0x20, 2}, 140}, ResultCase{"Midnight", {0x21, 0, 0, 0}, 0},
        ResultCase{"Hour24", {0x21, 24, 0, 0}, 7}, ResultCase{"Minute60", {0x21, 12, 60, 0}, 7},
        ResultCase{"Second60", {0x21, 12, 0, 60}, 7}, ResultCase{"LeapDay2024", {0x22, 29, 2, 24}, 0},
        ResultCase{"NoLeapDay2023", {0x22, 29, 2, 23}, 7}, ResultCase{"April31", {0x22, 31, 4, 24}, 7},
        ResultCase{"Month13", {0x22, 1, 13, 24}, 7}, ResultCase{"DayZero", {0x22, 0, 1, 24}, 7},
        ResultCase{"Year100", {0x22, 1, 1, 100}, 7},
        ResultCase{"WriteOutOfRange", {0x1E, 1, 1, 0, 1, 0, 100, 0, 0, 0}, 140},
        ResultCase{"InitTables", {0x24}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Model, RegistersAnswerAndRestRegistersAreWritten) {
    EmuRegisterModel m;
    m.cashRegisters[255] = 12345;
    m.operationRegisters[3] = 0xBEEF;
    EmuRegister reg(m);
    EXPECT_EQ(Ask<TCommand1Ah>(reg, {0x1A, 0xFF, 0x00})->CashRegister, 1'234'500);  // 123.45
    EXPECT_EQ(Ask<TCommand1Bh>(reg, {0x1B, 0x03, 0x00})->OperationRegister, 0xBEEF);

    EXPECT_EQ(Result(reg, {0x1D, 0x07, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}), 0);
    EXPECT_EQ(reg.Model().restRegisters[7], -1);
    EXPECT_EQ(Ask<TCommand1Ch>(reg, {0x1C, 0x07, 0x00})->RestRegister, -1);

    m.cashRegisters[0] = EmuRegisterModel::kMaxCashRegister + 1;
    EXPECT_THROW(reg.SetModel(m), std::invalid_argument);
}

TEST(Model, DecimalPointIsTheStatusFlag) {
    EmuRegisterModel m;
    m.flags = 0x8001;
    EmuRegister reg(m);
    ASSERT_EQ(Result(reg, {0x20, 1}), 0);
    EXPECT_EQ(reg.Model().PointPosition(), 1);
    EXPECT_EQ(Ask<TCommand11h>(reg, {0x11})->ECRFlags, 0x8101);
    ASSERT_EQ(Result(reg, {0x20, 1}), 0);  // setting it again is harmless
    ASSERT_EQ(Result(reg, {0x20, 0}), 0);
    EXPECT_EQ(Ask<TCommand11h>(reg, {0x11})->ECRFlags, 0x8001);
}

TEST(Model, SetClockRunsFromTheMomentOfSetting) {
    EmuRegisterModel m;
    m.clock = EmuDateTime{1, 1, 20, 0, 0, 0};  // a stopped clock is replaced by a running one
    const std::time_t t0 = 1'700'000'000;
    ASSERT_TRUE(m.SetClockDate(31, 12, 99, t0));
    ASSERT_TRUE(m.SetClockTime(23, 59, 58, t0));
    EXPECT_FALSE(m.clock.has_value());
    EXPECT_EQ(m.ClockAt(t0), (EmuDateTime{31, 12, 99, 23, 59, 58}));
    // Three seconds later the year has turned over its two digits.
    EXPECT_EQ(m.ClockAt(t0 + 3), (EmuDateTime{1, 1, 0, 0, 0, 1}));
    EXPECT_EQ(m.ClockAt(t0 + 86'400 * 60), (EmuDateTime{1, 3, 0, 23, 59, 58}));  // 2100 has no 29 February

    // Setting the time keeps the running date; a refused value changes nothing.
    const auto offset = m.clockOffset;
    EXPECT_FALSE(m.SetClockTime(25, 0, 0, t0));
    EXPECT_FALSE(m.SetClockDate(30, 2, 24, t0));
    EXPECT_EQ(m.clockOffset, offset);
    ASSERT_TRUE(m.SetClockTime(8, 0, 0, t0));
    EXPECT_EQ(m.ClockAt(t0), (EmuDateTime{31, 12, 99, 8, 0, 0}));
}

TEST(Model, StatusReportsTheClockSetOnTheLine) {
    EmuRegister reg;
    ASSERT_EQ(Result(reg, {0x22, 15, 3, 30}), 0);
    ASSERT_EQ(Result(reg, {0x21, 10, 20, 0}), 0);
    const auto status = Ask<TCommand11h>(reg, {0x11});
    EXPECT_EQ((Bytes{status->ECRDay, status->ECRMonth, status->ECRYear, status->ECRHour, status->ECRMin}),
              (Bytes{15, 3, 30, 10, 20}));
    EXPECT_LE(status->ECRSec, 5);  // tolerant: real time runs on
}

TEST(Model, TablesAnswerThroughTheCommandClasses) {
    EmuRegister reg;
    const auto table = Ask<TCommand2Dh>(reg, {0x2D, 6});
    EXPECT_EQ(table->TableName, "Текст в чеке");
    EXPECT_EQ(table->RowCount, 6);
    EXPECT_EQ(table->FieldCount, 1);
    const auto field = Ask<TCommand2Eh>(reg, {0x2E, 1, 3});
    EXPECT_EQ(field->FieldType, 0);
    EXPECT_EQ(field->FieldSize, 7);
    EXPECT_EQ(field->FieldMaxValue, 2147483647);  // 14 digits reported at the edge of four bytes

    // Write a text, then read it back as the register sends it.
    Bytes write{0x1E, 2, 5, 0, 2, 1};
    for (char c : std::string("Petrov")) write.push_back(static_cast<std::uint8_t>(c));
    write.push_back(0);
    ASSERT_EQ(Result(reg, write), 0);
    const auto read = Ask<TCommand1Fh>(reg, {0x1F, 2, 5, 0, 2});
    EXPECT_EQ(read->FieldType, 1);
    ASSERT_EQ(read->FieldValueBytes.size(), 21u);
    EXPECT_EQ(DecodeFieldValue(read->FieldValueBytes, false, 1), "Petrov");

    ASSERT_EQ(Result(reg, {0x24}), 0);
    EXPECT_EQ(DecodeFieldValue(Ask<TCommand1Fh>(reg, {0x1F, 2, 5, 0, 2})->FieldValueBytes, false, 1),
              "Кассир 5");
}

// ---- Model file ----

class ModelFile : public ::testing::Test {
  protected:
    std::string Write(const std::string& text) {
        std::ofstream(path_) << text;
        return path_;
    }
    TempDir dir_;
    std::string path_ = dir_.File("model.ini");
};

TEST_F(ModelFile, RoundTripKeepsWhatTheComputerChanged) {
    EmuRegisterModel m;
    m.cashRegisters[0] = EmuRegisterModel::kMaxCashRegister;
    m.operationRegisters[255] = 65535;
    m.restRegisters[999] = -2'147'483'647 - 1;
    m.SetPointPosition(1);
    ASSERT_TRUE(m.SetClockDate(1, 2, 3));
    ASSERT_EQ(m.tables.Write(2, 1, 2, 1, "Кассир \"Ё\" \\ 1"), kEmuTableOk);
    ASSERT_EQ(m.tables.Write(6, 2, 1, 1, "две\nстроки"), kEmuTableOk);
    ASSERT_EQ(m.tables.Write(1, 1, 3, 0, "99999999999999"), kEmuTableOk);
    m.serialNumber = 42;  // not kept in the file: comes from the model loaded onto
    SaveModelFile(m, path_);

    const EmuRegisterModel loaded = LoadModelFile(path_);
    EXPECT_EQ(loaded.cashRegisters, m.cashRegisters);
    EXPECT_EQ(loaded.operationRegisters, m.operationRegisters);
    EXPECT_EQ(loaded.restRegisters, m.restRegisters);
    EXPECT_EQ(loaded.PointPosition(), 1);
    EXPECT_EQ(loaded.clockOffset, m.clockOffset);
    EXPECT_EQ(loaded.tables, m.tables);
    EXPECT_EQ(loaded.serialNumber, EmuRegisterModel().serialNumber);

    // A file that lists little keeps the rest of the base model.
    EmuRegisterModel base;
    base.restRegisters[1] = 5;
    const EmuRegisterModel partial = LoadModelFile(Write("# comment\n[rest]\n2 = -3\n"), base);
    EXPECT_EQ(partial.restRegisters[1], 5);
    EXPECT_EQ(partial.restRegisters[2], -3);
}

struct BadFileCase {
    const char* name;
    const char* text;
    int line;
};

class BadModelFile : public ::testing::TestWithParam<BadFileCase> {};

TEST_P(BadModelFile, NamesTheFileAndLine) {
    TempDir dir;
    const std::string path = dir.File("bad.ini");
    std::ofstream(path) << GetParam().text;
    try {
        LoadModelFile(path);
        FAIL() << "loaded";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind(path + ":" + std::to_string(GetParam().line) + ": ", 0), 0u)
            << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BadModelFile,
    ::testing::Values(BadFileCase{"ValueBeforeSection", "point = 1\n", 1},
                      BadFileCase{"UnknownSection", "\n[drawer]\n", 2},
                      BadFileCase{"NoEquals", "[cash]\n1 12\n", 2},
                      BadFileCase{"UnknownKey", "[register]\ncolour = 1\n", 2},
                      BadFileCase{"PointTwo", "[register]\npoint = 2\n", 2},
                      BadFileCase{"RegisterBeyond", "[cash]\n256 = 1\n", 2},
                      BadFileCase{"CashBeyondSixBytes", "[cash]\n0 = 281474976710656\n", 2},
                      BadFileCase{"RestNotANumber", "[rest]\n0 = many\n", 2},
                      BadFileCase{"TableBeyond", "[table 7]\n", 1},
                      BadFileCase{"RowBeyond", "[table 3]\n17.1 = \"x\"\n", 2},
                      BadFileCase{"FieldBeyond", "[table 3]\n1.2 = \"x\"\n", 2},
                      BadFileCase{"TextUnquoted", "[table 3]\n1.1 = x\n", 2},
                      BadFileCase{"TextTooLong", "[table 3]\n1.1 = \"123456789012345678901\"\n", 2},
                      BadFileCase{"NumberOutOfRange", "[table 4]\n1.1 = 10000\n", 2},
                      BadFileCase{"BareQuoteInText", "[table 3]\n1.1 = \"a\"b\"\n", 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ModelFileMissing, IsAnErrorNamingTheFile) {
    TempDir dir;
    const std::string path = dir.File("absent.ini");
    try {
        LoadModelFile(path);
        FAIL() << "loaded";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
    }
}

}  // namespace
