// tables and search as their users meet them: the tessel program as a child process with the driver
// registered in the test's own settings folder and the emulator program on a pseudo-terminal as COM1.
// Transfers take a table or two: every exchange waits for the line to fall quiet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "common/platform/CodePage.h"
#include "common/platform/Registry.h"
#include "driver/tables/untTables.h"
#include "support/ChildProcess.h"
#include "support/DriverRegistration.h"
#include "support/EmulatorProgram.h"
#include "support/TempDir.h"

using namespace tessel_test;

namespace {

// "Налоги": 4 rows of a rate (number 0..9999) and a name; "Текст в чеке": 6 rows of one text of 36.
constexpr const char* kTaxes = "4";
constexpr const char* kReceiptTexts = "6";

class TablesProgram : public ::testing::Test {
  protected:
    void SetUp() override { emulator_ = std::make_unique<EmulatorProgram>(kRegisterAt2, driver_.Settings()); }

    Env Com1() const { return {{"TESSEL_COM1", emulator_->Path()}}; }

    RunResult Tessel(std::vector<std::string> args, Env env = {}) const {
        args.insert(args.begin(), {"set", "PortNumber=1"});
        env.merge(driver_.Settings());
        env.merge(Com1());
        return RunProgram(TESSEL_CLI, args, env);
    }

    // One cell as the register holds it, read through `tessel`.
    std::string Cell(const char* table, int row, int field) const {
        const RunResult r =
            Tessel({"set", std::string("TableNumber=") + table, "set", "RowNumber=" + std::to_string(row),
                    "set", "FieldNumber=" + std::to_string(field), "call", "ReadTable", "get", "FieldValue"});
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        const auto lines = r.OutLines();
        return lines.size() == 2 ? lines[1] : "(" + r.out + ")";
    }

    void WriteCell(const char* table, int row, int field, int type, const std::string& value) const {
        const RunResult r =
            Tessel({"set", std::string("TableNumber=") + table, "set", "RowNumber=" + std::to_string(row),
                    "set", "FieldNumber=" + std::to_string(field), "set", "FieldType=" + std::to_string(type),
                    "set", "FieldValue=" + value, "call", "WriteTable"});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
    }

    // An export file as the register's code page has it.
    std::string WriteCp1251(const std::string& name, const std::string& utf8) const {
        const std::string path = files_.File(name);
        std::ofstream(path, std::ios::binary) << tessel::Utf8ToCp1251(utf8);
        return path;
    }
    static std::string ReadUtf8(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return tessel::Cp1251ToUtf8(std::string(std::istreambuf_iterator<char>(in), {}));
    }

    // How many table writes (1Eh) the register has carried out.
    int Writes() const {
        const std::string answer = emulator_->Command("count 2 1E");
        EXPECT_TRUE(answer.starts_with("COUNT ")) << answer;
        return answer.starts_with("COUNT ") ? std::stoi(answer.substr(6)) : -1;
    }

    RegisteredCopy driver_;
    TempDir files_;
    std::unique_ptr<EmulatorProgram> emulator_;
};

TEST_F(TablesProgram, ExportThenImportRestoresCellsChangedMeanwhile) {
    const std::string file = files_.File("backup.xch");
    const RunResult exported = Tessel({"tables", "export", file, kTaxes, kReceiptTexts});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.OutLines(), std::vector<std::string>{"Exported 2 table(s), 14 cell(s) to " + file});
    // Not a terminal: plain progress lines, no carriage returns, in English but for the names.
    EXPECT_NE(exported.err.find("Reading table 'Налоги'\n"), std::string::npos) << exported.err;
    EXPECT_EQ(exported.err.find('\r'), std::string::npos);
    for (std::string line : Lines(exported.err)) {
        if (const auto open = line.find('\''); open != std::string::npos) line.erase(open);
        EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](char c) { return (c & 0x80) == 0; })) << line;
    }
    const std::string text = ReadUtf8(file);
    EXPECT_NE(text.find("[Налоги]\r\n0001.01=1800\r\n0001.02=НДС 18%\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[Текст в чеке]\r\n0001.01=ДОБРО ПОЖАЛОВАТЬ!\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("[Секции]"), std::string::npos) << "only the tables asked for";

    WriteCell(kTaxes, 1, 1, 0, "1234");
    WriteCell(kReceiptTexts, 6, 1, 1, "Заходите ещё");
    ASSERT_EQ(Cell(kTaxes, 1, 1), "FieldValue = 1234");

    const int writesBefore = Writes();
    const RunResult imported = Tessel({"tables", "import", file, "--quiet"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.err, "") << "--quiet: no progress at all";
    EXPECT_EQ(imported.OutLines(),
              std::vector<std::string>{"Imported 2 table(s), 14 cell(s) written from " + file});
    EXPECT_EQ(Writes() - writesBefore, 14);
    EXPECT_EQ(Cell(kTaxes, 1, 1), "FieldValue = 1800");
    EXPECT_EQ(Cell(kReceiptTexts, 6, 1), "FieldValue = СПАСИБО ЗА ПОКУПКУ");
}

struct DamagedFile {
    const char* name;
    const char* text;
    int line;
};

void PrintTo(const DamagedFile& c, std::ostream* os) {
    *os << c.name;
}

class DamagedImport : public TablesProgram, public ::testing::WithParamInterface<DamagedFile> {};

TEST_P(DamagedImport, IsRefusedWithNameAndLineAndWritesNothing) {
    const std::string file = WriteCp1251("damaged.xch", GetParam().text);
    const RunResult r = Tessel({"tables", "import", file, "get", "Version"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "") << "the steps after it are skipped";
    EXPECT_NE(r.err.find("tables import " + file + ": line " + std::to_string(GetParam().line) + ": "),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Writes(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedImport,
    ::testing::Values(DamagedFile{"EmptyKey", "[Налоги]\r\n0001.01=5\r\n=5\r\n", 3},
                      DamagedFile{"CellBeforeAnySection", "\r\n0001.01=5\r\n[Налоги]\r\n", 2},
                      DamagedFile{"UnclosedSection", "[Налоги]\r\n0001.01=5\r\n\r\n[Текст в чеке\r\n", 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TablesProgram, ImportSkipsLinesWithoutEqualsAndCountsThem) {
    const std::string file =
        WriteCp1251("typo.xch", "[Налоги]\r\n0001.01=5\r\n0002.01 5\r\nпросто текст\r\n");
    const RunResult r = Tessel({"tables", "import", file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find(file + ": 2 line(s) without \"=\" skipped: 3, 4"), std::string::npos) << r.err;
    EXPECT_EQ(r.OutLines(), std::vector<std::string>{"Imported 1 table(s), 1 cell(s) written from " + file});
    EXPECT_EQ(Cell(kTaxes, 1, 1), "FieldValue = 5");
}

// Two of the register's tables named alike, as the structure cache is made to say: only two tables that
// are both written may not share a section, and tessel says which it left out.
TEST_F(TablesProgram, ExportOfTablesWithOneNameWritesEachItCanAndSaysSo) {
    const std::string file = files_.File("twins.xch");
    ASSERT_EQ(Tessel({"tables", "export", file, kTaxes}).status, 0);  // caches the register's structure
    {
        const std::string previous = std::getenv("TESSEL_REGISTRY_DIR");
        ::setenv("TESSEL_REGISTRY_DIR", driver_.Folder().c_str(), 1);
        tessel::Registry devices;
        ASSERT_TRUE(devices.OpenKey(kTableDefsKey, false));
        const std::vector<std::string> keys = devices.GetKeyNames();
        ASSERT_EQ(keys.size(), 1u);
        tessel::Registry table;
        ASSERT_TRUE(table.OpenKey(std::string(kTableDefsKey) + "\\" + keys[0] + "\\" + kReceiptTexts, false));
        table.WriteString("TableName", "Налоги");
        ::setenv("TESSEL_REGISTRY_DIR", previous.c_str(), 1);
    }
    const RunResult alone = Tessel({"tables", "export", file, kReceiptTexts});
    EXPECT_EQ(alone.status, 0) << alone.err;
    EXPECT_EQ(alone.OutLines(), std::vector<std::string>{"Exported 1 table(s), 6 cell(s) to " + file});
    EXPECT_NE(alone.err.find("table 6 [Налоги] shares its name with table 4 [Налоги]"), std::string::npos)
        << alone.err;
    EXPECT_NE(ReadUtf8(file).find("[Налоги]\r\n0001.01=ДОБРО ПОЖАЛОВАТЬ!\r\n"), std::string::npos);

    const RunResult both = Tessel({"tables", "export", file, kTaxes, kReceiptTexts});
    EXPECT_EQ(both.status, 1) << both.err;
    EXPECT_EQ(both.OutLines(), std::vector<std::string>{"Exported 1 table(s), 8 cell(s) to " + file});
    EXPECT_NE(both.err.find("table 6 [Налоги] is not written: its section would be that of table 4 [Налоги]"),
              std::string::npos)
        << both.err;
}

TEST_F(TablesProgram, ImportRefusesAMissingFile) {
    const std::string missing = files_.File("missing.xch");
    const RunResult absent = Tessel({"tables", "import", missing});
    EXPECT_EQ(absent.status, 2);
    EXPECT_NE(absent.err.find(missing + ": cannot read the file"), std::string::npos) << absent.err;
}

struct UnfitFile {
    const char* name;
    std::string bytes;  // as they lie in the file
    const char* says;
};

void PrintTo(const UnfitFile& c, std::ostream* os) {
    *os << c.name;
}

class UnfitImport : public TablesProgram, public ::testing::WithParamInterface<UnfitFile> {};

// A file that does not fit the register is a usage mistake: it says why and writes nothing.
TEST_P(UnfitImport, IsRefusedBeforeAnythingIsWritten) {
    const std::string file = files_.File("unfit.xch");
    std::ofstream(file, std::ios::binary) << GetParam().bytes;
    const RunResult r = Tessel({"tables", "import", file, "get", "Version"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("tables import " + file + ": " + GetParam().says), std::string::npos) << r.err;
    EXPECT_EQ(Writes(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnfitImport,
    ::testing::Values(
        UnfitFile{"Utf8", "[Налоги]\r\n0001.02=НДС 20%\r\n",
                  "the file is UTF-8; export files are Windows-1251"},
        UnfitFile{"Utf8WithByteOrderMark", "\xEF\xBB\xBF[Taxes]\r\n0001.01=5\r\n", "the file is UTF-8"},
        UnfitFile{"NoTableOfTheRegister", tessel::Utf8ToCp1251("[Скидки]\r\n0001.01=5\r\n"),
                  "the register has no table [Скидки] (its tables: 1 [Общие параметры], "},
        UnfitFile{"OneTableTheRegisterLacks",
                  tessel::Utf8ToCp1251("[Налоги]\r\n0001.01=5\r\n[Скидки]\r\n0001.01=5\r\n"),
                  "the register has no table [Скидки]"},
        UnfitFile{"NoSectionAtAll", "", "the register has no table for a file without sections"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TablesProgram, ImportSkipsNumbersOutsideTheirRangeAndSaysSo) {
    const std::string file = WriteCp1251("rates.xch", "[Налоги]\r\n0001.01=10000\r\n0002.01=1500\r\n");
    const RunResult r = Tessel({"tables", "import", file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.OutLines(), std::vector<std::string>{"Imported 1 table(s), 1 cell(s) written from " + file +
                                                     ", 1 cell(s) skipped: not a number within its range"});
    EXPECT_EQ(Cell(kTaxes, 1, 1), "FieldValue = 1800");
    EXPECT_EQ(Cell(kTaxes, 2, 1), "FieldValue = 1500");
}

class RefusedWrite : public TablesProgram, public ::testing::WithParamInterface<int> {};

// A text longer than its field: the register answers 140 to every attempt.
TEST_P(RefusedWrite, StopsTheRunWithTheRegistersErrorAfterTheRetries) {
    const int retries = GetParam();
    const std::string file =
        WriteCp1251("long.xch", "[Текст в чеке]\r\n0002.01=" + std::string(40, 'W') + "\r\n0003.01=x\r\n");
    const RunResult r =
        Tessel({"tables", "import", file, "--retry", std::to_string(retries), "get", "Version"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "") << "no summary, and the steps after it are skipped";
    EXPECT_NE(r.err.find("Writing table 'Текст в чеке': (140) Неверное значение"), std::string::npos)
        << r.err;
    // Row 1 is not in the file, so the refused cell is the first write.
    EXPECT_EQ(Writes(), 1 + retries);
    EXPECT_EQ(Cell(kReceiptTexts, 3, 1), "FieldValue = ") << "the cells after the refused one stay";
}

INSTANTIATE_TEST_SUITE_P(Retries, RefusedWrite, ::testing::Values(0, 2));

TEST_F(TablesProgram, ExportOfATableTheRegisterLacksIsAUsageMistake) {
    const std::string file = files_.File("none.xch");
    const RunResult r = Tessel({"tables", "export", file, "7"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("the register has no table 7 (its tables: 1, 2, 3, 4, 5, 6)"), std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(file));
}

// A file that cannot be written is known before the register is read at all.
TEST_F(TablesProgram, ExportToAFolderThatDoesNotExistReadsNothing) {
    const std::string file = files_.File("no-such-folder") + "/backup.xch";
    const RunResult r = Tessel({"tables", "export", file, "get", "Version"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("tables export " + file + ": cannot write the file: No such file or directory"),
              std::string::npos)
        << r.err;
    const std::string reads = emulator_->Command("count 2 1F");
    EXPECT_EQ(reads, "COUNT 0");
    EXPECT_EQ(emulator_->Command("count 2 2D"), "COUNT 0") << "not even the table list";
}

TEST_F(TablesProgram, StopSignalAbortsAnExportAndKeepsTheOldFile) {
    // Slow answers keep the export going long after the signal.
    ASSERT_EQ(emulator_->Command("delay 50").substr(0, 2), "OK");
    const std::string file = WriteCp1251("old.xch", "[Налоги]\r\n0001.01=1\r\n");
    Env env = driver_.Settings();
    env.merge(Com1());
    ChildProcess tessel(TESSEL_CLI,
                        {"set", "PortNumber=1", "get", "Version", "tables", "export", file, "get", "Version"},
                        env);
    ASSERT_TRUE(tessel.ReadLine().has_value());
    // The transfer has begun once its first title is out.
    std::optional<std::string> progress;
    while ((progress = tessel.ReadErrorLine()) && !progress->starts_with("Reading")) {
    }
    ASSERT_TRUE(progress.has_value()) << "no progress";
    tessel.Signal(SIGINT);
    std::string out, err;
    EXPECT_EQ(tessel.Finish(out, err), 130);
    EXPECT_EQ(out, "") << "no summary, and the steps after it are skipped";
    EXPECT_NE(err.find("tables export " + file + ": interrupted;"), std::string::npos) << err;
    EXPECT_NE(err.find("the file is not written"), std::string::npos) << err;
    EXPECT_TRUE(err.ends_with("tessel: interrupted\n")) << err;
    EXPECT_EQ(ReadUtf8(file), "[Налоги]\r\n0001.01=1\r\n");
}

// ---- search ----

class SearchProgram : public ::testing::Test {
  protected:
    RunResult Tessel(const std::vector<std::string>& args, const std::string& com1) const {
        Env env = driver_.Settings();
        env["TESSEL_COM1"] = com1;
        // Ports without a register: nothing answers there.
        for (int port = 2; port <= 3; ++port) env["TESSEL_COM" + std::to_string(port)] = files_.File("none");
        return RunProgram(TESSEL_CLI, args, env);
    }

    RegisteredCopy driver_;
    TempDir files_;
};

TEST_F(SearchProgram, FindsTheRegisterAndKeepsTheDriversPort) {
    EmulatorProgram emulator({"--address", "2", "--baud", "9600"}, driver_.Settings());
    const RunResult r = Tessel({"set", "PortNumber=7", "search", "--ports", "1-3", "--speeds", "9600",
                                "--save", "get", "PortNumber"},
                               emulator.Path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.OutLines(), (std::vector<std::string>{"COM1 9600 normal 2 Эмулятор ККМ", "PortNumber = 7"}));
    EXPECT_EQ(Lines(r.err), (std::vector<std::string>{"Searching COM1", "Searching COM2", "Searching COM3",
                                                      "Found 1 register(s)"}));

    // Without options the saved parameters: the same three ports at one speed.
    const RunResult again = Tessel({"search"}, emulator.Path());
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.OutLines(), std::vector<std::string>{"COM1 9600 normal 2 Эмулятор ККМ"});
}

// The emulator answers only at its own speed, as a register does: one register is one line.
TEST_F(SearchProgram, FindsAnEmulatedRegisterOnceAtItsOwnSpeed) {
    EmulatorProgram emulator(kRegisterAt2, driver_.Settings());
    const RunResult r = Tessel({"--quiet", "search", "--ports", "1", "--speeds",
                                "1200,2400,4800,9600,19200,38400,57600,115200", "--kinds", "normal"},
                               emulator.Path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.OutLines(), std::vector<std::string>{"COM1 4800 normal 2 Эмулятор ККМ"});
    EXPECT_EQ(r.err, "Found 1 register(s)\n") << "--quiet before the steps: no progress";
}

TEST_F(SearchProgram, FindingNothingIsStatusOne) {
    const RunResult r = Tessel({"search", "--ports", "1,2", "--speeds", "115200"}, files_.File("gone"));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Found 0 register(s)"), std::string::npos) << r.err;
}

TEST_F(SearchProgram, NothingToTryIsRefusedBeforeAnyStepRuns) {
    const RunResult r = Tessel({"get", "Version", "search", "--kinds", ""}, files_.File("gone"));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("search: no kind chosen"), std::string::npos) << r.err;
}

// The emulator program on a socket, mapped to COM4 by --com: the search names the port with its address and
// finds the register once, at the first speed (a raw stream keeps the speed of its converter).
TEST_F(SearchProgram, FindsARegisterOnTheNetworkOnceWithItsAddress) {
    EmulatorProgram emulator({"--address", "2", "--listen", "tcp:0", "--com", "4"}, driver_.Settings());
    const std::string listen = emulator.Process().ReadLine().value_or("");
    ASSERT_TRUE(listen.starts_with("LISTEN tcp://127.0.0.1:")) << listen;
    const std::string address = listen.substr(7);
    const RunResult r = Tessel({"search", "--ports", "4", "--speeds", "4800,9600"}, files_.File("none"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.OutLines(), std::vector<std::string>{"COM4=" + address + " 4800 normal 2 Эмулятор ККМ"});
    EXPECT_EQ(Lines(r.err),
              (std::vector<std::string>{"Searching COM4 (" + address + ")", "Found 1 register(s)"}));
}

// What was found before the signal is shown, but the run says it was cut short.
TEST_F(SearchProgram, StopSignalAfterAFindIsStillAnInterruption) {
    EmulatorProgram emulator(kRegisterAt2, driver_.Settings());
    Env env = driver_.Settings();
    env["TESSEL_COM1"] = emulator.Path();
    // After the find at 4800 five speeds remain, at which the register does not answer: the search goes on
    // for seconds after the line is printed, so the signal comes while it runs, even on a loaded machine.
    ChildProcess tessel(
        TESSEL_CLI,
        {"search", "--ports", "1-32", "--speeds", "4800,9600,19200,38400,57600,115200", "get", "Version"},
        env);
    ASSERT_EQ(tessel.ReadLine(), "COM1 4800 normal 2 Эмулятор ККМ");
    tessel.Signal(SIGINT);
    std::string out, err;
    EXPECT_EQ(tessel.Finish(out, err), 130);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("Found 1 register(s)\ntessel: interrupted\n"), std::string::npos) << err;
}

}  // namespace
