// The parts of tessel that need no driver: reading steps and rules, and the printed forms of values.
#include <gtest/gtest.h>

#include <climits>

#include "tools/tessel/Rules.h"
#include "tools/tessel/Steps.h"
#include "tools/tessel/ValueText.h"

using namespace tessel::cli;

namespace {

// A compact picture of parsed steps: "set A=1 | listen 5 r.txt 3".
std::string Describe(const std::vector<Step>& steps) {
    std::string out;
    for (const Step& s : steps) {
        if (!out.empty()) out += " | ";
        switch (s.kind) {
            case StepKind::Set:
                out += "set " + s.name + "=" + s.value;
                break;
            case StepKind::Call:
                out += "call " + s.name;
                break;
            case StepKind::Get:
                out += "get " + s.name;
                break;
            case StepKind::Wait:
                out += "wait " + std::to_string(s.ms);
                break;
            case StepKind::Pump:
                out += "pump";
                break;
            case StepKind::Tables:
                out += "tables " + s.tables.file;
                break;
            case StepKind::Search:
                out += "search";
                break;
            case StepKind::Members:
                out += "members";
                break;
            case StepKind::Settings:
                out += "settings";
                break;
            case StepKind::Listen:
                out += "listen " + std::to_string(s.listen.seconds) + " " + s.listen.rulesFile + " " +
                       std::to_string(s.listen.count);
                break;
        }
    }
    return out;
}

struct ArgsCase {
    std::vector<std::string> args;
    std::string steps;  // empty: refused
};

void PrintTo(const ArgsCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.args);
}

class StepArguments : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(StepArguments, ParseOrAreRefused) {
    const ArgsCase& c = GetParam();
    if (c.steps.empty()) {
        EXPECT_THROW(ParseStepArguments(c.args), UsageError) << ::testing::PrintToString(c.args);
    } else {
        EXPECT_EQ(Describe(ParseStepArguments(c.args)), c.steps);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StepArguments,
    ::testing::Values(
        ArgsCase{{"set", "Price=1,5", "call", "Beep", "get", "Цена"}, "set Price=1,5 | call Beep | get Цена"},
        ArgsCase{{"set", "Text=a=b"}, "set Text=a=b"}, ArgsCase{{"set", "Text="}, "set Text="},
        ArgsCase{{"set", "Text=\" x \""}, "set Text= x "}, ArgsCase{{"set", "Text=\""}, "set Text=\""},
        // A keyword's required word is taken whatever it is.
        ArgsCase{{"get", "set"}, "get set"},
        ArgsCase{{"wait", "0", "pump", "members"}, "wait 0 | pump | members"},
        ArgsCase{{"listen"}, "listen 0  0"}, ArgsCase{{"listen", "5", "get", "X"}, "listen 5  0 | get X"},
        ArgsCase{{"listen", "r.txt", "count=3", "pump"}, "listen 0 r.txt 3 | pump"},
        ArgsCase{{"listen", "count=2", "7", "./9"}, "listen 7 ./9 2"},
        ArgsCase{{"listen", "86400"}, "listen 86400  0"},
        // Refused.
        ArgsCase{{"set", "Price"}, ""}, ArgsCase{{"set", "=1"}, ""}, ArgsCase{{"set", "A B=1"}, ""},
        ArgsCase{{"call"}, ""}, ArgsCase{{"wait", "-1"}, ""}, ArgsCase{{"wait", "86400001"}, ""},
        ArgsCase{{"wait", "1e3"}, ""}, ArgsCase{{"listen", "86401"}, ""}, ArgsCase{{"listen", "a", "b"}, ""},
        ArgsCase{{"listen", "count=x"}, ""}, ArgsCase{{"listen", "count=1", "count=2"}, ""},
        ArgsCase{{"-f"}, ""}, ArgsCase{{"-f", "/nonexistent/steps"}, ""}, ArgsCase{{"Beep"}, ""}));

TEST(StepText, TakesTheRestOfTheLineForSetAndNamesFaultyLines) {
    EXPECT_EQ(
        Describe(ParseStepText("\xEF\xBB\xBF# steps\r\n\n  set Text= a b  \r\n\tget Text\ncall Beep", "f")),
        "set Text= a b | get Text | call Beep");
    EXPECT_EQ(Describe(ParseStepText("set Text=\"  x  \"\n", "f")), "set Text=  x  ");
    EXPECT_EQ(Describe(ParseStepText("listen 3 rules.txt count=1\n", "f")), "listen 3 rules.txt 1");
    try {
        ParseStepText("get A\n\nget\n", "steps.txt");
        ADD_FAILURE() << "a step without its word was taken";
    } catch (const UsageError& e) {
        EXPECT_NE(std::string(e.what()).find("steps.txt:3"), std::string::npos) << e.what();
    }
}

struct RulesCase {
    const char* text;
    std::uint8_t opcode;
    std::string answer;  // the steps for `opcode`; "-" when it stays unanswered
};

void PrintTo(const RulesCase& c, std::ostream* os) {
    *os << "opcode " << int{c.opcode} << " of " << ::testing::PrintToString(std::string(c.text));
}

class RulesText : public ::testing::TestWithParam<RulesCase> {};

TEST_P(RulesText, ChooseTheSectionOfAnOpcode) {
    const RulesCase& c = GetParam();
    const AnswerRules rules = AnswerRules::Parse(c.text, "rules");
    const std::vector<Step>* steps = rules.For(c.opcode);
    EXPECT_EQ(steps == nullptr ? "-" : Describe(*steps), c.answer);
}

constexpr const char* kRules =
    "# goods\n"
    "[81]\nset Text=Хлеб\nset Price=10\n"
    "[83 0x87 88h] # accepted\n"
    "[*]\nset CommandResultCode=1\n";

INSTANTIATE_TEST_SUITE_P(Cases, RulesText,
                         ::testing::Values(RulesCase{kRules, 0x81, "set Text=Хлеб | set Price=10"},
                                           RulesCase{kRules, 0x83, ""}, RulesCase{kRules, 0x87, ""},
                                           RulesCase{kRules, 0x88, ""},
                                           RulesCase{kRules, 0x80, "set CommandResultCode=1"},
                                           RulesCase{"[81]\nget Text\n", 0x81, "get Text"},
                                           RulesCase{"[81]\n", 0x80, "-"}, RulesCase{"", 0x81, "-"}));

struct BadRules {
    const char* text;
    int line;
};

void PrintTo(const BadRules& c, std::ostream* os) {
    *os << ::testing::PrintToString(std::string(c.text));
}

class BadRulesText : public ::testing::TestWithParam<BadRules> {};

TEST_P(BadRulesText, AreRefusedNamingTheLine) {
    try {
        AnswerRules::Parse(GetParam().text, "rules.txt");
        ADD_FAILURE() << "taken: " << GetParam().text;
    } catch (const UsageError& e) {
        EXPECT_NE(std::string(e.what()).find("rules.txt:" + std::to_string(GetParam().line)),
                  std::string::npos)
            << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, BadRulesText,
                         ::testing::Values(BadRules{"set Text=1\n", 1}, BadRules{"[81]\ncall Beep\n", 2},
                                           BadRules{"[81]\nwait 5\n", 2}, BadRules{"# x\n[1FF]\n", 2},
                                           BadRules{"[81]\n[81h]\n", 2}, BadRules{"[*]\n[*]\n", 2},
                                           BadRules{"[81] junk\n", 1}, BadRules{"[81\n", 1},
                                           BadRules{"[]\n", 1}, BadRules{"[8g]\n", 1}));

struct CurrencyCase {
    LONGLONG amount;
    const char* text;
};

void PrintTo(const CurrencyCase& c, std::ostream* os) {
    *os << c.amount;
}

class Currency : public ::testing::TestWithParam<CurrencyCase> {};

TEST_P(Currency, KeepsTwoToFourDecimals) {
    EXPECT_EQ(CurrencyText(GetParam().amount), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Cases, Currency,
                         ::testing::Values(CurrencyCase{0, "0.00"}, CurrencyCase{455000, "45.50"},
                                           CurrencyCase{1234, "0.1234"}, CurrencyCase{10, "0.001"},
                                           CurrencyCase{-30000, "-3.00"}, CurrencyCase{-1, "-0.0001"},
                                           CurrencyCase{LLONG_MIN, "-922337203685477.5808"},
                                           CurrencyCase{LLONG_MAX, "922337203685477.5807"}));

TEST(EscapeControls, KeepsEveryValueOnOneLine) {
    EXPECT_EQ(EscapeControls("Молоко 3,2%"), "Молоко 3,2%");
    EXPECT_EQ(EscapeControls("a\\b"), "a\\\\b");
    EXPECT_EQ(EscapeControls(std::string("\t\n\r\x7F\x01", 5) + std::string(1, '\0')),
              "\\x09\\x0A\\x0D\\x7F\\x01\\x00");
}

}  // namespace
