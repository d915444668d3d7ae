// Search parameters: defaults, the settings they keep, their checks; the found-devices list.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/platform/Registry.h"
#include "driver/search/untSearchECR.h"
#include "driver/search/untSearchParams.h"

namespace {

class SearchParams : public ::testing::Test {
  protected:
    void SetUp() override {
        tessel::Registry().DeleteKey("Software\\Korvex\\TesselDrv\\TesselDrv\\Параметры поиска");
    }

    static std::vector<std::string> Texts(const TSearchParams& params, TSearchList list) {
        std::vector<std::string> texts;
        for (const auto& item : params.Items(list)) texts.push_back(item.Text);
        return texts;
    }
    static std::vector<bool> Checks(const TSearchParams& params, TSearchList list) {
        std::vector<bool> checks;
        for (const auto& item : params.Items(list)) checks.push_back(item.Checked);
        return checks;
    }
};

TEST_F(SearchParams, DefaultsAreEveryPortAndSpeedAndTheOrdinaryKind) {
    TSearchParams params;
    params.SetAll(TSearchList::Ports, false);
    params.SetDefaults();

    std::vector<std::string> ports;
    for (int i = 1; i <= 32; ++i) ports.push_back("COM" + std::to_string(i));
    EXPECT_EQ(Texts(params, TSearchList::Ports), ports);
    EXPECT_EQ(Checks(params, TSearchList::Ports), std::vector<bool>(32, true));
    EXPECT_EQ(Texts(params, TSearchList::ECRTypes),
              (std::vector<std::string>{"Обычные ККМ", "Бензиновые ККМ"}));
    EXPECT_EQ(Checks(params, TSearchList::ECRTypes), (std::vector<bool>{true, false}));
    EXPECT_EQ(
        Texts(params, TSearchList::BaudRates),
        (std::vector<std::string>{"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"}));
    EXPECT_EQ(Checks(params, TSearchList::BaudRates), std::vector<bool>(8, true));
}

TEST_F(SearchParams, SpeedTexts) {
    const std::vector<std::pair<std::int32_t, std::string>> cases = {{1, "1200"},
                                                                     {4, "9600"},
                                                                     {8, "115200"},
                                                                     {0, "Недопустимое значение"},
                                                                     {9, "Недопустимое значение"},
                                                                     {-1, "Недопустимое значение"}};
    for (const auto& [code, text] : cases) EXPECT_EQ(BaudRateText(code), text) << code;
}

TEST_F(SearchParams, SaveWritesEveryItemByNameAndLoadReadsItBack) {
    TSearchParams params;
    params.SetChecked(TSearchList::Ports, 0, false);
    params.SetChecked(TSearchList::Ports, 31, false);
    params.SetChecked(TSearchList::ECRTypes, 1, true);
    params.SetChecked(TSearchList::BaudRates, 3, false);
    params.Save();

    tessel::Registry reg;
    ASSERT_TRUE(reg.OpenKey(kSearchPortsKey, false));
    EXPECT_EQ(reg.GetValueNames().size(), 32u);
    EXPECT_EQ(reg.ReadInteger("COM1"), 0);
    EXPECT_EQ(reg.ReadInteger("COM2"), 1);
    ASSERT_TRUE(reg.OpenKey(std::string("\\") + kSearchECRTypesKey, false));
    EXPECT_EQ(reg.GetValueNames(), (std::vector<std::string>{"Обычные ККМ", "Бензиновые ККМ"}));
    EXPECT_EQ(reg.ReadInteger("Бензиновые ККМ"), 1);
    ASSERT_TRUE(reg.OpenKey(std::string("\\") + kSearchBaudRatesKey, false));
    EXPECT_EQ(reg.ReadInteger("9600"), 0);

    TSearchParams loaded;
    loaded.Load();
    for (TSearchList list : {TSearchList::Ports, TSearchList::ECRTypes, TSearchList::BaudRates})
        EXPECT_EQ(Checks(loaded, list), Checks(params, list));
}

TEST_F(SearchParams, LoadMatchesValuesToItemsByPositionAndKeepsDefaultsBeyondThem) {
    tessel::Registry reg;
    reg.OpenKey(kSearchPortsKey, true);
    // Fewer values than items, named unlike the items: the first two ports only.
    reg.WriteInteger("первый", 0);
    reg.WriteInteger("COM9", 0);
    reg.OpenKey(std::string("\\") + kSearchECRTypesKey, true);
    // More values than items: the extra one is not read.
    reg.WriteInteger("a", 0);
    reg.WriteInteger("b", 5);
    reg.WriteInteger("c", 0);
    reg.OpenKey(std::string("\\") + kSearchBaudRatesKey, true);
    // A value that is not a number keeps its item's default; the one after it still counts.
    reg.WriteString("1200", "0");
    reg.WriteInteger("2400", 0);

    TSearchParams params;
    params.SetAll(TSearchList::Ports, false);
    params.Load();
    std::vector<bool> ports(32, true);
    ports[0] = ports[1] = false;
    EXPECT_EQ(Checks(params, TSearchList::Ports), ports);
    EXPECT_EQ(Checks(params, TSearchList::ECRTypes), (std::vector<bool>{false, true}));
    EXPECT_EQ(Checks(params, TSearchList::BaudRates),
              (std::vector<bool>{true, false, true, true, true, true, true, true}));
}

TEST_F(SearchParams, AssignCopiesEveryCheckAndIndexesAreChecked) {
    TSearchParams source;
    source.SetAll(TSearchList::Ports, false);
    source.SetChecked(TSearchList::Ports, 4, true);
    TSearchParams copy;
    copy.Assign(source);
    EXPECT_EQ(Checks(copy, TSearchList::Ports), Checks(source, TSearchList::Ports));
    EXPECT_THROW(copy.SetChecked(TSearchList::Ports, 32, true), std::out_of_range);
    EXPECT_THROW(static_cast<void>(copy.Checked(TSearchList::ECRTypes, 2)), std::out_of_range);
    EXPECT_EQ(copy.Count(TSearchList::Ports), 32u);
}

struct ValidateCase {
    const char* name;
    bool anyPort;
    bool anySpeed;
    bool anyKind;
    const char* message;  // nullptr: valid
};

class SearchParamsValidate : public ::testing::TestWithParam<ValidateCase> {};

TEST_P(SearchParamsValidate, NamesTheFirstEmptyList) {
    const ValidateCase& c = GetParam();
    TSearchParams params;
    params.SetAll(TSearchList::Ports, false);
    params.SetAll(TSearchList::BaudRates, false);
    params.SetAll(TSearchList::ECRTypes, false);
    if (c.anyPort) params.SetChecked(TSearchList::Ports, 31, true);
    if (c.anySpeed) params.SetChecked(TSearchList::BaudRates, 7, true);
    if (c.anyKind) params.SetChecked(TSearchList::ECRTypes, 1, true);
    if (c.message == nullptr) {
        EXPECT_NO_THROW(params.Validate());
        return;
    }
    try {
        params.Validate();
        FAIL() << "accepted";
    } catch (const ESearchError& e) {
        EXPECT_STREQ(e.what(), c.message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, SearchParamsValidate,
    ::testing::Values(ValidateCase{"Valid", true, true, true, nullptr},
                      ValidateCase{"NoPort", false, true, true, "Нет выбранных портов для поиска."},
                      ValidateCase{"NothingAtAll", false, false, false, "Нет выбранных портов для поиска."},
                      ValidateCase{"NoSpeed", true, false, true, "Нет выбранных скоростей для поиска."},
                      ValidateCase{"NoSpeedNoKind", true, false, false,
                                   "Нет выбранных скоростей для поиска."},
                      ValidateCase{"NoKind", true, true, false, "Нет выбранных типов ККМ для поиска."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SearchECRs, EntriesGetUniqueIdsAndCopiesKeepTheirs) {
    TSearchECRs found;
    TSearchECR device;
    device.Port = 3;
    device.Address = 7;
    const std::int32_t first = found.Add(device).ID;
    const std::int32_t second = found.Add(device).ID;
    EXPECT_GT(first, 0);
    EXPECT_GT(second, first);

    TSearchECRs dialogList;
    dialogList.Add(found.Item(1));
    ASSERT_NE(dialogList.FindByID(second), nullptr);
    EXPECT_EQ(dialogList.FindByID(second)->Address, 7);
    EXPECT_EQ(dialogList.FindByID(first), nullptr);
    EXPECT_EQ(found.Snapshot().size(), 2u);
    EXPECT_THROW(static_cast<void>(found.Item(2)), std::out_of_range);

    found.Clear();
    EXPECT_EQ(found.Count(), 0u);
    EXPECT_GT(found.Add(device).ID, second) << "identifiers are never reused";
}

}  // namespace
