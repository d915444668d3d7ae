#include <gtest/gtest.h>

#include <limits>

#include "driver/base/ECRDrvData.h"
#include "driver/base/untDateTime.h"
#include "driver/base/untError.h"

namespace {

constexpr double kSecond = 1.0 / 86400;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Three clock or date bytes: day.month.year or hour:minute:second.
struct Parts {
    int a, b, c;
    bool operator==(const Parts&) const = default;
};
const Parts kZero{0, 0, 0};

Parts ClockDate(const TECRDrvData& d) {
    return {d.ECRDay, d.ECRMonth, d.ECRYear};
}
Parts SoftDate(const TECRDrvData& d) {
    return {d.ECRSoftDay, d.ECRSoftMonth, d.ECRSoftYear};
}
Parts ClockTime(const TECRDrvData& d) {
    return {d.ECRHour, d.ECRMin, d.ECRSec};
}

TEST(ECRDrvData, DefaultsAtCreationAndAfterReset) {
    TECRDrvData d;
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        EXPECT_EQ(ClockDate(d), (Parts{1, 1, 1}));
        EXPECT_EQ(ClockTime(d), (Parts{1, 1, 1}));
        EXPECT_EQ(SoftDate(d), (Parts{1, 1, 1}));
        EXPECT_EQ((Parts{d.RegType, d.PayType, d.DeviceNumber}), (Parts{1, 1, 1}));
        EXPECT_EQ((Parts{d.ECRTimeout, d.PositionOfPoint, d.ECRBaudRate}), (Parts{100, 1, 3}));
        EXPECT_EQ(d.ECRSoftVersion, "1.0");
        EXPECT_EQ(d.Price, 0);
        EXPECT_FALSE(d.INNValid);
        EXPECT_TRUE(d.DataBlock.empty());
        EXPECT_EQ(d.GetECRDate(), 36892.0);  // 01.01.2001
        EXPECT_EQ(d.GetECRTimeStr(), "01:01:01");
        d.ECRDay = 9;
        d.RegType = 0;
        d.ECRSoftVersion = "2.5";
        d.Price = 12345;
        d.INNValid = true;
        d.DataBlock = {1, 2, 3};
        d.SetDefaults();
    }
}

TEST(ECRDrvData, NarrowFieldsKeepLowBits) {
    EXPECT_EQ(KeepLowBits<std::uint8_t>(300), 44);
    EXPECT_EQ(KeepLowBits<std::uint8_t>(-1), 255);
    EXPECT_EQ(KeepLowBits<std::uint16_t>(70000), 4464);
    EXPECT_EQ(KeepLowBits<std::uint16_t>(-2), 65534);
}

// Date bytes -> date value (0 for none) -> bytes again.
struct BytesToDate {
    Parts bytes;
    double date;
};
class ECRDateFromBytes : public ::testing::TestWithParam<BytesToDate> {};

TEST_P(ECRDateFromBytes, BuildsAndSplitsBack) {
    const auto [bytes, date] = GetParam();
    TECRDrvData d;
    d.ECRDay = KeepLowBits<std::uint8_t>(bytes.a);
    d.ECRMonth = KeepLowBits<std::uint8_t>(bytes.b);
    d.ECRYear = KeepLowBits<std::uint8_t>(bytes.c);
    ASSERT_EQ(d.GetECRDate(), date);
    if (date == 0.0) return;
    TECRDrvData back;
    back.SetECRDate(date);
    EXPECT_EQ(ClockDate(back), (Parts{bytes.a, bytes.b, bytes.c % 100}));  // 2255 comes back as 55
}

INSTANTIATE_TEST_SUITE_P(All, ECRDateFromBytes,
                         ::testing::Values(BytesToDate{{1, 1, 0}, 36526}, BytesToDate{{29, 2, 24}, 45351},
                                           BytesToDate{{29, 2, 0}, 36585}, BytesToDate{{31, 12, 99}, 73050},
                                           BytesToDate{{31, 12, 255}, 130027}, BytesToDate{{29, 2, 23}, 0},
                                           BytesToDate{{31, 2, 24}, 0}, BytesToDate{{31, 4, 24}, 0},
                                           BytesToDate{{0, 1, 24}, 0}, BytesToDate{{1, 0, 24}, 0},
                                           BytesToDate{{1, 13, 24}, 0}, BytesToDate{{32, 1, 24}, 0}));

// A value -> date bytes (year modulo 100) of both dates, and clock time bytes.
struct ValueCase {
    double value;
    Parts date, time;
};
class SplitValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(SplitValue, IntoDateAndTimeBytes) {
    TECRDrvData d;
    d.SetECRDate(GetParam().value);
    d.SetECRSoftDate(GetParam().value);
    d.SetECRTime(GetParam().value);
    EXPECT_EQ(ClockDate(d), GetParam().date);
    EXPECT_EQ(SoftDate(d), GetParam().date);
    EXPECT_EQ(ClockTime(d), GetParam().time);
}

INSTANTIATE_TEST_SUITE_P(
    All, SplitValue,
    ::testing::Values(ValueCase{73050.75, {31, 12, 99}, {18, 0, 0}},                // 2099 -> 99
                      ValueCase{0.5 + kSecond * 3, {30, 12, 99}, {12, 0, 3}},       // the zero date
                      ValueCase{45000.5 + kSecond * 3, {15, 3, 23}, {12, 0, 3}},    //
                      ValueCase{45351 + kSecond * 2.4, {29, 2, 24}, {0, 0, 2}},     // nearest second
                      ValueCase{45351 + kSecond * 2.6, {29, 2, 24}, {0, 0, 3}},     //
                      ValueCase{45352 - kSecond * 0.4, {1, 3, 24}, {0, 0, 0}},      // to the next day
                      ValueCase{45352 - kSecond * 0.6, {29, 2, 24}, {23, 59, 59}},  //
                      ValueCase{-1.25, {29, 12, 99}, {6, 0, 0}},                    // day back, time on
                      ValueCase{2958465.5, {31, 12, 99}, {12, 0, 0}},               // 9999
                      ValueCase{-693593.5, {1, 1, 1}, {12, 0, 0}},                  // year 1
                      ValueCase{-693594.0, kZero, kZero}, ValueCase{2958466.0, kZero, kZero},
                      ValueCase{1e300, kZero, kZero}, ValueCase{kNaN, kZero, kZero},
                      ValueCase{kInf, kZero, kZero}, ValueCase{-kInf, kZero, kZero}));

TEST(ECRDrvData, TimeAndTextFromBytes) {
    TECRDrvData d;
    d.ECRHour = 23;
    d.ECRMin = 59;
    d.ECRSec = 59;
    EXPECT_DOUBLE_EQ(d.GetECRTime(), 1 - kSecond);
    EXPECT_EQ(d.GetECRTimeStr(), "23:59:59");
    for (const Parts bad : {Parts{24, 0, 0}, Parts{0, 60, 0}, Parts{0, 0, 60}}) {
        d.ECRHour = KeepLowBits<std::uint8_t>(bad.a);
        d.ECRMin = KeepLowBits<std::uint8_t>(bad.b);
        d.ECRSec = KeepLowBits<std::uint8_t>(bad.c);
        EXPECT_EQ(d.GetECRTime(), 0.0);
        EXPECT_EQ(d.GetECRTimeStr(), "00:00:00");
    }
    d.ECRDay = 29, d.ECRMonth = 2, d.ECRYear = 24;
    EXPECT_EQ(d.GetECRDateStr(), "29.02.2024");
    d.ECRDay = 31;
    EXPECT_EQ(d.GetECRDateStr(), "30.12.1899");  // the zero date
    d.ECRSoftDay = 5, d.ECRSoftMonth = 11, d.ECRSoftYear = 3;
    EXPECT_EQ(d.GetECRSoftDateStr(), "05.11.2003");
    EXPECT_EQ(DateToStr(kNaN), "");
    EXPECT_EQ(TimeToStr(kInf), "");
}

// A text given to one of the three text setters: the bytes it stores, or zeros and -6.
enum class Setter { Date, SoftDate, Time };
struct TextCase {
    Setter setter;
    const char* text;
    Parts stored;  // kZero with `refused`
    bool refused;
};
class TextForm : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextForm, StoresOrRefuses) {
    const auto [setter, text, stored, refused] = GetParam();
    TECRDrvData d;
    std::int32_t code = 0;
    try {
        if (setter == Setter::Date) d.SetECRDateStr(text);
        if (setter == Setter::SoftDate) d.SetECRSoftDateStr(text);
        if (setter == Setter::Time) d.SetECRTimeStr(text);
    } catch (const EDriverError& e) {
        code = e.ErrorCode();
    }
    EXPECT_EQ(code, refused ? E_INVALIDVALUE : 0);
    const Parts ones{1, 1, 1};  // the bytes of the other setters stay untouched
    EXPECT_EQ(ClockDate(d), setter == Setter::Date ? stored : ones);
    EXPECT_EQ(SoftDate(d), setter == Setter::SoftDate ? stored : ones);
    EXPECT_EQ(ClockTime(d), setter == Setter::Time ? stored : ones);
}

INSTANTIATE_TEST_SUITE_P(
    All, TextForm,
    ::testing::Values(
        TextCase{Setter::Date, "29.02.2024", {29, 2, 24}, false},
        TextCase{Setter::Date, " 1.3.24 ", {1, 3, 24}, false},
        TextCase{Setter::Date, "29.02.00", {29, 2, 0}, false},
        TextCase{Setter::SoftDate, "31.12.2099", {31, 12, 99}, false},
        TextCase{Setter::Date, "29.02.2023", kZero, true},
        TextCase{Setter::SoftDate, "31.02.2024", kZero, true},
        TextCase{Setter::Date, "01.01.0000", kZero, true}, TextCase{Setter::Date, "1.1", kZero, true},
        TextCase{Setter::Date, "1..2024", kZero, true}, TextCase{Setter::Date, "01.01.20245", kZero, true},
        TextCase{Setter::Date, "001.01.2024", kZero, true}, TextCase{Setter::Date, "01/01/2024", kZero, true},
        TextCase{Setter::SoftDate, "", kZero, true}, TextCase{Setter::Time, "12:00:03", {12, 0, 3}, false},
        TextCase{Setter::Time, "7:5:9", {7, 5, 9}, false},
        TextCase{Setter::Time, "23:59", {23, 59, 0}, false}, TextCase{Setter::Time, "24:00:00", kZero, true},
        TextCase{Setter::Time, "12:60:00", kZero, true}, TextCase{Setter::Time, "12:00:00:00", kZero, true},
        TextCase{Setter::Time, "12", kZero, true}, TextCase{Setter::Time, "12:00:-1", kZero, true},
        TextCase{Setter::Time, "noon", kZero, true}));

}  // namespace
