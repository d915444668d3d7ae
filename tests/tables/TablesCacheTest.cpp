// The cache of table structures in the settings store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/platform/Registry.h"
#include "driver/tables/untTables.h"
#include "support/PeakMemory.h"

namespace {

const std::string kDevice = "A.21234";
const std::string kDevicePath = std::string(kTableDefsKey) + "\\" + kDevice;

TFieldDef Def(std::string name, std::int32_t number, std::int32_t type, std::int32_t size, std::int32_t min,
              std::int32_t max) {
    TFieldDef def;
    def.Name = std::move(name);
    def.Number = number;
    def.FieldType = type;
    def.Size = size;
    def.MinValue = min;
    def.MaxValue = max;
    return def;
}

void AddDefs(TTable& table, const std::vector<TFieldDef>& defs) {
    for (TFieldDef def : defs) {
        def.TableNumber = table.Number;
        table.FieldDefs().Add(std::move(def));
    }
}

class TablesCache : public ::testing::Test {
  protected:
    void SetUp() override {
        tessel::Registry().DeleteKey(kTableDefsKey);
        saved_.DeviceKey = kDevice;
        loaded_.DeviceKey = kDevice;
    }

    // Two complete tables and one whose structure is incomplete, in an order that is not the numbers'.
    void SaveThree() {
        AddDefs(saved_.Add("Кассиры", 10, 30, 2),
                {Def("Пароль", 1, ftInt, 4, 0, 99999999), Def("Имя", 2, ftStr, 21, 0, 0)});
        AddDefs(saved_.Add("Налоги", 2, 4, 2), {Def("Ставка", 1, ftInt, 2, -2147483647 - 1, 2147483647),
                                                Def("Название", 2, ftStr, 20, 0, 0)});
        AddDefs(saved_.Add("Неполная", 3, 1, 2), {Def("Одно", 1, ftInt, 1, 0, 1)});
        saved_.SaveToRegistry();
    }

    static void Write(const std::string& path, const std::string& name, std::int32_t value) {
        tessel::Registry reg;
        ASSERT_TRUE(reg.OpenKey(path, true));
        reg.WriteInteger(name, value);
    }

    TTables saved_;
    TTables loaded_;
};

TEST_F(TablesCache, RoundTripSortsByNumberAndKeepsEveryValue) {
    SaveThree();
    ASSERT_TRUE(loaded_.LoadFromRegistry());
    ASSERT_EQ(loaded_.Count(), 3);
    EXPECT_EQ(loaded_.Items(0).Number, 2);
    EXPECT_EQ(loaded_.Items(1).Number, 3);
    EXPECT_EQ(loaded_.Items(2).Number, 10);
    for (int i = 0; i < loaded_.Count(); ++i) {
        const TTable& got = loaded_.Items(i);
        const TTable& want = *saved_.FindByNumber(got.Number);
        EXPECT_EQ(got.Name, want.Name);
        EXPECT_EQ(got.RowCount, want.RowCount);
        EXPECT_EQ(got.FieldCount, want.FieldCount);
        EXPECT_EQ(got.Fields().Count(), want.RowCount * want.FieldCount);
        if (!want.StructureComplete()) {
            EXPECT_EQ(got.FieldDefs().Count(), 0) << "an incomplete structure is not cached";
            continue;
        }
        ASSERT_EQ(got.FieldDefs().Count(), want.FieldDefs().Count());
        for (int f = 0; f < got.FieldDefs().Count(); ++f) {
            const TFieldDef& a = got.FieldDefs().Items(f);
            const TFieldDef& b = want.FieldDefs().Items(f);
            EXPECT_EQ(a.Name, b.Name);
            EXPECT_EQ(a.Number, b.Number);
            EXPECT_EQ(a.FieldType, b.FieldType);
            EXPECT_EQ(a.Size, b.Size);
            EXPECT_EQ(a.MinValue, b.MinValue);
            EXPECT_EQ(a.MaxValue, b.MaxValue);
            EXPECT_EQ(a.TableNumber, got.Number);
        }
    }
}

TEST_F(TablesCache, DefinitionLackingMinValueIsSkippedLeavingTheStructureIncomplete) {
    SaveThree();
    tessel::Registry reg;
    ASSERT_TRUE(reg.OpenKey(kDevicePath + "\\2\\FIELDDEFS\\0", false));
    ASSERT_TRUE(reg.DeleteValue("MinValue"));
    ASSERT_TRUE(loaded_.LoadFromRegistry());
    const TTable& taxes = *loaded_.FindByNumber(2);
    ASSERT_EQ(taxes.FieldDefs().Count(), 1);
    EXPECT_EQ(taxes.FieldDefs().Items(0).Name, "Название");
    EXPECT_FALSE(taxes.StructureComplete());
    EXPECT_TRUE(loaded_.FindByNumber(10)->StructureComplete());
}

TEST_F(TablesCache, OnlyUnusableTableSubkeysStillCountAsACache) {
    Write(kDevicePath + "\\1", "RowCount", 1);  // lacks the other three values
    Write(kDevicePath + "\\2", "TableNumber", 2);
    ASSERT_TRUE(loaded_.LoadFromRegistry());
    EXPECT_EQ(loaded_.Count(), 0);
}

TEST_F(TablesCache, MissingDeviceOrUnusableKeyIsNoCache) {
    EXPECT_FALSE(loaded_.LoadFromRegistry());
    SaveThree();
    for (const char* key : {"", "A\\B"}) {
        TTables other;
        other.DeviceKey = key;
        other.Add("Т", 1, 1, 1);
        EXPECT_FALSE(other.LoadFromRegistry()) << key;
        other.Add("Т", 1, 1, 1);
        other.SaveToRegistry();  // must not touch the root or another device
    }
    EXPECT_TRUE(loaded_.LoadFromRegistry());
    EXPECT_EQ(loaded_.Count(), 3);
}

struct DamagedValue {
    const char* subkey;  // below the device's key
    const char* name;
};

class TablesCacheDamaged : public TablesCache, public ::testing::WithParamInterface<DamagedValue> {};

TEST_P(TablesCacheDamaged, IsClearedAndReportedFalse) {
    SaveThree();
    {
        tessel::Registry reg;
        ASSERT_TRUE(reg.OpenKey(kDevicePath + "\\" + GetParam().subkey, false));
        // A value of the wrong type: a string where a number belongs or the other way round.
        if (reg.GetDataType(GetParam().name) == tessel::RegValueType::String)
            reg.WriteInteger(GetParam().name, 1);
        else
            reg.WriteString(GetParam().name, "1");
    }
    EXPECT_FALSE(loaded_.LoadFromRegistry());
    EXPECT_EQ(loaded_.Count(), 0);
    EXPECT_FALSE(tessel::Registry().KeyExists(kDevicePath)) << "the damaged cache is removed";
    EXPECT_FALSE(loaded_.LoadFromRegistry());
}

INSTANTIATE_TEST_SUITE_P(Values, TablesCacheDamaged,
                         ::testing::Values(DamagedValue{"10", "TableName"}, DamagedValue{"2", "RowCount"},
                                           DamagedValue{"10\\FIELDDEFS\\1", "Name"},
                                           DamagedValue{"2\\FIELDDEFS\\0", "MaxValue"}));

// A cache that claims tables no register has is no cache: it takes no memory and is read again.
TEST_F(TablesCache, ClaimOfHugeTablesIsRefusedWithoutTakingMemory) {
    SaveThree();
    for (const char* table : {"2", "3"}) {
        Write(kDevicePath + "\\" + table, "RowCount", kMaxTableRows);
        Write(kDevicePath + "\\" + table, "FieldCount", kMaxTableFields);
    }
    const long before = tessel_test::PeakKilobytes();
    EXPECT_FALSE(loaded_.LoadFromRegistry());
    EXPECT_LT(tessel_test::PeakKilobytes() - before, 16 * 1024) << "kilobytes for the structures";
    EXPECT_EQ(loaded_.Count(), 0);
    EXPECT_FALSE(tessel::Registry().KeyExists(kDevicePath)) << "the cache is removed";
}

TEST_F(TablesCache, FieldDefinitionsAreSavedOnlyBelowACachedTableAndReplaceStalePositions) {
    SaveThree();
    ASSERT_TRUE(loaded_.LoadFromRegistry());
    // A definition position beyond the table's fields, left by an older structure.
    Write(kDevicePath + "\\2\\FIELDDEFS\\2", "Number", 3);
    for (const char* name : {"Size", "Type", "MinValue", "MaxValue"})
        Write(kDevicePath + "\\2\\FIELDDEFS\\2", name, 0);
    {
        tessel::Registry reg;
        ASSERT_TRUE(reg.OpenKey(kDevicePath + "\\2\\FIELDDEFS\\2", false));
        reg.WriteString("Name", "лишнее");
    }
    TTable& taxes = *loaded_.FindByNumber(2);
    ASSERT_TRUE(taxes.LoadFieldDefs());
    EXPECT_EQ(taxes.FieldDefs().Count(), 3);
    EXPECT_FALSE(taxes.StructureComplete());
    taxes.FieldDefs().Clear();
    AddDefs(taxes, {Def("Ставка", 1, ftInt, 2, 0, 9999), Def("Название", 2, ftStr, 20, 0, 0)});
    taxes.SaveFieldDefs();
    ASSERT_TRUE(taxes.LoadFieldDefs());
    EXPECT_EQ(taxes.FieldDefs().Count(), 2);
    EXPECT_EQ(taxes.FieldDefs().Items(0).MaxValue, 9999);

    // A table that is not in the cache gets no subkey, which would make the next load trust a bare list.
    TTable& fresh = loaded_.Add("Новая", 42, 1, 1);
    AddDefs(fresh, {Def("Поле", 1, ftInt, 1, 0, 1)});
    fresh.SaveFieldDefs();
    EXPECT_FALSE(tessel::Registry().KeyExists(kDevicePath + "\\42"));
}

}  // namespace
