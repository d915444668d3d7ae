// The rest registers page's lines: values in thousandths shown as decimals and read back from typed text.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tools/tester/untReg.h"

namespace {

using namespace tessel::tst;

struct DecimalCase {
    const char* text;
    std::optional<std::int32_t> thousandths;
};

void PrintTo(const DecimalCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class Thousandths : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(Thousandths, ParseTruncatesBeyondTheThousandths) {
    EXPECT_EQ(ParseThousandths(GetParam().text), GetParam().thousandths);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Thousandths,
    ::testing::Values(DecimalCase{"1.5", 1500}, DecimalCase{"1,5", 1500}, DecimalCase{" 12 ", 12000},
                      DecimalCase{"-0.25", -250}, DecimalCase{"+3.", 3000}, DecimalCase{".125", 125},
                      // Truncated, not rounded: 1.9999 is not 2.
                      DecimalCase{"1.9999", 1999}, DecimalCase{"-1.0019", -1001},
                      DecimalCase{"2147483.647", 2147483647}, DecimalCase{"-2147483.648", -2147483647 - 1},
                      DecimalCase{"2147483.648", std::nullopt},
                      DecimalCase{"99999999999999999999", std::nullopt}, DecimalCase{"", std::nullopt},
                      DecimalCase{".", std::nullopt}, DecimalCase{"1.2.3", std::nullopt},
                      DecimalCase{"1e3", std::nullopt}, DecimalCase{"--1", std::nullopt},
                      DecimalCase{"0x10", std::nullopt}));

// What the page shows reads back as the same value, for the values a register holds.
TEST(RestLines, ShownValuesReadBack) {
    for (const std::int32_t value : {0, 1, 999, 1000, 1500, -250, -1, 2147483647, -2147483647 - 1}) {
        const std::string line = RestLine(7, value);
        EXPECT_EQ(line.substr(0, 6), "0007: ");
        EXPECT_EQ(ParseThousandths(line.substr(6)), value) << line;
    }
    EXPECT_EQ(ThousandthsText(1500), "1.5");
    EXPECT_EQ(ThousandthsText(-250), "-0.25");
    EXPECT_EQ(ThousandthsText(0), "0");
    EXPECT_EQ(RestLine(12345, 1), "12345: 0.001");
}

TEST(RestLines, WritesComeFromEveryLineInOrderSkippingBlankOnes) {
    EXPECT_EQ(ParseRestLines("0001: 1.5\r\n\n  \n0002: -3\n0010:   7,25"),
              (std::vector<TRestWrite>{{1, 1500}, {2, -3000}, {10, 7250}}));
    EXPECT_TRUE(ParseRestLines("").empty());
    // Characters 5 and 6 separate; the value starts at the seventh whatever they are.
    EXPECT_EQ(ParseRestLines("  12  4"), (std::vector<TRestWrite>{{12, 4000}}));
    // A number of five digits, as the page shows it, is written back to its own register.
    EXPECT_EQ(ParseRestLines(RestLine(12345, 1) + "\n" + RestLine(65535, -2)),
              (std::vector<TRestWrite>{{12345, 1}, {65535, -2}}));
}

struct BadLine {
    const char* text;
    const char* message;
};

class RestLineErrors : public ::testing::TestWithParam<BadLine> {};

TEST_P(RestLineErrors, NameTheLineAndNothingIsWritten) {
    try {
        ParseRestLines(GetParam().text);
        FAIL() << "accepted";
    } catch (const ERestLineError& e) {
        EXPECT_STREQ(e.what(), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RestLineErrors,
                         ::testing::Values(BadLine{"0001: 1\nabcd: 2", "Неверная строка 2: «abcd: 2»"},
                                           BadLine{"0001:", "Неверная строка 1: «0001:»"},
                                           BadLine{"0001: ", "Неверная строка 1: «0001:»"},
                                           BadLine{"\n0001: много", "Неверная строка 2: «0001: много»"},
                                           BadLine{"-001: 1", "Неверная строка 1: «-001: 1»"},
                                           BadLine{"65536: 1", "Неверная строка 1: «65536: 1»"}));

TEST(RegisterLines, NumberHasAtLeastTwoDigits) {
    EXPECT_EQ(RegisterLine({3, "12.5"}), "03: 12.5");
    EXPECT_EQ(RegisterLine({255, "0"}), "255: 0");
}

}  // namespace
