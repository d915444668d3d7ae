// The parts of tables and search that need no driver: their words, the search parameters they make from
// the saved ones, the progress line and the console's progress window.
#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <thread>

#include "common/platform/Registry.h"
#include "tools/tessel/DeviceSearch.h"
#include "tools/tessel/ProgressLine.h"
#include "tools/tessel/ProgressText.h"
#include "tools/tessel/Steps.h"
#include "tools/tessel/TransferProgress.h"

using namespace tessel::cli;

namespace {

// ---- words ----

struct WordsCase {
    std::vector<std::string> args;
    std::string picture;  // what was understood; empty: refused
};

void PrintTo(const WordsCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.args);
}

std::string Choice(const SearchChoice& choice) {
    if (!choice) return "saved";
    std::string bits;
    for (const bool b : *choice) bits += b ? '1' : '0';
    return bits;
}

std::string Picture(const Step& s) {
    if (s.kind == StepKind::Tables) {
        std::string out = s.tables.action == TablesAction::Export ? "export " : "import ";
        out += s.tables.file + " [";
        for (const std::int32_t n : s.tables.tables) out += " " + std::to_string(n);
        return out + " ] retry " + std::to_string(s.tables.retries) + (s.tables.quiet ? " quiet" : "");
    }
    if (s.kind == StepKind::Search) {
        return "ports " + Choice(s.search.ports) + " speeds " + Choice(s.search.speeds) + " kinds " +
               Choice(s.search.kinds) + (s.search.save ? " save" : "") + (s.search.quiet ? " quiet" : "");
    }
    return "other";
}

class TransferWords : public ::testing::TestWithParam<WordsCase> {};

TEST_P(TransferWords, AreUnderstoodOrRefused) {
    const WordsCase& c = GetParam();
    if (c.picture.empty()) {
        EXPECT_THROW(ParseStepArguments(c.args), UsageError);
        return;
    }
    const std::vector<Step> steps = ParseStepArguments(c.args);
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(Picture(steps.front()), c.picture);
}

const std::string kAllPorts(32, '1');

INSTANTIATE_TEST_SUITE_P(
    Cases, TransferWords,
    ::testing::Values(
        WordsCase{{"tables", "export", "a.xch"}, "export a.xch [ ] retry 0"},
        WordsCase{{"tables", "export", "a.xch", "4", "--retry", "3", "6", "--quiet"},
                  "export a.xch [ 4 6 ] retry 3 quiet"},
        // The file is a required word, whatever it is; the table numbers end at the next step.
        WordsCase{{"tables", "import", "get", "get", "Version"}, "import get [ ] retry 0"},
        WordsCase{{"tables", "export", "a.xch", "255", "pump"}, "export a.xch [ 255 ] retry 0"},
        WordsCase{{"tables", "import", "a.xch", "--retry", "100"}, "import a.xch [ ] retry 100"},
        WordsCase{{"search"}, "ports saved speeds saved kinds saved"},
        WordsCase{{"search", "--ports", "1,3-5,32", "--save"},
                  "ports 10111000000000000000000000000001 speeds saved kinds saved save"},
        WordsCase{{"search", "--speeds", "115200,1200", "--kinds", "fuel", "--quiet"},
                  "ports saved speeds 10000001 kinds 01 quiet"},
        WordsCase{{"search", "--ports", "1-32", "--kinds", "normal,fuel"},
                  "ports " + kAllPorts + " speeds saved kinds 11"},
        WordsCase{{"search", "--ports", ""}, "ports " + std::string(32, '0') + " speeds saved kinds saved"},
        // Refused.
        WordsCase{{"tables"}, ""}, WordsCase{{"tables", "export"}, ""},
        WordsCase{{"tables", "copy", "a"}, ""}, WordsCase{{"tables", "export", "a", "0"}, ""},
        WordsCase{{"tables", "export", "a", "256"}, ""}, WordsCase{{"tables", "export", "a", "x1"}, ""},
        WordsCase{{"tables", "import", "a", "4"}, ""}, WordsCase{{"tables", "export", "a", "--retry"}, ""},
        WordsCase{{"tables", "export", "a", "--retry", "101"}, ""},
        WordsCase{{"tables", "export", "a", "--retry", "1", "--retry", "1"}, ""},
        WordsCase{{"tables", "export", "a", "--force"}, ""}, WordsCase{{"search", "--ports"}, ""},
        WordsCase{{"search", "--ports", "0"}, ""}, WordsCase{{"search", "--ports", "33"}, ""},
        WordsCase{{"search", "--ports", "5-3"}, ""}, WordsCase{{"search", "--ports", "1,,2"}, ""},
        WordsCase{{"search", "--ports", "1", "--ports", "2"}, ""},
        WordsCase{{"search", "--speeds", "9601"}, ""}, WordsCase{{"search", "--speeds", "4"}, ""},
        WordsCase{{"search", "--kinds", "petrol"}, ""}, WordsCase{{"search", "all"}, ""}));

// ---- search parameters from the saved ones ----

class SearchParameters : public ::testing::Test {
  protected:
    void SetUp() override {
        tessel::Registry().DeleteKey("Software\\Korvex\\TesselDrv\\TesselDrv\\Параметры поиска");
    }

    static SearchOptions Parse(const std::vector<std::string>& words) {
        return ParseSearchWords(words, "test");
    }
    static std::string Checked(const TSearchParams& p, TSearchList list) {
        std::string bits;
        for (const TSearchItem& item : p.Items(list)) bits += item.Checked ? '1' : '0';
        return bits;
    }
};

TEST_F(SearchParameters, OptionsReplaceOnlyTheirListsOfTheSavedOnes) {
    TSearchParams saved;
    saved.SetAll(TSearchList::Ports, false);
    saved.SetChecked(TSearchList::Ports, 6, true);
    saved.SetAll(TSearchList::BaudRates, false);
    saved.SetChecked(TSearchList::BaudRates, 7, true);
    saved.Save();

    const TSearchParams p = SearchParamsFor(Parse({"--speeds", "9600", "--kinds", "fuel"}));
    EXPECT_EQ(Checked(p, TSearchList::Ports), "0000001" + std::string(25, '0'));
    EXPECT_EQ(Checked(p, TSearchList::BaudRates), "00010000");
    EXPECT_EQ(Checked(p, TSearchList::ECRTypes), "01");
}

struct EmptyListCase {
    std::vector<std::string> words;
    const char* message;
};

void PrintTo(const EmptyListCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.words);
}

class SearchRefusal : public SearchParameters, public ::testing::WithParamInterface<EmptyListCase> {};

TEST_P(SearchRefusal, SaysWhichListHasNothingChosen) {
    try {
        SearchParamsFor(Parse(GetParam().words));
        ADD_FAILURE() << "an empty list was taken";
    } catch (const UsageError& e) {
        EXPECT_EQ(std::string(e.what()), std::string("search: ") + GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SearchRefusal,
    ::testing::Values(EmptyListCase{{"--ports", ""},
                                    "no port chosen to search (--ports, or the saved search parameters)"},
                      EmptyListCase{{"--speeds", "", "--kinds", ""},
                                    "no speed chosen to search (--speeds, or the saved search parameters)"},
                      EmptyListCase{{"--kinds", ""},
                                    "no kind chosen to search (--kinds, or the saved search parameters)"}));

TEST(FoundLine, IsOneLineOfPortSpeedKindAddressAndDescription) {
    TSearchECR device;
    device.Port = 12;
    device.BaudRate = 8;
    device.Fuel = true;
    device.Address = 255;
    device.Description = "Касса\n№1";
    EXPECT_EQ(FoundLine(device), "COM12 115200 fuel 255 Касса\\x0A№1");
    device.Fuel = false;
    device.Description.clear();
    EXPECT_EQ(FoundLine(device), "COM12 115200 normal 255");
}

// ---- progress line ----

TEST(ProgressLine, RewritesOneLineOnATerminalAndKeepsOnlyLastingLinesOtherwise) {
    std::ostringstream terminal;
    {
        ProgressLine line(terminal, TProgressMode::InPlace, 8);
        line.Update("Чтение 1234");
        line.Update("Чтение 1234");  // unchanged: not drawn again
        line.Progress("lasting");    // shown in place already
        line.Line("done");
        line.Update("x\ny");
    }
    EXPECT_EQ(terminal.str(),
              "\rЧтение \x1b[K"                // cut to 7 characters, the last column free
              "\r\x1b[Kdone\n\rЧтение \x1b[K"  // a warning, then the passing line again
              "\rx\\x0Ay\x1b[K"                // control characters escaped
              "\r\x1b[K");                     // taken away at the end
}

struct ModeCase {
    TProgressMode mode;
    const char* written;
};

class ProgressModes : public ::testing::TestWithParam<ModeCase> {};

// Progress goes only where it is wanted; warnings go everywhere.
TEST_P(ProgressModes, WriteProgressAndWarningsAsAsked) {
    std::ostringstream out;
    {
        ProgressLine line(out, GetParam().mode, 80);
        line.Update("passing");
        line.Progress("Reading table 'Налоги'");
        line.Line("warning");
    }
    EXPECT_EQ(out.str(), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(Modes, ProgressModes,
                         ::testing::Values(ModeCase{TProgressMode::Lines,
                                                    "Reading table 'Налоги'\nwarning\n"},
                                           ModeCase{TProgressMode::Silent, "warning\n"}));

TEST(ProgressLine, QuietIsSilentAndOtherwiseATerminalRewritesInPlace) {
    EXPECT_EQ(ProgressLine::ModeFor(true, true), TProgressMode::Silent);
    EXPECT_EQ(ProgressLine::ModeFor(false, true), TProgressMode::Silent);
    EXPECT_EQ(ProgressLine::ModeFor(true, false), TProgressMode::InPlace);
    EXPECT_EQ(ProgressLine::ModeFor(false, false), TProgressMode::Lines);
}

TEST(CutToWidth, CountsCharactersNotBytes) {
    EXPECT_EQ(CutToWidth("Налоги", 3), "Нал");
    EXPECT_EQ(CutToWidth("abc", 3), "abc");
    EXPECT_EQ(CutToWidth("", 0), "");
    EXPECT_EQ(CutToWidth("ab", 0), "");
}

// ---- the console's progress window ----

class ConsoleWindow : public ::testing::Test {
  protected:
    std::unique_ptr<TransferProgress> Window(std::uint32_t retries) {
        return std::make_unique<TransferProgress>(pump_, line_, retries);
    }

    StopSignals signals_;
    MessagePump pump_{signals_};
    std::ostringstream out_;
    ProgressLine line_{out_, TProgressMode::Lines, 80};
};

TEST_F(ConsoleWindow, RepeatsAFailedStepAsOftenAsAllowedInARow) {
    const auto window = Window(2);
    window->Prepare();
    window->SetInfo(TProgressLine::Info, "Запись таблицы 'Налоги'");
    const std::string question = "Ошибка: (140) Неверное значение\r\nПродолжить выполнение ?";
    EXPECT_TRUE(window->AskContinue(question));
    EXPECT_TRUE(window->AskContinue(question));
    // A step that succeeds changes the window's lines, so the next failure starts counting again.
    window->SetInfo(TProgressLine::Info3, "Полей всего: 8 записано: 1");
    EXPECT_TRUE(window->AskContinue(question));
    EXPECT_TRUE(window->AskContinue(question));
    EXPECT_EQ(window->LastError(), "");
    EXPECT_FALSE(window->AskContinue(question));
    EXPECT_EQ(window->LastError(), "Writing table 'Налоги': (140) Неверное значение");
    EXPECT_NE(out_.str().find("(140) Неверное значение; retry 2 of 2\n"), std::string::npos);

    // Without retries the first failure gives up; a new operation forgets the old error.
    const auto strict = Window(0);
    strict->Prepare();
    EXPECT_FALSE(strict->AskContinue(question));
    strict->Prepare();
    EXPECT_EQ(strict->LastError(), "");
}

TEST_F(ConsoleWindow, WaitsForTheWorkersCompletion) {
    const auto window = Window(0);
    window->Prepare();
    std::thread worker([&] { window->Finish(); });
    int aborts = 0;
    window->ShowModal([&] { return ++aborts > 0; });
    worker.join();
    EXPECT_EQ(aborts, 0);
    EXPECT_FALSE(window->Interrupted());
}

TEST_F(ConsoleWindow, TakesAStopSignalForTheAbortButton) {
    const auto window = Window(0);
    window->Prepare();
    // Blocked by StopSignals, so it waits for the window instead of ending the test.
    ASSERT_EQ(::raise(SIGINT), 0);
    int aborts = 0;
    window->ShowModal([&] { return ++aborts > 0; });
    EXPECT_EQ(aborts, 1);
    EXPECT_TRUE(window->Interrupted());
    EXPECT_TRUE(window->AskAbort("Прервать выполнение ?"));
}

TEST_F(ConsoleWindow, WritesTheTitleAndEachMainLineOnceInAPlainLog) {
    const auto window = Window(0);
    window->SetCaption("Чтение таблиц...");
    window->SetMax(14);
    window->SetInfo(TProgressLine::Info, "Чтение таблицы 'Налоги'");
    window->SetInfo(TProgressLine::Info3, "Полей всего: 8 прочитано: 1");
    window->StepIt();
    window->SetInfo(TProgressLine::Info, "Чтение таблицы 'Налоги'");
    EXPECT_EQ(out_.str(), "Reading tables...\nReading table 'Налоги'\n");
}

struct EngineText {
    const char* engine;
    const char* english;
};

class ProgressInEnglish : public ::testing::TestWithParam<EngineText> {};

// The engine's texts are the tables dialog's; tessel says them in English, names kept as they are.
TEST_P(ProgressInEnglish, KeepsTheNamesAndNumbers) {
    EXPECT_EQ(EnglishProgressText(GetParam().engine), GetParam().english);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ProgressInEnglish,
    ::testing::Values(EngineText{"Чтение таблиц...", "Reading tables..."},
                      EngineText{"Запись таблицы 'Текст в чеке'", "Writing table 'Текст в чеке'"},
                      EngineText{"Чтение таблицы 'It''s (1+1)'", "Reading table 'It''s (1+1)'"},
                      EngineText{"Полей всего: 14 прочитано: 3", "Cells: 14, read: 3"},
                      EngineText{"Полей всего: 8 Прочитано: 8", "Fields: 8, read: 8"},
                      EngineText{"Ошибка: (-1) Нет связи", "(-1) Нет связи"},
                      EngineText{"Прочитано таблиц: 6", "Tables read: 6"},
                      EngineText{"Чтение таблиц", "Чтение таблиц"},  // not one of the engine's texts
                      EngineText{"", ""}));

}  // namespace
