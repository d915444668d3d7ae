// What the test program keeps of the register's receipts and of the link test, and how it shows them.
#include <gtest/gtest.h>

#include <vector>

#include "tools/tester/untAnswer.h"
#include "tools/tester/untLinkTest.h"

namespace {

using namespace tessel::tst;

// One request of a sale as the "Чеки" page takes it.
struct SaleStep {
    enum Kind { Line, Rollback, Close, Reset } kind;
    LONGLONG price = 0;  // 1/10000
    double quantity = 0;
};

struct ReceiptCase {
    const char* name;
    std::vector<SaleStep> steps;
    LONGLONG receipt, total;
    int count;
};

class Receipts : public ::testing::TestWithParam<ReceiptCase> {};

TEST_P(Receipts, KeepTheSumsThroughTheSale) {
    TReceipts receipts;
    for (const SaleStep& s : GetParam().steps) {
        if (s.kind == SaleStep::Close)
            receipts.Close();
        else if (s.kind == SaleStep::Reset)
            receipts.Reset();
        else
            receipts.Registration(s.price, s.quantity, s.kind == SaleStep::Rollback);
    }
    EXPECT_EQ(receipts.ReceiptSum(), GetParam().receipt);
    EXPECT_EQ(receipts.Total(), GetParam().total);
    EXPECT_EQ(receipts.Count(), GetParam().count);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Receipts,
    ::testing::Values(
        ReceiptCase{"LinesAddUp", {{SaleStep::Line, 125000, 1}, {SaleStep::Line, 50000, 3}}, 275000, 0, 0},
        // Price × quantity rounded to the money unit, halves away from zero.
        ReceiptCase{"LineIsRounded", {{SaleStep::Line, 33333, 0.5}}, 16667, 0, 0},
        ReceiptCase{"RollbackReplacesTheLastLine",
                    {{SaleStep::Line, 125000, 1}, {SaleStep::Line, 50000, 3}, {SaleStep::Rollback, 50000, 2}},
                    225000,
                    0,
                    0},
        ReceiptCase{
            "RollbackOfTheFirstRequestTakesNothingBack", {{SaleStep::Rollback, 125000, 1}}, 125000, 0, 0},
        ReceiptCase{
            "ClosingCountsAndAddsToTheTotal",
            {{SaleStep::Line, 125000, 1}, {SaleStep::Close}, {SaleStep::Line, 50000, 2}, {SaleStep::Close}},
            100000,
            225000,
            2},
        ReceiptCase{"NewReceiptStartsAfterAClosedOne",
                    {{SaleStep::Line, 125000, 1}, {SaleStep::Close}, {SaleStep::Line, 50000, 3}},
                    150000,
                    125000,
                    1},
        // The register undoes the last line of the closed receipt in the new one: the new receipt starts
        // anew.
        ReceiptCase{"RollbackAfterAClosedReceipt",
                    {{SaleStep::Line, 125000, 1}, {SaleStep::Close}, {SaleStep::Rollback, 50000, 2}},
                    100000,
                    125000,
                    1},
        ReceiptCase{"ResetZeroesEverything",
                    {{SaleStep::Line, 125000, 1}, {SaleStep::Close}, {SaleStep::Reset}},
                    0,
                    0,
                    0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReceiptText, MoneyShowsTwoToFourDecimals) {
    EXPECT_EQ(RoublesText(0), "0.00");
    EXPECT_EQ(RoublesText(125000), "12.50");
    EXPECT_EQ(RoublesText(93750), "9.375");
    EXPECT_EQ(RoublesText(1), "0.0001");
    EXPECT_EQ(RoublesText(-100), "-0.01");
}

TEST(CommandList, LinesStandUnderTheirHeadings) {
    EXPECT_EQ(CommandLine({0x81, 0, true, false}), "81h          1        0");
    EXPECT_EQ(CommandLine({0x05, 0, false, true}), "05h          0        1");
    const std::string header = kCommandsHeader;
    const std::string heading = header.substr(0, header.find('\n'));
    // Each flag sits under the first letter of its heading.
    const std::string line = CommandLine({0x90, 0, true, true});
    EXPECT_EQ(line[heading.find("Execute")], '1');
    EXPECT_EQ(line[heading.find("Rollback")], '1');
}

struct StatsCase {
    std::uint64_t calls, failures;
    std::uint32_t ms;
    std::uint64_t perSecond;
    const char* percent;
    std::uint32_t seconds;
    const char* msPerCall;
};

class LinkStats : public ::testing::TestWithParam<StatsCase> {};

TEST_P(LinkStats, AreShownAsTheTestReportsThem) {
    const StatsCase& c = GetParam();
    const TLinkStats stats{c.calls, c.failures, c.ms};
    EXPECT_EQ(stats.CallsPerSecond(), c.perSecond);
    EXPECT_EQ(stats.FailurePercentText(), c.percent);
    EXPECT_EQ(stats.ElapsedSeconds(), c.seconds);
    EXPECT_EQ(stats.MsPerCallText(), c.msPerCall);
}

INSTANTIATE_TEST_SUITE_P(Cases, LinkStats,
                         ::testing::Values(StatsCase{0, 0, 0, 0, "0.00", 0, "0.0"},
                                           StatsCase{5, 0, 0, 0, "0.00", 0, "0.0"},
                                           // 3 × 1000 / 7 = 428.57: truncated
                                           StatsCase{3, 1, 7, 428, "33.33", 0, "2.3"},
                                           StatsCase{1000, 2, 2500, 400, "0.20", 2, "2.5"},
                                           StatsCase{8, 8, 1000, 8, "100.00", 1, "125.0"}));

}  // namespace
