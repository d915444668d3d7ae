// The table model: cells, field definitions and the validation of typed-in values.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "driver/tables/untTables.h"
#include "support/PeakMemory.h"

namespace {

TFieldDef NumberDef(std::string name, std::int32_t min, std::int32_t max, std::int32_t number = 1) {
    TFieldDef def;
    def.Name = std::move(name);
    def.Size = 4;
    def.Number = number;
    def.FieldType = ftInt;
    def.MinValue = min;
    def.MaxValue = max;
    return def;
}

TFieldDef StringDef(std::string name, std::int32_t size, std::int32_t number = 1) {
    TFieldDef def;
    def.Name = std::move(name);
    def.Size = size;
    def.Number = number;
    def.FieldType = ftStr;
    return def;
}

TEST(TablesModel, CellsAreCreatedRowByRowAndFoundByAddress) {
    TTables tables;
    TTable& table = tables.Add("Налоги", 4, 3, 2);
    ASSERT_EQ(table.Fields().Count(), 6);
    for (int k = 0; k < 6; ++k) {
        const TField& cell = table.Fields().Items(k);
        EXPECT_EQ(cell.Row, k / 2 + 1);
        EXPECT_EQ(cell.FieldNumber, k % 2 + 1);
        EXPECT_EQ(cell.TableNumber, 4);
        EXPECT_TRUE(cell.Value().empty());
        EXPECT_FALSE(cell.Modified);
    }
    EXPECT_EQ(table.Fields().Find(2, 3), &table.Fields().Items(5));
    EXPECT_EQ(table.Fields().Find(1, 2), &table.Fields().Items(2));
    for (auto [field, row] : std::vector<std::pair<int, int>>{{0, 1}, {3, 1}, {1, 0}, {1, 4}, {-1, -1}})
        EXPECT_EQ(table.Fields().Find(field, row), nullptr) << field << "," << row;
    EXPECT_THROW(table.Fields().Items(6), std::out_of_range);
    EXPECT_TRUE(table.Selected);
}

TEST(TablesModel, EmptyTablesHaveNoCellsAndImpossibleCountsAreRefused) {
    TTables tables;
    EXPECT_EQ(tables.Add("Нет рядов", 1, 0, 5).Fields().Count(), 0);
    EXPECT_EQ(tables.Add("Нет полей", 2, 7, 0).Fields().Count(), 0);
    EXPECT_EQ(tables.Add("Самая большая", 3, kMaxTableRows, 1).Fields().Count(), kMaxTableRows);
    for (auto [rows, fields] : std::vector<std::pair<int, int>>{{-1, 1},
                                                                {1, -1},
                                                                {kMaxTableRows + 1, 1},
                                                                {1, kMaxTableFields + 1},
                                                                {std::numeric_limits<int>::max(), 255}})
        EXPECT_THROW(tables.Add("x", 9, rows, fields), ETablesError) << rows << "x" << fields;
    EXPECT_EQ(tables.Count(), 3);
}

// A structure costs nothing until its cells are used, and the tables of a device together are bounded.
TEST(TablesModel, CellsAreMadeWhenUsedAndTheDevicesTotalIsBounded) {
    TTables tables;
    const long before = tessel_test::PeakKilobytes();
    const std::int32_t fields = static_cast<std::int32_t>(kMaxTotalCells / kMaxTableRows);
    TTable& big = tables.Add("Большая", 1, kMaxTableRows, fields);
    ASSERT_EQ(big.Fields().Count(), kMaxTableRows * fields);
    TField* last = big.Fields().Find(fields, kMaxTableRows);
    ASSERT_NE(last, nullptr);
    last->SetValue("x");
    EXPECT_EQ(big.Fields().MadeCount(), 1);
    EXPECT_EQ(big.Fields().ValueAt(big.Fields().Count() - 1), "x");
    EXPECT_EQ(big.Fields().ValueAt(0), "");
    EXPECT_EQ(big.Fields().MadeCount(), 1) << "looking at a value makes no cell";

    const std::int64_t room = kMaxTotalCells - tables.TotalCells();
    try {
        tables.Add("Лишняя", 2, 1, static_cast<std::int32_t>(room + 1));
        FAIL() << "a structure beyond the device's total was taken";
    } catch (const ETablesError& e) {
        EXPECT_NE(std::string(e.what()).find("Слишком большая структура таблиц ККМ"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(tables.Add("Последняя", 3, 1, static_cast<std::int32_t>(room)).Fields().Count(), room);
    EXPECT_EQ(tables.Count(), 2);
    EXPECT_EQ(tables.TotalCells(), kMaxTotalCells);
    EXPECT_LT(tessel_test::PeakKilobytes() - before, 16 * 1024) << "kilobytes for the structures";
}

TEST(TablesModel, ValueChangesNotifyTheTableOnlyWhenTheTextDiffers) {
    TTables tables;
    TTable& table = tables.Add("Т", 1, 2, 2);
    std::vector<TField*> changes;
    table.OnChange = [&](TTable& t) { changes.push_back(t.ChangedField()); };
    TField& cell = table.Fields().Items(3);
    cell.SetValue("abc");
    cell.SetValue("abc");
    table.Fields().Items(0).SetValue("x");
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0], &cell);
    EXPECT_EQ(table.ChangedField(), &table.Fields().Items(0));

    cell.Modified = true;
    table.Fields().ClearModified();
    EXPECT_FALSE(cell.Modified);
    table.Fields().ClearValues();
    EXPECT_EQ(cell.Value(), "");
    EXPECT_EQ(changes.size(), 2u);  // no notification for clearing
}

TEST(TablesModel, FieldDefinitionPresentation) {
    EXPECT_EQ(FieldTypeName(ftInt), "число");
    EXPECT_EQ(FieldTypeName(ftStr), "строка");
    EXPECT_EQ(FieldTypeName(2), "неизвестен");
    EXPECT_EQ(FieldTypeName(-1), "неизвестен");

    const TFieldDef number = NumberDef("Ставка", -5, 9999);
    EXPECT_EQ(number.DisplayWidth(), 6);  // the name is longer than "9999"
    EXPECT_EQ(number.Hint(), "Число -5..9999");
    EXPECT_EQ(number.ShownMin(), -5);
    EXPECT_EQ(number.ShownMax(), 9999);
    EXPECT_EQ(NumberDef("N", 0, -2147483647 - 1).DisplayWidth(), 11);

    const TFieldDef text = StringDef("Имя", 21);
    EXPECT_EQ(text.DisplayWidth(), 21);
    EXPECT_EQ(text.Hint(), "Строка до 21 символов");
    EXPECT_EQ(text.ShownMin(), 0);
    EXPECT_EQ(text.ShownMax(), 21);
    EXPECT_EQ(StringDef("Название секции", 3).DisplayWidth(), 15);

    TFieldDef unknown = StringDef("Поле", 8);
    unknown.FieldType = 7;
    unknown.MinValue = 1;
    unknown.MaxValue = 2;
    EXPECT_EQ(unknown.ShownMin(), 0);
    EXPECT_EQ(unknown.ShownMax(), 8);
}

TEST(TablesModel, FieldDefinitionsSortByNumberAndAreFoundByPosition) {
    TTables tables;
    TTable& table = tables.Add("Т", 1, 1, 3);
    table.FieldDefs().Add(StringDef("третье", 5, 3));
    table.FieldDefs().Add(NumberDef("первое", 0, 9, 1));
    EXPECT_FALSE(table.StructureComplete());
    table.FieldDefs().Add(NumberDef("второе", 0, 9, 2));
    table.FieldDefs().SortByNumber();
    EXPECT_TRUE(table.StructureComplete());
    EXPECT_EQ(table.FieldDefOf(table.Fields().Items(2)).Name, "третье");

    table.FieldDefs().Clear();
    table.FieldDefs().Add(NumberDef("первое", 0, 9, 1));
    try {
        table.FieldDefOf(table.Fields().Items(1));
        FAIL() << "no definition for field 2";
    } catch (const ETablesError& e) {
        EXPECT_STREQ(e.what(), "Не найдена структура поля с номером 2");
    }
}

struct CellTextCase {
    const char* text;
    const char* error;  // null: accepted
};

class CellTextValidation : public ::testing::TestWithParam<CellTextCase> {};

TEST_P(CellTextValidation, NumbersAreCheckedStringsAreNot) {
    TTables tables;
    TTable& table = tables.Add("Т", 1, 1, 2);
    table.FieldDefs().Add(NumberDef("Ставка", -7, 9999, 1));
    table.FieldDefs().Add(StringDef("Имя", 3, 2));
    TField& number = table.Fields().Items(0);
    number.SetValue("1");
    const CellTextCase& c = GetParam();
    if (c.error == nullptr) {
        table.SetCellText(number, c.text);
        EXPECT_EQ(number.Value(), c.text);
    } else {
        try {
            table.SetCellText(number, c.text);
            FAIL() << "accepted " << c.text;
        } catch (const ETablesError& e) {
            EXPECT_EQ(std::string(e.what()), c.error);
        }
        EXPECT_EQ(number.Value(), "1");
    }
    // Strings are never checked, not even against their size.
    table.SetCellText(table.Fields().Items(1), c.text);
    EXPECT_EQ(table.Fields().Items(1).Value(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CellTextValidation,
    ::testing::Values(
        CellTextCase{"-7", nullptr}, CellTextCase{"9999", nullptr}, CellTextCase{"+12", nullptr},
        CellTextCase{"0", nullptr},
        CellTextCase{"5a", "Неверное значение поля \"Ставка\".\r\n\"5a\" не является целым числом."},
        CellTextCase{"", "Неверное значение поля \"Ставка\".\r\n\"\" не является целым числом."},
        CellTextCase{" 5", "Неверное значение поля \"Ставка\".\r\n\" 5\" не является целым числом."},
        CellTextCase{"1.5", "Неверное значение поля \"Ставка\".\r\n\"1.5\" не является целым числом."},
        CellTextCase{"-", "Неверное значение поля \"Ставка\".\r\n\"-\" не является целым числом."},
        CellTextCase{"2147483648",
                     "Неверное значение поля \"Ставка\".\r\n\"2147483648\" не является целым числом."},
        CellTextCase{"-8",
                     "Неверное значение поля \"Ставка\" (-8).\r\nЗначения поля должны находиться в диапазоне "
                     "-7..9999."},
        CellTextCase{
            "10000",
            "Неверное значение поля \"Ставка\" (10000).\r\nЗначения поля должны находиться в диапазоне "
            "-7..9999."}));

TEST(TablesModel, Int32ParsingAtTheLimits) {
    std::int32_t v = 0;
    EXPECT_TRUE(TryParseInt32("-2147483648", v));
    EXPECT_EQ(v, std::numeric_limits<std::int32_t>::min());
    EXPECT_TRUE(TryParseInt32("2147483647", v));
    EXPECT_EQ(v, std::numeric_limits<std::int32_t>::max());
    for (const char* bad : {"-2147483649", "99999999999999999999", "+-1", "--1", "0x10", "1 "})
        EXPECT_FALSE(TryParseInt32(bad, v)) << bad;
}

}  // namespace
