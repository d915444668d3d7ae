// The ini reader of export files: the platform's reading rules, lines without "=" skipped and counted, and
// damaged files refused whole.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "driver/tables/untIniProfile.h"

namespace {

TEST(IniProfile, ReadsValuesByTheProfileRules) {
    const TIniProfile p = TIniProfile::Parse(
        "; comment\r\n"
        "\r\n"
        "  [Налоги]  \r\n"
        "0001.01=1800\r\n"
        "  0001.02 \t=\t  НДС 18%  \r\n"
        "0002.01=\"  в кавычках  \"\r\n"
        "0002.02='одинарные'\r\n"
        "0003.01=\"несовпадающие'\r\n"
        "0003.02=\r\n"
        "0004.01=a=b\n"
        "0001.01=второй раз\r\n"
        "[Пустая]\r\n"
        "[НАЛОГИ]\r\n"
        "0009.09=из повтора\r\n"
        "[Last]\n"
        "x=1",
        "f.xch");
    EXPECT_EQ(p.SectionNames(), (std::vector<std::string>{"Налоги", "Пустая", "Last"}));
    EXPECT_EQ(p.Value("налоги", "0001.01"), "1800");  // sections without case; the first key wins
    EXPECT_EQ(p.Value("Налоги", "0001.02"), "НДС 18%");
    EXPECT_EQ(p.Value("Налоги", "0002.01"), "  в кавычках  ");
    EXPECT_EQ(p.Value("Налоги", "0002.02"), "одинарные");
    EXPECT_EQ(p.Value("Налоги", "0003.01"), "\"несовпадающие'");
    EXPECT_EQ(p.Value("Налоги", "0003.02"), "");
    EXPECT_EQ(p.Value("Налоги", "0004.01"), "a=b");
    EXPECT_EQ(p.Value("Налоги", "0009.09"), std::nullopt) << "a repeated section is never read";
    EXPECT_EQ(p.Value("Налоги", "0005.01"), std::nullopt);
    EXPECT_EQ(p.Value("Нет", "0001.01"), std::nullopt);
    EXPECT_EQ(p.Value("LAST", "X"), "1");  // keys without case too
    EXPECT_EQ(p.Keys("Налоги"), (std::vector<std::string>{"0001.01", "0001.02", "0002.01", "0002.02",
                                                          "0003.01", "0003.02", "0004.01"}));
    EXPECT_TRUE(p.HasSection("пустая"));
    EXPECT_TRUE(p.Keys("Пустая").empty());
}

TEST(IniProfile, EmptyTextHasNoSections) {
    EXPECT_TRUE(TIniProfile::Parse("", "f").SectionNames().empty());
    EXPECT_TRUE(TIniProfile::Parse("\r\n; only a comment\r\n\r\n", "f").SectionNames().empty());
}

// Lines that name no value: skipped and counted, wherever they stand, and the values around them read.
struct SkippedText {
    const char* name;
    std::string text;
    std::vector<int> skipped;
    std::optional<std::string> value;  // of [A] 0001.01
};

class IniProfileSkipped : public ::testing::TestWithParam<SkippedText> {};

TEST_P(IniProfileSkipped, AreCountedAndTheRestIsRead) {
    const TIniProfile p = TIniProfile::Parse(GetParam().text, "f.xch");
    EXPECT_EQ(p.SkippedLines(), GetParam().skipped);
    EXPECT_EQ(p.Value("A", "0001.01"), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IniProfileSkipped,
    ::testing::Values(SkippedText{"Word", "[A]\r\nмусор\r\n0001.01=1\r\n", {2}, "1"},
                      SkippedText{"KeyWithoutValue", "[A]\r\n0001.01 5\r\n", {2}, std::nullopt},
                      SkippedText{"BeforeAnySection", "заголовок\r\n[A]\r\n0001.01=1\r\n", {1}, "1"},
                      SkippedText{"InARepeatedSection", "[A]\n0001.01=1\n[a]\n0001.01\nx\n", {4, 5}, "1"},
                      SkippedText{"ClosingBracketOnly", "[A]\r\n0001.01=1\r\n]\r\n", {3}, "1"},
                      SkippedText{"None", "[A]\r\n; x\r\n\r\n0001.01=2\r\n", {}, "2"}),
    [](const auto& info) { return std::string(info.param.name); });

struct DamagedText {
    std::string text;
    int line;
};

class IniProfileDamaged : public ::testing::TestWithParam<DamagedText> {};

TEST_P(IniProfileDamaged, IsRefusedWithFileAndLine) {
    try {
        TIniProfile::Parse(GetParam().text, "/tmp/Таблицы.xch");
        FAIL() << "accepted";
    } catch (const EIniProfileError& e) {
        EXPECT_EQ(e.FileName(), "/tmp/Таблицы.xch");
        EXPECT_EQ(e.Line(), GetParam().line);
        const std::string what = e.what();
        EXPECT_NE(what.find("/tmp/Таблицы.xch"), std::string::npos) << what;
        EXPECT_NE(what.find("строка " + std::to_string(GetParam().line)), std::string::npos) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IniProfileDamaged,
    ::testing::Values(DamagedText{"0001.01=1\r\n[A]\r\n", 1},       // a key outside any section
                      DamagedText{"[A]\r\n\r\n[B\r\n", 3},          // an unclosed header
                      DamagedText{"[A]\r\n=1\r\n", 2},              // an empty key
                      DamagedText{"[A]\r\n  \t= x\r\n", 2},         // a key of blanks only
                      DamagedText{"[A]\n0001.01=1\n[A]\n=1\n", 4},  // inside a repeated section too
                      DamagedText{std::string("[A]\r\n0001.01=a\0b\r\n", 17), 2},  // NUL: not a text file
                      DamagedText{"[A]\r\nx=1\r\n[A] junk\r\n", 3}));

}  // namespace
