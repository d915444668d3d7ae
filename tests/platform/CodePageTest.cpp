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
