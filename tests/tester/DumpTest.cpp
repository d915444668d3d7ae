// The dump's blocks, its viewer's rows, its files and their comparison.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/platform/AtomicFile.h"
#include "support/TempDir.h"
#include "tools/tester/untDump.h"

namespace {

using namespace tessel::tst;

struct RangeCase {
    const char* name;
    int start, end, count;
    TDumpRange range;
};

class BlockRanges : public ::testing::TestWithParam<RangeCase> {};

TEST_P(BlockRanges, EndIsCutToTheLastBlock) {
    const RangeCase& c = GetParam();
    EXPECT_EQ(BlockRange(c.start, c.end, c.count), c.range);
}

INSTANTIATE_TEST_SUITE_P(Cases, BlockRanges,
                         ::testing::Values(RangeCase{"Inside", 2, 5, 64, {2, 6}},
                                           RangeCase{"OneBlock", 7, 7, 64, {7, 8}},
                                           RangeCase{"EndBeyondTheCount", 60, 100, 64, {60, 64}},
                                           RangeCase{"EndAtTheCount", 0, 64, 64, {0, 64}},
                                           RangeCase{"LastBlockAlone", 63, 65535, 64, {63, 64}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BlockRanges, StartBeyondTheEndIsRefusedWithBothNumbers) {
    for (const auto& [start, end, count, cut] : {std::tuple{5, 4, 64, 4}, std::tuple{70, 100, 64, 63}}) {
        try {
            BlockRange(start, end, count);
            FAIL() << start << ".." << end;
        } catch (const EDumpError& e) {
            EXPECT_EQ(std::string(e.what()), "Начальный номер блока (" + std::to_string(start) +
                                                 ")\r\nне может превышать конечный (" + std::to_string(cut) +
                                                 ").");
        }
    }
    EXPECT_EQ(WholeDump(64), (TDumpRange{0, 64}));
    EXPECT_EQ(WholeDump(0).Total(), 0);
}

TEST(DumpText, ElapsedTimeIsMinutesSecondsMilliseconds) {
    EXPECT_EQ(ElapsedText(0), "00.00.000");
    EXPECT_EQ(ElapsedText(61005), "01.01.005");
    EXPECT_EQ(ElapsedText(59999), "00.59.999");
    // Past an hour the minutes go on counting.
    EXPECT_EQ(ElapsedText(3723004), "62.03.004");
    EXPECT_EQ(DumpDeviceName(1), "Накопитель ФП");
    EXPECT_EQ(DumpDeviceName(6), "Оперативная память ККМ");
    for (const int code : {0, 7, -1}) EXPECT_EQ(DumpDeviceName(code), "Неизвестное устройство");
}

TEST(DumpViewer, RowsOfSixteenWithTheirOffsets) {
    Bytes data(33);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0xF0 + i);
    EXPECT_EQ(DumpRowCount(0), 1);
    EXPECT_EQ(DumpRowCount(16), 1);
    EXPECT_EQ(DumpRowCount(33), 3);
    EXPECT_EQ(DumpOffsetText(0), "000000");
    EXPECT_EQ(DumpOffsetText(2), "000020");
    EXPECT_EQ(DumpOffsetText(0x10000), "100000");
    EXPECT_EQ(DumpByteText(data, 0, 0), "F0");
    EXPECT_EQ(DumpByteText(data, 1, 15), "0F");
    EXPECT_EQ(DumpByteText(data, 2, 0), "10");
    // A short last row and an empty dump leave their cells empty.
    EXPECT_EQ(DumpByteText(data, 2, 1), "");
    EXPECT_EQ(DumpByteText({}, 0, 0), "");
    EXPECT_EQ(DumpByteText(data, 0, 16), "");
}

class DumpFiles : public ::testing::Test {
  protected:
    std::string Write(const char* name, const Bytes& data) {
        const std::string file = dir_.File(name);
        SaveDumpFile(file, data);
        return file;
    }
    TempDir dir_;
    const Bytes dump_{0x00, 0x01, 0xFF, 0x7F, 0x80};
};

TEST_F(DumpFiles, SavedAsRawBytesAndLoadedBack) {
    const std::string file = Write("dump.dmp", dump_);
    EXPECT_EQ(std::filesystem::file_size(file), dump_.size());
    // Its owner's alone: a dump may hold the register's tables.
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(LoadDumpFile(file), dump_);
    EXPECT_EQ(LoadDumpFile(Write("empty.dmp", {})), Bytes());
}

TEST_F(DumpFiles, ComparisonTellsSameDifferentAndSizes) {
    const std::string same = Write("same.dmp", dump_);
    Bytes changed = dump_;
    changed.back() ^= 1;
    const std::string other = Write("other.dmp", changed);
    const std::string longer = Write("longer.dmp", Bytes(dump_.size() + 1));
    EXPECT_EQ(CompareDumpFile(dump_, same), TDumpCompare::Same);
    EXPECT_EQ(CompareDumpFile(dump_, other), TDumpCompare::Different);
    EXPECT_EQ(CompareDumpFile(dump_, longer), TDumpCompare::SizeDiffers);
    EXPECT_STREQ(CompareText(TDumpCompare::Same), "Файлы не отличаются.");
    EXPECT_STREQ(CompareText(TDumpCompare::Different), "Файлы отличаются.");
    EXPECT_STREQ(CompareText(TDumpCompare::SizeDiffers), "Размеры файлов отличаются.");
}

TEST_F(DumpFiles, ComparisonReadsPastItsFirstPiece) {
    Bytes large(200000, 0x5A);
    const std::string file = Write("large.dmp", large);
    EXPECT_EQ(CompareDumpFile(large, file), TDumpCompare::Same);
    large[150000] = 0;
    EXPECT_EQ(CompareDumpFile(large, file), TDumpCompare::Different);
}

TEST_F(DumpFiles, MissingAndOversizedFilesAreRefusedWithTheirNames) {
    const std::string missing = dir_.File("missing.dmp");
    EXPECT_THROW(LoadDumpFile(missing), EDumpError);
    EXPECT_THROW(CompareDumpFile(dump_, missing), EDumpError);
    const std::string large = Write("large.dmp", {});
    std::filesystem::resize_file(large, kMaxDumpFileSize + 1);
    try {
        LoadDumpFile(large);
        FAIL();
    } catch (const EDumpError& e) {
        EXPECT_NE(std::string(e.what()).find(large), std::string::npos) << e.what();
    }
    // A file of another size is told apart without being read.
    EXPECT_EQ(CompareDumpFile(dump_, large), TDumpCompare::SizeDiffers);
}

}  // namespace
