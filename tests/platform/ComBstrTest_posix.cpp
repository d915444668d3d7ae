#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/com/ComText.h"
#include "common/com/ComTypes.h"
#include "common/com/OleAuto.h"

using namespace tessel;

namespace {

std::uint32_t PrefixOf(BSTR s) {
    std::uint32_t n = 0;
    std::memcpy(&n, reinterpret_cast<const char*>(s) - 4, 4);
    return n;
}

struct TextCase {
    const char* name;
    std::string utf8;
    UINT units;  // UTF-16 units
};

class BstrText : public ::testing::TestWithParam<TextCase> {};

TEST_P(BstrText, RoundTripsWithLengthPrefixAndTerminator) {
    const TextCase& c = GetParam();
    UniqueBstr b = Utf8ToBstr(c.utf8);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b.get()), c.units);
    EXPECT_EQ(SysStringByteLen(b.get()), c.units * 2);
    EXPECT_EQ(PrefixOf(b.get()), c.units * 2);
    EXPECT_EQ(b.get()[c.units], u'\0');
    EXPECT_EQ(BstrToUtf8(b.get()), c.utf8);

    // A copy by length keeps everything, embedded NULs included.
    UniqueBstr copy(SysAllocStringLen(b.get(), SysStringLen(b.get())));
    EXPECT_EQ(BstrToUtf8(copy.get()), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(Texts, BstrText,
                         ::testing::Values(TextCase{"Empty", "", 0}, TextCase{"Ascii", "Beep", 4},
                                           TextCase{"EmbeddedNul", std::string("a\0b", 3), 3},
                                           TextCase{"Cyrillic", "Драйвер ККМ", 11},
                                           TextCase{"OutsideBasicPlane", "x\xF0\x9F\x98\x80", 3}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Bstr, NullIsEmptyEverywhere) {
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    EXPECT_EQ(BstrToUtf8(nullptr), "");
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr);
}

TEST(Bstr, AllocStringStopsAtNulAndLenZeroFillsWithoutSource) {
    UniqueBstr a(SysAllocString(u"ab\0cd"));
    EXPECT_EQ(SysStringLen(a.get()), 2u);
    UniqueBstr z(SysAllocStringLen(nullptr, 3));
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(SysStringLen(z.get()), 3u);
    EXPECT_EQ(z.get()[0], 0);
    EXPECT_EQ(z.get()[2], 0);
}

TEST(Bstr, ByteLengthMayBeOdd) {
    UniqueBstr b(SysAllocStringByteLen("abc", 3));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringByteLen(b.get()), 3u);
    EXPECT_EQ(SysStringLen(b.get()), 1u);
    EXPECT_EQ(std::memcmp(b.get(), "abc", 3), 0);
    EXPECT_EQ(reinterpret_cast<const char*>(b.get())[3], 0);  // a whole NUL unit follows
    EXPECT_EQ(reinterpret_cast<const char*>(b.get())[4], 0);
}

TEST(Bstr, ImpossibleLengthIsRefused) {
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x7FFFFFFF), nullptr);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFF), nullptr);
}

TEST(Bstr, ReAllocFromItsOwnTextAndFailureLeavesIt) {
    BSTR s = SysAllocString(u"hello world");
    ASSERT_EQ(SysReAllocString(&s, s + 6), TRUE);
    EXPECT_EQ(BstrToUtf8(s), "world");
    ASSERT_EQ(SysReAllocStringLen(&s, s, 2), TRUE);
    EXPECT_EQ(BstrToUtf8(s), "wo");
    EXPECT_EQ(SysReAllocString(nullptr, u"x"), FALSE);
    SysFreeString(s);
}

TEST(Bstr, LoneSurrogateBecomesReplacementCharacter) {
    const OLECHAR units[] = {u'a', 0xD800, u'b'};
    UniqueBstr b(SysAllocStringLen(units, 3));
    EXPECT_EQ(BstrToUtf8(b.get()),
              "a\xEF\xBF\xBD"
              "b");
}

TEST(ByteString, EveryByteRoundTripsOneCharacterEach) {
    Bytes all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<std::uint8_t>(i));
    UniqueBstr b = BytesToBstr(all);
    ASSERT_EQ(SysStringLen(b.get()), 256u);
    EXPECT_EQ(b.get()[0xC0], u'А');  // Windows-1251 C0h is the Cyrillic capital A
    EXPECT_EQ(b.get()[0], 0);        // a NUL byte stays a character
    EXPECT_EQ(BstrToBytes(b.get()), all);
}

TEST(ByteString, CharacterOutsideTheCodePageBecomesQuestionMark) {
    UniqueBstr b = Utf8ToBstr("Я中");
    EXPECT_EQ(BstrToBytes(b.get()), (Bytes{0xDF, '?'}));
}

}  // namespace
