// The tessel program as its users meet it: a child process that creates the driver registered in the test's
// own settings folder, talks to the emulator program on a pseudo-terminal mapped as COM1, and prints the
// lines scripts read.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
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
    std::vector<std::string> out;  // every line; {port} stands for what COM9 leads to
    const char* err;               // a part of standard error ("" for none at all)
};

void PrintTo(const ExitCase& c, std::ostream* os) {
    *os << c.name;
}

class TesselExit : public TesselProgram, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(TesselExit, TellsHowTheStepsEnded) {
    const ExitCase& c = GetParam();
    const std::string port = files_.File("no-such-port");
    const RunResult r = Tessel(c.args, {{"TESSEL_COM9", port}});
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    std::vector<std::string> out = c.out;
    for (std::string& line : out) {
        if (const auto at = line.find("{port}"); at != std::string::npos) line.replace(at, 6, port);
    }
    EXPECT_EQ(r.OutLines(), out);
    if (std::string(c.err).empty()) {
        EXPECT_EQ(r.err, "");
    } else {
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
}

// What the driver says of COM9, which leads nowhere.
constexpr const char* kNoPort = "(-3) Порт недоступен: COM9 = {port} (TESSEL_COM9)";

std::string Failed(const std::string& step, const std::string& result = kNoPort) {
    return step + ": " + result;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TesselExit,
    ::testing::Values(
        ExitCase{"FailedMethodStopsTheRun",
                 {"set", "PortNumber=9", "call", "Beep", "get", "ResultCode"},
                 1,
                 {Failed("Beep")},
                 ""},
        ExitCase{"KeepGoingRunsTheStepsAfterAFailedOne",
                 {"--keep-going", "set", "PortNumber=9", "call", "Beep", "get", "ResultCode"},
                 1,
                 {Failed("Beep"), "ResultCode = -3"},
                 ""},
        ExitCase{"RefusedSetIsAFailedStep",
                 {"set", "PortNumber=999", "call", "GetECRStatus"},
                 1,
                 {Failed("PortNumber", "(-6) Недопустимое значение")},
                 ""},
        // Each set is judged by the result it leaves itself, not by the one before it.
        ExitCase{"EverySetIsJudgedByItsOwnResult",
                 {"--keep-going", "set", "LDNumber=0", "set", "LDNumber=0", "set", "Price=1", "get", "Price"},
                 1,
                 {Failed("LDNumber", "(-6) Недопустимое значение"),
                  Failed("LDNumber", "(-6) Недопустимое значение"), "Price = 1.00"},
                 ""},
        ExitCase{"PortThatDoesNotOpen",
                 {"set", "PortNumber=9", "set", "DeviceEnabled=true", "get", "Version"},
                 1,
                 {Failed("DeviceEnabled")},
                 ""},
        ExitCase{"ListenOnAPortThatDoesNotOpen",
                 {"set", "PortNumber=9", "listen", "1", "get", "Version"},
                 1,
                 {Failed("listen")},
                 ""},
        ExitCase{"UnknownMemberStopsTheRun",
                 {"get", "ResultCode", "get", "NoSuchThing", "get", "Version"},
                 2,
                 {"ResultCode = 0"},
                 "\"NoSuchThing\""},
        ExitCase{
            "UnknownStepStopsBeforeTheDriver", {"get", "Version", "frobnicate"}, 2, {}, "\"frobnicate\""},
        ExitCase{"UnknownRunOption", {"--frobnicate", "get", "Version"}, 2, {}, "\"--frobnicate\""},
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

#ifdef TESSEL_TEST_DIALOGS
// AboutBox yields nothing and leaves the last result: the failure before it stays that step's own.
TEST_F(TesselProgram, AboutBoxIsNotTakenForTheFailureBeforeIt) {
    std::filesystem::copy_file(TESSEL_TEST_DIALOGS, driver_.Folder() + "/libTesselDrvUi.so");
    const std::string port = files_.File("no-such-port");
    const RunResult r = Tessel(
        {"--keep-going", "set", "PortNumber=9", "call", "Beep", "call", "AboutBox", "get", "ResultCode"},
        {{"TESSEL_COM9", port}});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.OutLines(),
              (std::vector<std::string>{"Beep: (-3) Порт недоступен: COM9 = " + port + " (TESSEL_COM9)",
                                        "AboutBox: (0) Ошибок нет", "ResultCode = -3"}));
    const RunResult refused = Tessel({"call", "AboutBox"}, {{"TESSEL_COM9", files_.File("no-such-port")},
                                                            {"TESSEL_TEST_DIALOG_ANSWER", "-6"}});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.OutLines(), (std::vector<std::string>{"AboutBox: (-6) Недопустимое значение"}));
}
#endif

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
    ExpectInOrder(r.OutLines(),
                  {"--keep-going", "Settings persist", "  settings ", "listen [SECONDS] [RULES] [count=N]",
                   "Rules file:", "[81]", "Exit status", "130 after SIGINT", "Language"});
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

// A `*` section accepts a request as it is: its answer must not carry what an earlier answer left.
TEST_F(TesselProgram, ListenAnswersStartFromEmptyAnswerProperties) {
    EmulatorProgram emulator({"--address", "2", "--timeout", "2000"}, driver_.Settings());
    const std::string rules = WriteFile("rules.txt",
                                        "[81]\nset Text=Молоко\nset Price=45.50\nset Section=3\n"
                                        "set Tax1=1\nset Tax2=0\nset Tax3=0\nset Tax4=0\n"
                                        "[84]\nset Summ=1.50\n"
                                        "[*]\n");
    const auto tessel = StartTessel({"set", "PortNumber=1", "listen", "60", rules, "count=3"},
                                    {{"TESSEL_COM1", emulator.Path()}});
    ASSERT_FALSE(tessel->ReadUntil("Listening").empty());
    const std::string goods = emulator.Command("send 2 81 01 00 D0 07 00 00 00 7B 00 00 00 00 01");
    EXPECT_TRUE(goods.starts_with("ANSWER 0 \"Ошибок нет\" DATA " + Name40Hex("Молоко"))) << goods;
    // A discount by code: its own section sets the sum alone; the text stays empty.
    EXPECT_EQ(emulator.Command("send 2 84 01 00 00 7B 00 00 00 00 64 00 00 00 00 01"),
              "ANSWER 0 \"Ошибок нет\" DATA " + Name40Hex("") + "96 00 00 00 00");
    // A discount on request, answered by `*`: no text and no sum of the answers before.
    EXPECT_EQ(emulator.Command("send 2 86 01 00 00 64 00 00 00 00 01"),
              "ANSWER 0 \"Ошибок нет\" DATA " + Name40Hex("") + "00 00 00 00 00");
    std::string out, err;
    EXPECT_EQ(tessel->Finish(out, err), 0) << err;
}

// An emulator started again on the same port goes on counting where it stopped, as the driver does: its
// first request is a new one, not one out of sequence that the driver refuses by itself (204) unseen.
TEST_F(TesselProgram, RestartedEmulatorsRequestsReachTheBackOffice) {
    const std::string rules = WriteFile("rules.txt", "[*]\n");
    for (int run = 1; run <= 2; ++run) {
        EmulatorProgram emulator({"--address", "2", "--com", "1", "--timeout", "2000"}, driver_.Settings());
        // The port comes from the emulator's entry in the settings store.
        const auto tessel = StartTessel({"set", "PortNumber=1", "listen", "60", rules, "count=2"});
        ASSERT_FALSE(tessel->ReadUntil("Listening").empty());
        for (int request = 1; request <= 2; ++request) {
            EXPECT_EQ(emulator.Command("send 2 83 01 00 00 64 00 00 00 00 01"), "ANSWER 0 \"Ошибок нет\"")
                << "run " << run << ", request " << request;
        }
        std::string out, err;
        EXPECT_EQ(tessel->Finish(out, err), 0) << err;
        EXPECT_NE(out.find("Listened: 2 command(s)"), std::string::npos) << "run " << run << "\n" << out;
    }
}

// The sample sale and the sample back office that the README uses: every request of the sale is answered.
TEST_F(TesselProgram, SampleSaleIsAnsweredByTheSampleRules) {
    const std::string examples = TESSEL_EXAMPLES;
    EmulatorProgram emulator({"--address", "2", "--script", examples + "/sale.txt", "--timeout", "20000"},
                             driver_.Settings());
    const RunResult r = Tessel({"set", "PortNumber=1", "listen", "60", examples + "/rules.txt", "count=6"},
                               {{"TESSEL_COM1", emulator.Path()}});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(CountStarting(r.OutLines(), "SendCommand: (0) Ошибок нет"), 6u) << r.out;
    std::vector<std::string> played;
    for (int i = 0; i < 6; ++i) played.push_back(emulator.Process().ReadLine().value_or("(none)"));
    ExpectInOrder(
        played,
        {"OP 80h ANSWER 0", "OP 81h ANSWER 0 \"Ошибок нет\" Text=\"Молоко 3,2% 1 л\" Price=45.50",
         "OP 84h ANSWER 0 \"Ошибок нет\" Text=\"Скидка по карте\" Summ=5.00",
         "OP 88h ANSWER 0 \"Ошибок нет\" PayType=2 Summ=50.00", "OP 87h ANSWER 0", "OP 90h ANSWER 0"});
}

TEST_F(TesselProgram, ListenEndsWhenItsTimeIsUp) {
    EmulatorProgram emulator(kRegisterAt2, driver_.Settings());
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = Tessel({"set", "PortNumber=1", "listen", "1", "get", "ResultCode"},
                               {{"TESSEL_COM1", emulator.Path()}});
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.OutLines(), (std::vector<std::string>{"Listening (time 1 s, commands unlimited, rules none)",
                                                      "Listened: 0 command(s)", "ResultCode = 0"}));
}

class TesselStopSignal : public TesselProgram, public ::testing::WithParamInterface<int> {};

// A stop signal ends the run with the shell's status of a program that signal ended, and says so.
TEST_P(TesselStopSignal, EndsListeningAndSaysTheRunWasInterrupted) {
    EmulatorProgram emulator(kRegisterAt2, driver_.Settings());
    const auto tessel =
        StartTessel({"set", "PortNumber=1", "listen", "get", "Version"}, {{"TESSEL_COM1", emulator.Path()}});
    ASSERT_FALSE(tessel->ReadUntil("Listening").empty());
    tessel->Signal(GetParam());
    std::string out, err;
    EXPECT_EQ(tessel->Finish(out, err), 128 + GetParam());
    EXPECT_EQ(out, "Listened: 0 command(s)\n");
    EXPECT_EQ(err, "tessel: interrupted\n");
}

INSTANTIATE_TEST_SUITE_P(Signals, TesselStopSignal, ::testing::Values(SIGINT, SIGTERM));

// A call in progress ends when the driver returns; then the run stops, whatever the call's result.
TEST_F(TesselProgram, CtrlCDuringACallEndsTheRunAsInterrupted) {
    EmulatorProgram emulator(kRegisterAt2, driver_.Settings());
    ASSERT_EQ(emulator.Command("delay 400").substr(0, 2), "OK");
    // Eight calls of 400 ms: the signal comes while they run, even when this test is scheduled late.
    std::vector<std::string> steps = {"set", "PortNumber=1"};
    constexpr int kCalls = 8;
    for (int i = 0; i < kCalls; ++i) steps.insert(steps.end(), {"call", "GetECRStatus"});
    steps.insert(steps.end(), {"get", "ECRMode"});
    const auto tessel = StartTessel(steps, {{"TESSEL_COM1", emulator.Path()}});
    ASSERT_EQ(tessel->ReadLine(), "GetECRStatus: (0) Ошибок нет");
    const auto signalled = std::chrono::steady_clock::now();
    tessel->Signal(SIGINT);
    std::string out, err;
    EXPECT_EQ(tessel->Finish(out, err), 130);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(3)) << "one call at most";
    EXPECT_LT(CountStarting(Lines(out), "GetECRStatus: (0) Ошибок нет"), kCalls - 1u) << out;
    EXPECT_EQ(out.find("ECRMode"), std::string::npos) << out;
    EXPECT_EQ(err, "tessel: interrupted\n");
}

// What a set of a connection setting leaves is what every later run starts from, and `settings` shows it.
TEST_F(TesselProgram, SettingsShowWhatTheDriverKeepsForLaterRuns) {
    ASSERT_EQ(Tessel({"set", "PortNumber=5", "set", "BaudRate=6", "set", "DstAddress=7"}).status, 0);
    const RunResult r = Tessel({"settings"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = r.OutLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "# kept in " + driver_.Folder() + "/user.reg for every later run");
    ExpectInOrder(lines, {"LDNumber = ", "LDName = ", "PortNumber = 5", "BaudRate = 6", "DstAddress = 7",
                          "Fuel = false", "SrcAddress = 1", "Timeout = 1000", "RepCount = 3",
                          "LogEnabled = false", "LogFileName = "});
}

}  // namespace
