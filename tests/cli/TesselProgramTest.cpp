// The tessel program as its users meet it: a child process that creates the driver registered in the test's
// own settings folder, talks to the emulator program on a pseudo-terminal mapped as COM1, and prints the
// lines scripts read.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "common/platform/CodePage.h"
#include "support/ChildProcess.h"
#include "support/DriverRegistration.h"
#include "support/EmulatorProgram.h"
#include "support/TempDir.h"

using namespace tessel_test;

namespace {

// Each fragment must occur in a line after the line where the one before it occurred.
void ExpectInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& fragments) {
    std::size_t at = 0;
    for (const std::string& fragment : fragments) {
        while (at < lines.size() && lines[at].find(fragment) == std::string::npos) ++at;
        if (at == lines.size()) {
            ADD_FAILURE() << "\"" << fragment << "\" missing (or out of order) in:\n"
                          << ::testing::PrintToString(lines);
            return;
        }
        ++at;
    }
}

std::size_t CountStarting(const std::vector<std::string>& lines, const std::string& prefix) {
    std::size_t n = 0;
    for (const std::string& line : lines) n += line.starts_with(prefix) ? 1 : 0;
    return n;
}

class TesselProgram : public ::testing::Test {
  protected:
    RunResult Tessel(const std::vector<std::string>& args, Env env = {}) const {
        env.merge(driver_.Settings());
        return RunProgram(TESSEL_CLI, args, env);
    }
    std::unique_ptr<ChildProcess> StartTessel(const std::vector<std::string>& args, Env env = {}) const {
        env.merge(driver_.Settings());
        return std::make_unique<ChildProcess>(TESSEL_CLI, args, env);
    }
    std::string WriteFile(const std::string& name, const std::string& text) const {
        const std::string path = files_.File(name);
        std::ofstream(path) << text;
        return path;
    }

    RegisteredCopy driver_;
    TempDir files_;
};

// The mode's text comes from the table of the register's model, which GetDeviceMetrics reports.
TEST_F(TesselProgram, AsksTheRegisterThroughEnglishAndRussianNames) {
    EmulatorProgram emulator(kRegisterAt2, driver_.Settings());
    const RunResult r = Tessel(
        {
            "set", "PortNumber=1",       "call", "GetDeviceMetrics", "call", "GetECRStatus",
            "get", "ECRModeDescription", "get",  "режимккм",         "call", "ПолучитьСостояниеФП",
            "get", "SerialNumber",       "set",  "TableNumber=2",    "set",  "RowNumber=1",
            "set", "FieldNumber=2",      "call", "ReadTable",        "get",  "FieldValue",
        },
        {{"TESSEL_COM1", emulator.Path()}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.OutLines(), (std::vector<std::string>{
                                "GetDeviceMetrics: (0) Ошибок нет",
                                "GetECRStatus: (0) Ошибок нет",
                                "ECRModeDescription = режим регистрации",
                                "режимккм = 1",
                                "ПолучитьСостояниеФП: (0) Ошибок нет",
                                "SerialNumber = 12345678",
                                "ReadTable: (0) Ошибок нет",
                                "FieldValue = Кассир 1",
                            }));
}

TEST_F(TesselProgram, PrintsEveryKindOfValueInItsOneForm) {
    struct Row {
        const char* set;
        const char* get;
        const char* line;
    };
    const Row rows[] = {
        {"EKLZNumberValid=-1", "EKLZNumberValid", "EKLZNumberValid = true"},
        {"INNValid=false", "INNValid", "INNValid = false"},
        {"Price=45.5", "Price", "Price = 45.50"},
        {"Summ=0,1234", "Summ", "Summ = 0.1234"},
        {"CashRegister=-3", "CashRegister", "CashRegister = -3.00"},
        {"Quantity=2.5", "Quantity", "Quantity = 2.5"},
        {"ECRDay=300", "ECRDay", "ECRDay = 44"},
        {"ECRDate=09.02.2024", "ECRDate", "ECRDate = 09.02.2024"},
        {"ECRTime=13:45:07", "ECRTime", "ECRTime = 13:45:07"},
        {"Text=a\\b\tc\nd", "Text", "Text = a\\\\b\\x09c\\x0Ad"},
        {"Цена=12.5", "цЕНа", "цЕНа = 12.50"},
        {"Barcode=\"  46 \"", "Barcode", "Barcode =   46 "},
    };
    std::vector<std::string> args;
    for (const Row& row : rows) args.insert(args.end(), {"set", row.set, "get", row.get});
    const RunResult r = Tessel(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = r.OutLines();
    ASSERT_EQ(lines.size(), std::size(rows)) << r.out;
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], rows[i].line) << "set " << rows[i].set;
}

struct ExitCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> out;  // every line
    const char* err;               // a part of standard error ("" for none at all)
};

void PrintTo(const ExitCase& c, std::ostream* os) {
    *os << c.name;
}

class TesselExit : public TesselProgram, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(TesselExit, TellsHowTheStepsEnded) {
    const ExitCase& c = GetParam();
    const RunResult r = Tessel(c.args, {{"TESSEL_COM9", files_.File("no-such-port")}});
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_EQ(r.OutLines(), c.out);
    if (std::string(c.err).empty()) {
        EXPECT_EQ(r.err, "");
    } else {
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TesselExit,
    ::testing::Values(
        ExitCase{"FailedMethodGoesOn",
                 {"set", "PortNumber=9", "call", "Beep", "get", "ResultCode"},
                 1,
                 {"Beep: (-3) Порт недоступен", "ResultCode = -3"},
                 ""},
        ExitCase{"UnknownMemberStopsTheRun",
                 {"get", "ResultCode", "get", "NoSuchThing", "get", "Version"},
                 2,
                 {"ResultCode = 0"},
                 "\"NoSuchThing\""},
        ExitCase{
            "UnknownStepStopsBeforeTheDriver", {"get", "Version", "frobnicate"}, 2, {}, "\"frobnicate\""},
        ExitCase{"RefusedValue", {"set", "Price=abc", "get", "Version"}, 2, {}, "setting Price failed"},
        ExitCase{"ReadOnlyProperty", {"set", "ResultCode=1"}, 2, {}, "setting ResultCode failed"},
        ExitCase{"MissingRulesFile",
                 {"get", "Version", "listen", "1", "/nonexistent/rules"},
                 2,
                 {},
                 "cannot read"},
        ExitCase{"MalformedWait", {"wait", "soon"}, 2, {}, "wait must be a whole number"},
        ExitCase{"NoSteps", {}, 2, {}, "no steps"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TesselProgram, WithoutRegistrationSaysHowToRegister) {
    TempDir empty;
    const RunResult r = RunProgram(TESSEL_CLI, {"get", "Version"}, {{"TESSEL_REGISTRY_DIR", empty.Path()}});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Addin.TesselDriver"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("tessel-regsvr"), std::string::npos) << r.err;
}

TEST_F(TesselProgram, HelpDocumentsTheRulesFormat) {
    const RunResult r = Tessel({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("Usage: tessel"));
    ExpectInOrder(r.OutLines(), {"listen [SECONDS] [RULES] [count=N]", "Rules file:", "[81]", "Exit status"});
}

TEST_F(TesselProgram, TakesStepsFromAFileInPlace) {
    const std::string steps = WriteFile("steps.txt",
                                        "# a comment, then blank lines\n\n"
                                        "set Text=\"  padded  \"\r\n"
                                        "   get Text\n"
                                        "set Barcode=4601 234   \n"
                                        "wait 20\n");
    const RunResult r = Tessel({"get", "ResultCode", "-f", steps, "get", "Barcode"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.OutLines(),
              (std::vector<std::string>{"ResultCode = 0", "Text =   padded  ", "Barcode = 4601 234"}));

    const std::string bad = WriteFile("bad.txt", "get Version\n\nsett Text=1\n");
    const RunResult refused = Tessel({"-f", bad});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find(bad + ":3"), std::string::npos) << refused.err;
}

TEST_F(TesselProgram, ListsEveryMemberFromTheTypeInformation) {
    const RunResult r = Tessel({"members"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : r.OutLines()) {
        std::istringstream words(line);
        std::vector<std::string> row;
        for (std::string w; words >> w;) row.push_back(w);
        rows.push_back(row);
    }
    // Every slot of the three dual interfaces but the seven of IUnknown and IDispatch: 312 - 7.
    EXPECT_EQ(rows.size(), 305u);
    const std::vector<std::vector<std::string>> expected = {
        {"-552", "AboutBox", "ОПрограмме", "method", "-"},
        {"10", "GetECRStatus", "ПолучитьСостояниеККМ", "method", "long"},
        {"36", "Barcode", "ШтрихКод", "get", "string"},
        {"36", "Barcode", "ШтрихКод", "put", "string"},
        {"40", "CashRegister", "ДенежныйРегистр", "put", "currency"},
        {"88", "ECRTime", "ВремяККМ", "get", "date"},
        {"129", "Quantity", "Количество", "get", "double"},
        {"141", "ResultDescription", "ОписаниеРезультата", "get", "string"},
        {"174", "SendCadr", "ПередатьКадр", "method", "long"},
        {"176", "CommandExecuteFlag", "ФлагВыполненияКоманды", "get", "boolean"},
    };
    for (const auto& row : expected) {
        EXPECT_NE(std::find(rows.begin(), rows.end(), row), rows.end()) << ::testing::PrintToString(row);
    }
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 5u) << ::testing::PrintToString(row);
        EXPECT_NE(row[1], "Invoke");
        EXPECT_EQ(std::count(rows.begin(), rows.end(), row), 1) << ::testing::PrintToString(row);
    }
}

// The 40-character goods name as the register receives it: Windows-1251, filled with blanks.
std::string Name40Hex(const std::string& utf8) {
    std::string bytes = tessel::Utf8ToCp1251(utf8);
    bytes.resize(40, ' ');
    std::string hex;
    char byte[4];
    for (const unsigned char b : bytes) {
        std::snprintf(byte, sizeof byte, "%02X ", b);
        hex += byte;
    }
    return hex;
}

TEST_F(TesselProgram, ListenAnswersTheRegistersRequestsByItsRules) {
    EmulatorProgram emulator({"--address", "2", "--timeout", "2000"}, driver_.Settings());
    const std::string rules = WriteFile("rules.txt",
                                        "# goods by article code\n"
                                        "[81]\n"
                                        "set Text=Молоко\n"
                                        "set Price=45.50\n"
                                        "set Section=3\n"
                                        "set Tax1=1\nset Tax2=0\nset Tax3=0\nset Tax4=0\n"
                                        "[83 0x87] # accepted as they are\n"
                                        "[88h]\n"
                                        "set CommandResultCode=1\n");
    const auto tessel =
        StartTessel({"set", "PortNumber=1", "set", "DeviceEnabled=true", "listen", "60", rules, "count=4"},
                    {{"TESSEL_COM1", emulator.Path()}});
    const auto start = tessel->ReadUntil("Listening");
    ASSERT_FALSE(start.empty());
    EXPECT_EQ(start.back(), "Listening (time 60 s, commands 4, rules " + rules + ")");

    // Goods by code 123, quantity 2: the answer carries what the rule set.
    EXPECT_EQ(emulator.Command("send 2 81 01 00 D0 07 00 00 00 7B 00 00 00 00 01"),
              "ANSWER 0 \"Ошибок нет\" DATA " + Name40Hex("Молоко") + "C6 11 00 00 00 03 01 00 00 00");
    // A free discount of 1.00: accepted by an empty section.
    EXPECT_EQ(emulator.Command("send 2 83 01 00 00 64 00 00 00 00 01"), "ANSWER 0 \"Ошибок нет\"");
    // Payment on request for 80.30: refused by the rule, so the answer is the result byte alone.
    EXPECT_TRUE(emulator.Command("send 2 88 01 00 5E 1F 00 00 00 01").starts_with("ANSWER 1 "));
    // A registration at a free price has no rule: printed, not answered.
    EXPECT_EQ(emulator.Command("send 2 80 01 00 E8 03 00 00 00 10 27 00 00 00 01 01"), "NO ANSWER");

    std::string out, err;
    EXPECT_EQ(tessel->Finish(out, err), 0) << err;
    const std::vector<std::string> lines = Lines(out);
    ExpectInOrder(lines,
                  {": 81h *Регистрация по коду", "CommandSrcAddress = 2", "CommandType = 0",
                   "CommandExecuteFlag = true", "Quantity = 2", "Code = 123", "SendCommand: (0) Ошибок нет",
                   ": 83h *Свободная скидка", "Summ = 1.00", "SendCommand: (0) Ошибок нет",
                   ": 88h *Оплата чека по запросу", "RecSumm = 80.30", "SendCommand: (0) Ошибок нет",
                   ": 80h *Регистрация по свободной цене", "Price = 100.00", "Listened: 4 command(s)"});
    EXPECT_EQ(CountStarting(lines, "SendCommand:"), 3u);
    EXPECT_EQ(CountStarting(lines, "Command "), 4u);
}

TEST_F(TesselProgram, ListenShowsAnswersThatNobodyAwaited) {
    EmulatorProgram emulator(kRegisterAt2, driver_.Settings());
    const RunResult r = Tessel({"set", "PortNumber=1", "call", "SearchDevice", "listen", "60", "count=1"},
                               {{"TESSEL_COM1", emulator.Path()}});
    EXPECT_EQ(r.status, 0) << r.err;
    ExpectInOrder(r.OutLines(),
                  {"SearchDevice: (0) Ошибок нет", "Listening (time 60 s, commands 1, rules none)", ": FAh",
                   "CommandSrcAddress = 2", "CommandType = 1", "CommandResultCode = 0",
                   "CommandResultDescription = Ошибок нет", "Listened: 1 command(s)"});
}

TEST_F(TesselProgram, ListenEndsWhenItsTimeIsUp) {
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = Tessel({"listen", "1", "get", "ResultCode"});
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.OutLines(), (std::vector<std::string>{"Listening (time 1 s, commands unlimited, rules none)",
                                                      "Listened: 0 command(s)", "ResultCode = 0"}));
}

class TesselStopSignal : public TesselProgram, public ::testing::WithParamInterface<int> {};

TEST_P(TesselStopSignal, EndsListeningCleanlyAndSkipsTheRest) {
    const auto tessel = StartTessel({"listen", "get", "Version"});
    ASSERT_FALSE(tessel->ReadUntil("Listening").empty());
    tessel->Signal(GetParam());
    std::string out, err;
    EXPECT_EQ(tessel->Finish(out, err), 0) << err;
    EXPECT_EQ(out, "Listened: 0 command(s)\n");
    EXPECT_EQ(err, "");
}

INSTANTIATE_TEST_SUITE_P(Signals, TesselStopSignal, ::testing::Values(SIGINT, SIGTERM));

}  // namespace
