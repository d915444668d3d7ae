// The command tester's conversions between a parameter's text and its property's value.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "common/com/ComText.h"
#include "tools/testerlib/untCmdValue.h"

using namespace tessel::cmd;

namespace {

// ---- Hex text ----

struct HexCase {
    const char* name;
    const char* text;
    Bytes bytes;
};

void PrintTo(const HexCase& c, std::ostream* os) {
    *os << c.name;
}

class HexTest : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexTest, TextGivesItsBytes) {
    EXPECT_EQ(HexToBytes(GetParam().text), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HexTest,
    ::testing::Values(HexCase{"lone_digits_and_a_pair", "1 2 AB", {0x01, 0x02, 0xAB}},
                      HexCase{"lower_case_letters_separate", "ab", {}},
                      HexCase{"lower_case_between_digits", "1a2", {0x01, 0x02}}, HexCase{"empty", "", {}},
                      HexCase{"pairs_without_blanks", "0A0BFF", {0x0A, 0x0B, 0xFF}},
                      HexCase{"odd_digit_left_at_the_end", "ABC", {0xAB, 0x0C}},
                      HexCase{"any_separator", "12-34,\t56", {0x12, 0x34, 0x56}},
                      HexCase{"letters_past_F_separate", "G1H", {0x01}},
                      HexCase{"as_the_driver_writes_it", "02 05 11 ", {0x02, 0x05, 0x11}},
                      HexCase{"cyrillic_bytes_separate",
                              "1\xD0\x90"
                              "2",
                              {0x01, 0x02}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Hex, EveryByteGoesRoundTheTextForm) {
    Bytes all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<std::uint8_t>(b));
    const std::string text = BytesToHex(all);
    EXPECT_EQ(text.substr(0, 12), "00 01 02 03 ");
    EXPECT_EQ(text.substr(text.size() - 6), "FE FF ");
    EXPECT_EQ(HexToBytes(text), all);
}

// ---- Text to value ----

struct InCase {
    const char* name;
    int type;
    const char* text;
    VARTYPE vt;     // VT_EMPTY: the text is refused
    double number;  // the value as a double (CY as its count of 1/10000, DATE as days)
    const char* error = "";
};

void PrintTo(const InCase& c, std::ostream* os) {
    *os << c.name;
}

class TextToValueTest : public ::testing::TestWithParam<InCase> {};

TEST_P(TextToValueTest, ConvertsOrSaysWhy) {
    const InCase& c = GetParam();
    TVariant value;
    if (c.vt == VT_EMPTY) {
        try {
            TextToVariant(c.type, c.text, TCmdDateForms(), value.v);
            ADD_FAILURE() << "converted";
        } catch (const ECmdConvertError& e) {
            EXPECT_STREQ(e.what(), c.error);
        }
        return;
    }
    TextToVariant(c.type, c.text, TCmdDateForms(), value.v);
    ASSERT_EQ(value.v.vt, c.vt);
    switch (c.vt) {
        case VT_I4:
            EXPECT_EQ(value.v.lVal, static_cast<LONG>(c.number));
            break;
        case VT_CY:
            EXPECT_EQ(value.v.cyVal.int64, static_cast<LONGLONG>(c.number));
            break;
        case VT_R8:
            EXPECT_DOUBLE_EQ(value.v.dblVal, c.number);
            break;
        case VT_DATE:
            EXPECT_NEAR(value.v.date, c.number, 1e-9);
            break;
        default:
            FAIL() << "unexpected type";
    }
}

constexpr double kSeconds = 1.0 / 86400;

INSTANTIATE_TEST_SUITE_P(
    Cases, TextToValueTest,
    ::testing::Values(
        InCase{"integer", ptInteger, " -42 ", VT_I4, -42}, InCase{"integer_plus", ptInteger, "+7", VT_I4, 7},
        InCase{"integer_largest", ptInteger, "2147483647", VT_I4, 2147483647.0},
        InCase{"integer_one_past", ptInteger, "2147483648", VT_EMPTY, 0,
               "«2147483648» не является целым числом"},
        InCase{"integer_fraction", ptInteger, "1.5", VT_EMPTY, 0, "«1.5» не является целым числом"},
        InCase{"integer_empty", ptInteger, "", VT_EMPTY, 0, "«» не является целым числом"},
        InCase{"money_point", ptMoney, "12.5", VT_CY, 125000},
        InCase{"money_comma", ptMoney, "0,0001", VT_CY, 1},
        InCase{"money_negative", ptMoney, "-3", VT_CY, -30000},
        InCase{"money_fifth_decimal_rounds_to_even", ptMoney, "0.00005", VT_CY, 0},
        InCase{"money_text", ptMoney, "abc", VT_EMPTY, 0, "«abc» не является суммой"},
        InCase{"money_beyond_currency", ptMoney, "1e20", VT_EMPTY, 0, "«1e20» не является суммой"},
        InCase{"quantity", ptQuantity, "1.234", VT_R8, 1.234},
        InCase{"quantity_comma", ptQuantity, "0,5", VT_R8, 0.5},
        InCase{"quantity_text", ptQuantity, "x", VT_EMPTY, 0, "«x» не является числом"},
        InCase{"date", ptDate, "15.03.2024", VT_DATE, 45366},
        InCase{"date_day_zero", ptDate, "30.12.1899", VT_DATE, 0},
        InCase{"date_impossible", ptDate, "31.02.2024", VT_EMPTY, 0, "«31.02.2024» не является датой"},
        InCase{"date_given_a_time", ptDate, "10:00", VT_EMPTY, 0, "«10:00» не является датой"},
        InCase{"time", ptTime, "09:05:07", VT_DATE, (9 * 3600 + 5 * 60 + 7) * kSeconds},
        InCase{"time_without_seconds", ptTime, "23:59", VT_DATE, (23 * 3600 + 59 * 60) * kSeconds},
        InCase{"time_past_midnight", ptTime, "24:00:00", VT_EMPTY, 0, "«24:00:00» не является временем"},
        InCase{"time_given_a_date", ptTime, "15.03.2024", VT_EMPTY, 0, "«15.03.2024» не является временем"}),
    [](const auto& info) { return std::string(info.param.name); });

struct StringCase {
    const char* name;
    int type;
    const char* text;
    Bytes bytes;  // what the property holds, one byte a character (Windows-1251)
};

void PrintTo(const StringCase& c, std::ostream* os) {
    *os << c.name;
}

class TextToStringTest : public ::testing::TestWithParam<StringCase> {};

TEST_P(TextToStringTest, GoesAsAString) {
    TVariant value;
    TextToVariant(GetParam().type, GetParam().text, TCmdDateForms(), value.v);
    ASSERT_EQ(value.v.vt, VT_BSTR);
    EXPECT_EQ(tessel::BstrToBytes(value.v.bstrVal), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextToStringTest,
    ::testing::Values(StringCase{"string", ptString, "Хлеб", {0xD5, 0xEB, 0xE5, 0xE1}},
                      StringCase{"hex_bytes_one_character_each", ptHex, "00 80 FF", {0x00, 0x80, 0xFF}},
                      StringCase{"unknown_type_as_string", 9, "7", {'7'}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Value to text ----

TEST(ValueToText, MoneyAndQuantityInTheShortestForm) {
    const struct {
        LONGLONG amount;
        const char* text;
    } money[] = {{125000, "12.5"},          {0, "0"},
                 {-5, "-0.0005"},           {10000, "1"},
                 {123456789, "12345.6789"}, {LLONG_MIN, "-922337203685477.5808"}};
    for (const auto& m : money) EXPECT_EQ(MoneyText(m.amount), m.text) << m.amount;
    const struct {
        double value;
        const char* text;
    } quantities[] = {
        {0.1, "0.1"},    {1.5, "1.5"}, {1000, "1000"}, {-0.0, "0"}, {1e20, "100000000000000000000"},
        {0.001, "0.001"}};
    for (const auto& q : quantities) EXPECT_EQ(QuantityText(q.value), q.text) << q.value;
}

TEST(ValueToText, EachTypeReadsThePropertyItsWay) {
    const TCmdDateForms forms;
    TVariant money;
    money.v.vt = VT_CY;
    money.v.cyVal.int64 = 455000;
    EXPECT_EQ(VariantToText(ptMoney, money.v, forms), "45.5");
    // A money parameter whose property is a double, and the other way round.
    EXPECT_EQ(VariantToText(ptQuantity, money.v, forms), "45.5");
    TVariant date;
    date.v.vt = VT_DATE;
    date.v.date = 45366 + (9 * 3600 + 5 * 60 + 7) * kSeconds;
    EXPECT_EQ(VariantToText(ptDate, date.v, forms), "15.03.2024");
    EXPECT_EQ(VariantToText(ptTime, date.v, forms), "09:05:07");
    TVariant number;
    number.v.vt = VT_I4;
    number.v.lVal = -7;
    EXPECT_EQ(VariantToText(ptInteger, number.v, forms), "-7");
    EXPECT_EQ(VariantToText(ptString, number.v, forms), "-7");
    TVariant bytes;
    bytes.v.vt = VT_BSTR;
    bytes.v.bstrVal = tessel::BytesToBstr({0x00, 0xD5, 0x0A}).release();
    EXPECT_EQ(VariantToText(ptHex, bytes.v, forms), "00 D5 0A ");
    EXPECT_THROW(VariantToText(ptInteger, bytes.v, forms), ECmdConvertError);
}

TEST(DateForms, DayZeroAndMidnightKeepBothParts) {
    const TCmdDateForms forms;
    EXPECT_EQ(forms.DateText(0.0), "30.12.1899");
    EXPECT_EQ(forms.TimeText(0.0), "00:00:00");
    EXPECT_EQ(forms.TimeText(45366.0), "00:00:00");
    // A time that rounds up to midnight belongs to the next day.
    EXPECT_EQ(forms.DateText(45366.0 + 86399.6 * kSeconds), "16.03.2024");
    EXPECT_EQ(forms.DateText(std::nan("")), "");
}

}  // namespace
