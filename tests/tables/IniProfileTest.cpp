// The ini reader of export files: the platform's reading rules, and damaged files refused whole.
#include <gtest/gtest.h>

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
    ::testing::Values(DamagedText{"[A]\r\n0001.01=1\r\nмусор\r\n", 3},   // neither section nor key
                      DamagedText{"0001.01=1\r\n[A]\r\n", 1},            // a key outside any section
                      DamagedText{"[A]\r\n\r\n[B\r\n", 3},               // an unclosed header
                      DamagedText{"[A]\r\n=1\r\n", 2},                   // an empty key
                      DamagedText{"[A]\r\n  \t= x\r\n", 2},              // a key of blanks only
                      DamagedText{"[A]\n0001.01=1\n[A]\n0001.01\n", 4},  // inside a repeated section too
                      DamagedText{std::string("[A]\r\n0001.01=a\0b\r\n", 17), 2},  // NUL: not a text file
                      DamagedText{"[A]\r\nx=1\r\n[A] junk\r\n", 3}));

}  // namespace
