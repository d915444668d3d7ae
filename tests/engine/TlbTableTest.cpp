#include <gtest/gtest.h>

#include <set>
#include <string>

#include "common/platform/CodePage.h"
#include "driver/automation/TesselDrv_TLB.h"

namespace {

using I = TMemberInterface;

struct SlotTotalCase {
    I iface;
    int slots;
};

class TlbSlotTotal : public ::testing::TestWithParam<SlotTotalCase> {};

TEST_P(TlbSlotTotal, MatchesPublishedLayout) {
    EXPECT_EQ(TesselSlotCount(GetParam().iface), GetParam().slots);
}

INSTANTIATE_TEST_SUITE_P(Tlb, TlbSlotTotal,
                         ::testing::Values(SlotTotalCase{I::Driver, 303}, SlotTotalCase{I::Driver2, 311},
                                           SlotTotalCase{I::Driver3, 312}));

TEST(TlbTable, DispIdsAreUnique) {
    std::set<LONG> seen;
    for (const TTesselMember& m : TesselMembers) EXPECT_TRUE(seen.insert(m.dispId).second) << m.name;
}

// Dispatch and the 1C adapter resolve a member from either name without case, so no name of one member may
// match any name of another.
TEST(TlbTable, NamesAreUniqueWithoutCase) {
    for (std::size_t i = 0; i < TesselMembers.size(); ++i)
        for (std::size_t j = i + 1; j < TesselMembers.size(); ++j)
            for (std::string_view a : {TesselMembers[i].name, TesselMembers[i].name1C})
                for (std::string_view b : {TesselMembers[j].name, TesselMembers[j].name1C})
                    EXPECT_FALSE(tessel::SameTextNoCase(a, b)) << a << " / " << b;
}

TEST(TlbTable, InterfacesFollowEachOtherAndSlotsAreContiguous) {
    int expected = TesselBaseSlotCount;
    I previous = I::Driver;
    for (const TTesselMember& m : TesselMembers) {
        EXPECT_GE(m.iface, previous) << m.name;
        previous = m.iface;
        EXPECT_EQ(TesselGetSlot(m), expected) << m.name;
        const std::optional<int> put = TesselPutSlot(m);
        EXPECT_EQ(put.has_value(), m.kind == TMemberKind::GetPut) << m.name;
        if (put) {
            EXPECT_EQ(*put, expected + 1) << m.name;
        }
        expected += m.SlotCount();
    }
    EXPECT_EQ(expected, TesselSlotCount(I::Driver3));
}

struct RowCase {
    LONG dispId;
    const char* name;
    const char* name1C;
    TMemberKind kind;
    TMemberType type;
    TMemberWidth width;
    I iface;
};

class TlbRow : public ::testing::TestWithParam<RowCase> {};

TEST_P(TlbRow, IsTranscribed) {
    const RowCase& c = GetParam();
    const TTesselMember* m = FindTesselMemberByDispId(c.dispId);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->name, c.name);
    EXPECT_EQ(m->name1C, c.name1C);
    EXPECT_EQ(m->kind, c.kind);
    EXPECT_EQ(m->type, c.type);
    EXPECT_EQ(m->width, c.width);
    EXPECT_EQ(m->iface, c.iface);
}

using K = TMemberKind;
using T = TMemberType;
using W = TMemberWidth;

INSTANTIATE_TEST_SUITE_P(
    Tlb, TlbRow,
    ::testing::Values(RowCase{-552, "AboutBox", "ОПрограмме", K::Method, T::None, W::Full, I::Driver},
                      RowCase{0x22, "WriteTable", "ЗаписатьТаблицу", K::Method, T::Long, W::Full, I::Driver},
                      RowCase{0x3D, "DeviceEnabled", "ПортОткрыт", K::GetPut, T::Boolean, W::Full, I::Driver},
                      RowCase{0x35, "CommandResultDescription", "ОписаниеОшибкиКоманды", K::Get, T::String,
                              W::Full, I::Driver},
                      RowCase{0x8C, "ResultCode", "Результат", K::Get, T::Long, W::Full, I::Driver},
                      RowCase{0x28, "CashRegister", "ДенежныйРегистр", K::GetPut, T::Currency, W::Full,
                              I::Driver},
                      RowCase{0x45, "ECRDate", "ДатаККМ", K::GetPut, T::Date, W::Full, I::Driver},
                      RowCase{0x47, "ECRDay", "ДеньККМ", K::GetPut, T::Long, W::Bits8, I::Driver},
                      RowCase{0x84, "ReceiptNumber", "НомерЧека", K::GetPut, T::Long, W::Bits16, I::Driver},
                      RowCase{0x81, "Quantity", "Количество", K::GetPut, T::Double, W::Full, I::Driver},
                      RowCase{0xAA, "WaitAnswer", "ЖдатьОтвет", K::GetPut, T::Boolean, W::Full, I::Driver},
                      RowCase{0xAE, "SendCadr", "ПередатьКадр", K::Method, T::Long, W::Full, I::Driver2},
                      RowCase{0xB0, "CommandExecuteFlag", "ФлагВыполненияКоманды", K::Get, T::Boolean,
                              W::Full, I::Driver3}));

struct LookupCase {
    const char* asked;
    LONG dispId;
};

class TlbLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(TlbLookup, FindsByEitherNameInAnyCase) {
    const TTesselMember* m = FindTesselMember(GetParam().asked);
    ASSERT_NE(m, nullptr) << GetParam().asked;
    EXPECT_EQ(m->dispId, GetParam().dispId);
}

INSTANTIATE_TEST_SUITE_P(Tlb, TlbLookup,
                         ::testing::Values(LookupCase{"AboutBox", -552}, LookupCase{"aboutbox", -552},
                                           LookupCase{"оПРОГРАММЕ", -552}, LookupCase{"WRITETABLE", 0x22},
                                           LookupCase{"записатьтаблицу", 0x22},
                                           LookupCase{"ПОРТОТКРЫТ", 0x3D}, LookupCase{"результат", 0x8C},
                                           LookupCase{"ДАННЫЕКОМАНДЫhex", 0x30},
                                           LookupCase{"commandc1", 0x2A}, LookupCase{"postcadr", 0xAF},
                                           LookupCase{"флагвыполнениякоманды", 0xB0}));

TEST(TlbNames, RefusesUnknownNamesAndNamePrefixes) {
    for (const char* name : {"", "Result", "ResultCodeX", "Резуль", "NoSuchMember"})
        EXPECT_EQ(FindTesselMember(name), nullptr) << name;
    EXPECT_EQ(FindTesselMemberByDispId(0), nullptr);
    EXPECT_EQ(FindTesselMemberByDispId(0xB1), nullptr);
}

// An interface offers only what it introduces and what it continues.
TEST(TlbNames, LaterMembersAreHiddenFromEarlierInterfaces) {
    EXPECT_EQ(FindTesselMember("SendCadr", I::Driver), nullptr);
    EXPECT_NE(FindTesselMember("SendCadr", I::Driver2), nullptr);
    EXPECT_EQ(FindTesselMemberByDispId(0xB0, I::Driver2), nullptr);
    EXPECT_NE(FindTesselMemberByDispId(0xB0, I::Driver3), nullptr);
    EXPECT_NE(FindTesselMember("Beep", I::Driver), nullptr);
}

TEST(TlbSlots, AboutBoxTakesTheFirstSlot) {
    const TTesselMember* about = FindTesselMemberByDispId(TesselDispIdAboutBox);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about, FindTesselMember("AboutBox"));
    EXPECT_EQ(TesselGetSlot(*about), 7);
    EXPECT_FALSE(TesselPutSlot(*about).has_value());
}

TEST(TlbSlots, GetterComesBeforeSetter) {
    // ActivizationNumber is the first property, after the 35 methods.
    const TTesselMember* first = FindTesselMember("ActivizationNumber");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(TesselGetSlot(*first), 7 + 35);
    EXPECT_EQ(TesselPutSlot(*first), 7 + 36);
    const TTesselMember* cmdExec = FindTesselMember("CommandExecuteFlag");
    ASSERT_NE(cmdExec, nullptr);
    EXPECT_EQ(TesselGetSlot(*cmdExec), 311);
}

TEST(TlbSlots, RefusesAMemberOutsideTheTable) {
    const TTesselMember copy = TesselMembers[3];
    EXPECT_THROW(TesselGetSlot(copy), std::invalid_argument);
    EXPECT_THROW(TesselPutSlot(copy), std::invalid_argument);
}

// The registry form shows the byte order of each part, which a mistyped initialiser gets wrong.
TEST(TlbLibrary, IdentifiersReadAsPublished) {
    EXPECT_EQ(tessel::GuidToString(LIBID_TesselDrv), "{5758880F-6501-4DE5-A374-E94EDB750A8C}");
    EXPECT_EQ(tessel::GuidToString(CLSID_TesselDriver), "{16A80A2A-BB4C-4B65-B28E-8EBDAAE426C8}");
    EXPECT_EQ(tessel::GuidToString(IID_ITesselDriver3), "{008728D6-AEBF-4ABC-B8F5-B6B7C5A4C70D}");
}

}  // namespace
