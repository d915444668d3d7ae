// The register's tables: structure, reads and writes with every refusal, and restoring the initial contents.
#include <gtest/gtest.h>

#include <string>

#include "common/platform/CodePage.h"
#include "tools/emulator/EmuTables.h"

namespace {

struct AccessCase {
    const char* name;
    std::uint8_t table;
    std::uint16_t row;
    std::uint8_t field;
    std::uint8_t type;
    std::string value;
    std::int32_t result;
};

class TableWrites : public ::testing::TestWithParam<AccessCase> {};

TEST_P(TableWrites, AnswerWithTheRegistersCodeAndChangeNothingWhenRefused) {
    const AccessCase& c = GetParam();
    EmuTables tables;
    const EmuTables before = tables;
    EXPECT_EQ(tables.Write(c.table, c.row, c.field, c.type, c.value), c.result);
    if (c.result != kEmuTableOk) {
        EXPECT_EQ(tables, before);
        // Reading names the same missing table, row or field.
        std::uint8_t type = 0xFF;
        Bytes value;
        if (c.result == kEmuBadTable || c.result == kEmuBadRow || c.result == kEmuBadField) {
            EXPECT_EQ(tables.Read(c.table, c.row, c.field, type, value), c.result);
            EXPECT_EQ(type, 0xFF);
        }
    } else {
        EXPECT_NE(tables, before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, TableWrites,
    ::testing::Values(
        AccessCase{"TableZero", 0, 1, 1, 0, "1", 130}, AccessCase{"TableSeven", 7, 1, 1, 0, "1", 130},
        AccessCase{"RowZero", 2, 0, 1, 0, "1", 131}, AccessCase{"RowBeyond", 2, 31, 1, 0, "1", 131},
        AccessCase{"FieldZero", 2, 1, 0, 0, "1", 132}, AccessCase{"FieldBeyond", 2, 1, 3, 1, "A", 132},
        AccessCase{"TextIntoNumber", 2, 1, 1, 1, "1", 139},
        AccessCase{"NumberIntoText", 3, 1, 1, 0, "1", 139},
        AccessCase{"PasswordAtMax", 2, 1, 1, 0, "99999999", 0},
        AccessCase{"PasswordAboveMax", 2, 1, 1, 0, "100000000", 140},
        AccessCase{"ShopNumberBelowMin", 1, 1, 1, 0, "0", 140},
        AccessCase{"NotANumber", 4, 1, 1, 0, "18%", 140}, AccessCase{"EmptyNumber", 4, 1, 1, 0, "", 140},
        AccessCase{"FourBytesOfMinusOne", 4, 1, 1, 0, "4294967295", 140},
        AccessCase{"BcdFourteenDigits", 1, 1, 3, 0, "99999999999999", 0},
        AccessCase{"BcdFifteenDigits", 1, 1, 3, 0, "100000000000000", 140},
        AccessCase{"TextFillsField", 3, 16, 1, 1, "12345678901234567890", 0},
        AccessCase{"TextOneTooLong", 3, 16, 1, 1, "123456789012345678901", 140},
        // Twenty Cyrillic letters are twenty bytes in the register's code page.
        AccessCase{"CyrillicFillsField", 3, 1, 1, 1, "ЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖЖ", 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReadCase {
    const char* name;
    std::uint8_t table;
    std::uint16_t row;
    std::uint8_t field;
    std::uint8_t type;
    Bytes value;
};

class TableReads : public ::testing::TestWithParam<ReadCase> {};

TEST_P(TableReads, GiveTheValueBytesTheRegisterSends) {
    const ReadCase& c = GetParam();
    const EmuTables tables;
    std::uint8_t type = 0xFF;
    Bytes value;
    ASSERT_EQ(tables.Read(c.table, c.row, c.field, type, value), kEmuTableOk);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(value, c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Initial, TableReads,
    ::testing::Values(
        ReadCase{"BcdLowDigitsFirst", 1, 1, 3, 0, {0x45, 0x23, 0x01, 0, 0, 0, 0}},
        ReadCase{"OneByteNumber", 1, 1, 1, 0, {0x01}},
        ReadCase{"TwoByteRate", 4, 1, 1, 0, {0x08, 0x07}},  // 1800
        ReadCase{"FourBytePassword", 2, 30, 1, 0, {30, 0, 0, 0}},
        ReadCase{"TextFilledWithZeros", 5, 3, 1, 1, {0xD2, 0xE0, 0xF0, 0xEE, 0xE9, 0, 0, 0, 0, 0, 0,
                                                     0,    0,    0,    0,    0,    0, 0, 0, 0}},  // "Тарой"
        ReadCase{"EmptyText", 6, 2, 1, 1, Bytes(36, 0x00)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Tables, ReportStructureOfEveryTableAndField) {
    const EmuTables tables;
    ASSERT_GE(tables.TableCount(), 6u);
    for (std::uint8_t t = 1; t <= tables.TableCount(); ++t) {
        EmuTableStruct s;
        ASSERT_EQ(tables.Structure(t, s), kEmuTableOk);
        EXPECT_FALSE(s.name.empty());
        EXPECT_LE(tessel::Utf8ToCp1251(s.name).size(), 40u);  // the names' room on the line
        ASSERT_GT(s.rowCount, 0);
        ASSERT_GT(s.fieldCount, 0);
        for (std::uint8_t f = 1; f <= s.fieldCount; ++f) {
            EmuFieldDef def;
            ASSERT_EQ(tables.Field(t, f, def), kEmuTableOk);
            EXPECT_LE(def.type, 1);
            EXPECT_LE(tessel::Utf8ToCp1251(def.name).size(), 40u);
            // Every initial value is one the field takes: writing it back succeeds.
            for (std::uint16_t r = 1; r <= s.rowCount; ++r) {
                const EmuCell& cell = tables.Cell(t, r, f);
                EmuTables copy = tables;
                const std::string text = def.type == 0 ? std::to_string(cell.number) : cell.text;
                EXPECT_EQ(copy.Write(t, r, f, def.type, text), kEmuTableOk)
                    << int(t) << "." << r << "." << int(f);
            }
        }
        EmuFieldDef none;
        EXPECT_EQ(tables.Field(t, static_cast<std::uint8_t>(s.fieldCount + 1), none), kEmuBadField);
    }
    EmuTableStruct s;
    EXPECT_EQ(tables.Structure(2, s), kEmuTableOk);
    EXPECT_EQ(s.name, "Кассиры и администраторы");
    EXPECT_EQ(s.rowCount, 30);
    EXPECT_EQ(tables.Structure(0, s), kEmuBadTable);
    EXPECT_THROW(tables.Cell(2, 31, 1), std::out_of_range);
}

TEST(Tables, InitRestoresTheInitialContents) {
    EmuTables tables;
    ASSERT_EQ(tables.Write(2, 1, 2, 1, "Иванова"), kEmuTableOk);
    ASSERT_EQ(tables.Write(1, 1, 3, 0, "7701234567"), kEmuTableOk);
    EXPECT_EQ(tables.Cell(2, 1, 2).text, "Иванова");
    EXPECT_EQ(tables.Cell(1, 1, 3).number, 7701234567LL);
    tables.Init();
    EXPECT_EQ(tables, EmuTables());
    EXPECT_EQ(tables.Cell(2, 1, 2).text, "Кассир 1");
}

}  // namespace
