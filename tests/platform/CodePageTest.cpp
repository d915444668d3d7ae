#include <gtest/gtest.h>

#include "common/platform/CodePage.h"

using namespace tessel;

TEST(CodePage, EveryByteRoundTrips) {
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(one)), one) << "byte " << b;
    }
}

TEST(CodePage, CyrillicKnownAnswers) {
    EXPECT_EQ(Utf8ToCp1251("Ошибок нет"), "\xCE\xF8\xE8\xE1\xEE\xEA \xED\xE5\xF2");
    EXPECT_EQ(Cp1251ToUtf8("\xA8\xB8\xB9"), "Ёё№");
    EXPECT_EQ(Cp1251ToUtf8("\x88"), "€");
}

TEST(CodePage, UnencodableBecomesQuestionMark) {
    EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xADz"), "a?z");      // a CJK character
    EXPECT_EQ(Utf8ToCp1251("a\xF0\x9F\x98\x80z"), "a?z");  // outside the BMP
    EXPECT_EQ(Utf8ToCp1251("a\xFFz"), "a?z");              // malformed
    EXPECT_EQ(Utf8ToCp1251("a\xD0"), "a?");                // cut sequence
    EXPECT_EQ(Utf8ToCp1251("\xC0\x80"), "??");             // overlong
}

TEST(CodePage, CaseInsensitiveComparison) {
    EXPECT_TRUE(SameTextNoCase("Software\\Korvex", "SOFTWARE\\korvex"));
    EXPECT_TRUE(SameTextNoCase("Устройство Ё", "устройство ё"));
    EXPECT_LT(CompareTextNoCase("Device10", "device2"), 0);
    EXPECT_LT(CompareTextNoCase("abc", "ABCD"), 0);
    EXPECT_FALSE(SameTextNoCase("a", "b"));
}

struct Utf8Case {
    const char* name;
    std::string bytes;
    bool utf8;
};

void PrintTo(const Utf8Case& c, std::ostream* os) {
    *os << c.name;
}

class LooksLikeUtf8Test : public ::testing::TestWithParam<Utf8Case> {};

// A file of Cyrillic text is UTF-8 or Windows-1251, never both; plain ASCII is either and so not UTF-8 here.
TEST_P(LooksLikeUtf8Test, TellsUtf8TextFromWindows1251) {
    EXPECT_EQ(tessel::LooksLikeUtf8(GetParam().bytes), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LooksLikeUtf8Test,
    ::testing::Values(
        Utf8Case{"Cyrillic", "[Налоги]\r\n0001.02=НДС 20%\r\n", true},
        Utf8Case{"SameTextInWindows1251", tessel::Utf8ToCp1251("[Налоги]\r\n0001.02=НДС 20%\r\n"), false},
        Utf8Case{"Windows1251CapitalsAlone", tessel::Utf8ToCp1251("ВВОД"), false},
        Utf8Case{"AsciiAlone", "[Taxes]\r\n0001.01=5\r\n", false}, Utf8Case{"Empty", "", false},
        Utf8Case{"ByteOrderMark", "\xEF\xBB\xBF[Taxes]", true},
        Utf8Case{"FourBytes", "\xF0\x9F\x99\x82", true}, Utf8Case{"OverlongSlash", "\xC0\xAF", false},
        Utf8Case{"OverlongThreeBytes", "\xE0\x80\xAF", false}, Utf8Case{"Surrogate", "\xED\xA0\x80", false},
        Utf8Case{"BeyondUnicode", "\xF4\x90\x80\x80", false}, Utf8Case{"CutShort", "Нал\xD0", false},
        Utf8Case{"StrayContinuation", "a\x80", false}),
    [](const auto& info) { return std::string(info.param.name); });
