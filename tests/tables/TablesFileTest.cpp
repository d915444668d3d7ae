// The export file: save and load of table contents.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "common/platform/AtomicFile.h"
#include "common/platform/CodePage.h"
#include "driver/tables/untIniProfile.h"
#include "driver/tables/untTables.h"
#include "support/TempDir.h"

namespace {

const std::string kMin = std::to_string(std::numeric_limits<std::int32_t>::min());
const std::string kMax = std::to_string(std::numeric_limits<std::int32_t>::max());

// Every kind of value a cell holds: Cyrillic text, numbers at both limits, empty text, and texts that the
// reading rules would change if they were written bare.
const std::vector<std::string> kValues = {"Кассир Иванов",  kMin,          kMax,    "",   "  отступы  ",
                                          "\"в кавычках\"", "'одинарные'", "a=b;c", "ёЁ№"};

// A table of 3 rows x 3 fields holding kValues in cell order.
TTable& AddFilled(TTables& tables, const std::string& name, std::int32_t number) {
    TTable& table = tables.Add(name, number, 3, 3);
    for (int k = 0; k < table.Fields().Count(); ++k) table.Fields().Items(k).SetValue(kValues.at(k));
    return table;
}

std::string ReadFile(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(tessel::ReadWholeFile(path, bytes)) << path;
    return bytes;
}

void WriteFile(const std::string& path, const std::string& utf8) {
    tessel::WriteFileAtomically(path, tessel::Utf8ToCp1251(utf8));
}

class TablesFile : public ::testing::Test {
  protected:
    TempDir dir_;
    const std::string path_ = dir_.File("Таблицы.xch");
};

TEST_F(TablesFile, SaveThenLoadRestoresEveryCellAndMarksItModified) {
    TTables saved;
    AddFilled(saved, "Кассиры и администраторы", 2);
    saved.Add("Не выбрана", 3, 1, 1).Selected = false;
    saved.Add("Пустая", 4, 0, 3);
    saved.SaveToFile(path_);

    TTables loaded;
    TTable& target = loaded.Add("Кассиры и администраторы", 2, 3, 3);
    TTable& other = loaded.Add("Не выбрана", 3, 1, 1);
    for (int k = 0; k < target.Fields().Count(); ++k) target.Fields().Items(k).SetValue("старое");
    loaded.LoadFromFile(path_);
    EXPECT_TRUE(target.Selected);
    EXPECT_FALSE(other.Selected);
    for (int k = 0; k < target.Fields().Count(); ++k) {
        EXPECT_EQ(target.Fields().Items(k).Value(), kValues.at(k)) << k;
        EXPECT_TRUE(target.Fields().Items(k).Modified) << k;
    }
}

TEST_F(TablesFile, FileIsWindows1251WithCrLfAndOneKeyPerCell) {
    TTables tables;
    TTable& table = tables.Add("Налоги", 4, 12, 3);
    table.Fields().Find(3, 12)->SetValue("НДС");
    table.Fields().Find(1, 1)->SetValue("  x");
    tables.Add("Секции", 5, 1, 1).Fields().Items(0).SetValue("Секция 1");
    tables.SaveToFile(path_);

    const std::string bytes = ReadFile(path_);
    EXPECT_EQ(bytes.find('\n'), bytes.find("\r\n") + 1) << "lines end with CR LF";
    const std::string text = tessel::Cp1251ToUtf8(bytes);
    EXPECT_EQ(text.rfind("[Налоги]\r\n0001.01=\"  x\"\r\n0001.02=\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("\r\n0012.03=НДС\r\n\r\n[Секции]\r\n0001.01=Секция 1\r\n\r\n"), std::string::npos)
        << text;
    EXPECT_EQ(bytes.find("[\xCD\xE0\xEB\xEE\xE3\xE8]"), 0u) << "the section name in Windows-1251";
    EXPECT_EQ(std::filesystem::status(path_).permissions() & std::filesystem::perms::others_read,
              std::filesystem::perms::none);
    EXPECT_EQ(CellKey(12, 3), "0012.03");
    EXPECT_EQ(CellKey(1, 1), "0001.01");
}

TEST_F(TablesFile, TwoTablesWithOneNameGiveTheFirstItsOwnValues) {
    TTables saved;
    const TTable& first0 = AddFilled(saved, "Двойник", 1);
    TTable& second = saved.Add("Двойник", 2, 3, 3);
    for (int k = 0; k < second.Fields().Count(); ++k) second.Fields().Items(k).SetValue("второй");
    TTable& third = saved.Add("ДВОЙНИК", 3, 1, 1);  // the same section for the ini form
    third.Fields().Items(0).SetValue("третий");
    const TExportResult result = saved.SaveToFile(path_);
    const std::string text = tessel::Cp1251ToUtf8(ReadFile(path_));
    EXPECT_EQ(text.find("второй"), std::string::npos) << text;
    EXPECT_EQ(text.find("третий"), std::string::npos) << text;
    EXPECT_EQ(result.Written, std::vector<const TTable*>{&first0});
    ASSERT_EQ(result.LeftOut.size(), 2u);
    EXPECT_EQ(result.LeftOut[0].Table, &second);
    EXPECT_EQ(result.LeftOut[0].Holder, &first0);
    EXPECT_EQ(result.LeftOut[1].Table, &third);
    EXPECT_EQ(result.LeftOut[1].Holder, &first0);

    TTables loaded;
    TTable& first = loaded.Add("Двойник", 1, 3, 3);
    TTable& twin = loaded.Add("Двойник", 2, 3, 3);
    TTable& upper = loaded.Add("ДВОЙНИК", 3, 1, 1);
    loaded.LoadFromFile(path_);
    EXPECT_TRUE(first.Selected);
    EXPECT_FALSE(twin.Selected);
    EXPECT_FALSE(upper.Selected) << "sections find tables by the exact name";
    for (int k = 0; k < first.Fields().Count(); ++k) {
        EXPECT_EQ(first.Fields().Items(k).Value(), kValues.at(k)) << k;
        EXPECT_EQ(twin.Fields().Items(k).Value(), "") << k;
    }
}

// Which tables an export writes when names repeat: only two written tables may not share a section.
struct ExportTable {
    const char* name;
    bool selected;
    int rows;
};
struct ExportCase {
    const char* label;
    std::vector<ExportTable> tables;  // numbered from 1
    std::vector<int> written;
    std::vector<std::pair<int, int>> leftOut;  // table, the written table holding its section
};

class TablesExport : public TablesFile, public ::testing::WithParamInterface<ExportCase> {};

TEST_P(TablesExport, LeavesOutOnlyASecondWrittenTableOfASection) {
    TTables tables;
    for (std::size_t i = 0; i < GetParam().tables.size(); ++i) {
        const ExportTable& t = GetParam().tables[i];
        TTable& table = tables.Add(t.name, static_cast<std::int32_t>(i + 1), t.rows, 1);
        table.Selected = t.selected;
        for (int k = 0; k < table.Fields().Count(); ++k)
            table.Fields().Items(k).SetValue("из " + std::to_string(i + 1));
    }
    const TExportResult result = tables.SaveToFile(path_);
    std::vector<int> written;
    for (const TTable* t : result.Written) written.push_back(t->Number);
    EXPECT_EQ(written, GetParam().written);
    std::vector<std::pair<int, int>> leftOut;
    for (const TExportResult::TLeftOut& l : result.LeftOut)
        leftOut.emplace_back(l.Table->Number, l.Holder != nullptr ? l.Holder->Number : 0);
    EXPECT_EQ(leftOut, GetParam().leftOut);
    // The file holds what the result says: each written table's values under its name.
    TTables loaded;
    for (const int number : written) {
        const ExportTable& t = GetParam().tables[static_cast<std::size_t>(number - 1)];
        loaded.Add(t.name, number, t.rows, 1);
    }
    loaded.LoadFromFile(path_);
    for (int i = 0; i < loaded.Count(); ++i)
        EXPECT_EQ(loaded.Items(i).Fields().Items(0).Value(), "из " + std::to_string(loaded.Items(i).Number));
}

INSTANTIATE_TEST_SUITE_P(
    Names, TablesExport,
    ::testing::Values(
        ExportCase{"AfterAnUnselectedTableOfItsName", {{"Налоги", false, 1}, {"Налоги", true, 2}}, {2}, {}},
        ExportCase{"AfterATableOfItsNameWithoutCells", {{"Налоги", true, 0}, {"Налоги", true, 2}}, {2}, {}},
        ExportCase{"BothWritten", {{"Налоги", true, 1}, {"Налоги", true, 2}}, {1}, {{2, 1}}},
        ExportCase{"BothWrittenNamesDifferInCase", {{"Налоги", true, 1}, {"НАЛОГИ", true, 1}}, {1}, {{2, 1}}},
        ExportCase{"OthersBetween",
                   {{"А", false, 1}, {"Б", true, 1}, {"А", true, 1}, {"б", true, 1}, {"А", true, 1}},
                   {2, 3},
                   {{4, 2}, {5, 3}}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(TablesFile, LinesWithoutEqualsAreSkippedCountedAndTheRestApplied) {
    WriteFile(path_, "[Секции]\r\n0001.01=первая\r\nопечатка\r\n0002.01 вторая\r\n0003.01=третья\r\n");
    TTables tables;
    TTable& sections = tables.Add("Секции", 1, 3, 1);
    EXPECT_EQ(tables.LoadFromFile(path_), (std::vector<int>{3, 4}));
    EXPECT_EQ(sections.Fields().Items(0).Value(), "первая");
    EXPECT_FALSE(sections.Fields().Items(1).Modified);
    EXPECT_EQ(sections.Fields().Items(2).Value(), "третья");
    EXPECT_TRUE(tables.LoadFromFile(dir_.File("нет.xch")).empty());
}

TEST_F(TablesFile, LoadFollowsTheProfileRulesAndIgnoresWhatMatchesNothing) {
    WriteFile(path_,
              "; written by hand\r\n"
              "[Секции]\r\n"
              "  0002.01 =  с пробелами  \r\n"
              "0001.01=\"  кавычки \"\r\n"
              "0009.01=нет такого ряда\r\n"
              "[секции]\r\n"
              "0001.01=повтор\r\n"
              "[Неизвестная]\r\n"
              "0001.01=1\r\n");
    TTables tables;
    TTable& sections = tables.Add("Секции", 3, 3, 1);
    TTable& lower = tables.Add("секции", 4, 1, 1);
    TTable& untouched = tables.Add("Налоги", 5, 1, 1);
    sections.Fields().Items(2).Modified = true;  // a cell that the file does not hold loses its mark
    tables.LoadFromFile(path_);
    EXPECT_TRUE(sections.Selected);
    EXPECT_FALSE(lower.Selected) << "a repeated section name is the first section";
    EXPECT_FALSE(untouched.Selected);
    EXPECT_EQ(sections.Fields().Items(0).Value(), "  кавычки ");
    EXPECT_EQ(sections.Fields().Items(1).Value(), "с пробелами");
    EXPECT_TRUE(sections.Fields().Items(0).Modified);
    EXPECT_TRUE(sections.Fields().Items(1).Modified);
    EXPECT_FALSE(sections.Fields().Items(2).Modified);
}

TEST_F(TablesFile, MissingFileChangesNothing) {
    TTables tables;
    TTable& table = tables.Add("Т", 1, 1, 1);
    table.Fields().Items(0).Modified = true;
    tables.LoadFromFile(dir_.File("нет.xch"));
    EXPECT_TRUE(table.Selected);
    EXPECT_TRUE(table.Fields().Items(0).Modified);
}

class TablesFileDamaged : public TablesFile, public ::testing::WithParamInterface<const char*> {};

// The bad line comes after good sections, so a reader that applied as it went would have changed cells.
TEST_P(TablesFileDamaged, IsReportedWithNameAndLineAndNothingIsApplied) {
    WriteFile(path_, std::string("[Секции]\r\n0001.01=новое\r\n\r\n[Налоги]\r\n0001.01=1\r\n") + GetParam());
    TTables tables;
    TTable& sections = tables.Add("Секции", 1, 1, 1);
    TTable& taxes = tables.Add("Налоги", 2, 1, 1);
    TTable& third = tables.Add("Третья", 3, 1, 1);
    sections.Fields().Items(0).SetValue("старое");
    sections.Selected = false;
    taxes.Fields().Items(0).Modified = true;
    try {
        tables.LoadFromFile(path_);
        FAIL() << "accepted";
    } catch (const EIniProfileError& e) {
        EXPECT_EQ(e.FileName(), path_);
        EXPECT_EQ(e.Line(), 6);
        EXPECT_NE(std::string(e.what()).find(path_), std::string::npos);
    }
    EXPECT_EQ(sections.Fields().Items(0).Value(), "старое");
    EXPECT_FALSE(sections.Selected);
    EXPECT_FALSE(sections.Fields().Items(0).Modified);
    EXPECT_TRUE(taxes.Selected);
    EXPECT_TRUE(taxes.Fields().Items(0).Modified);
    EXPECT_TRUE(third.Selected);
}

INSTANTIATE_TEST_SUITE_P(BadLines, TablesFileDamaged,
                         ::testing::Values("[Незакрытая\r\n", "=без ключа\r\n", " \t= пустой ключ\r\n"));

}  // namespace
