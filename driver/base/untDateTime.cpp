#include "driver/base/untDateTime.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

using namespace std::chrono;

namespace {

constexpr sys_days kEpoch = sys_days{year{1899} / December / 30};
constexpr std::int64_t kSecondsPerDay = 86400;
// Day numbers of 01.01.0001 and 31.12.9999.
constexpr std::int64_t kFirstDay = -693593;
constexpr std::int64_t kLastDay = 2958465;

struct DayAndSecond {
    std::int64_t day;     // day number, 0 = 30.12.1899
    std::int32_t second;  // second of that day, 0..86399
};

// Splits a value into its day and its second of the day, rounded to the nearest second.
std::optional<DayAndSecond> Split(TDateTime value) {
    // The range test comes first so that the cast to an integer below cannot overflow.
    if (!std::isfinite(value) || value <= kFirstDay - 1.0 || value >= kLastDay + 1.0) return std::nullopt;
    const double whole = std::trunc(value);
    // The fraction counts forwards from the start of the day even for negative values.
    const double fraction = std::fabs(value - whole);
    std::int64_t day = static_cast<std::int64_t>(whole);
    std::int64_t second = std::llround(fraction * kSecondsPerDay);
    if (second >= kSecondsPerDay) {
        second -= kSecondsPerDay;
        ++day;  // the next calendar day, whatever the sign of the value
    }
    if (day < kFirstDay || day > kLastDay) return std::nullopt;
    return DayAndSecond{day, static_cast<std::int32_t>(second)};
}

struct Number {
    int value;
    std::size_t digits;
};

// Splits "12.3.2024"-like text into its decimal fields; empty when the text is not fields of 1 to 4 digits
// joined by `separator`, blanks allowed only around the whole.
std::vector<Number> SplitNumbers(std::string_view text, char separator) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);

    std::vector<Number> fields;
    Number current{0, 0};
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            if (++current.digits > 4) return {};
            current.value = current.value * 10 + (c - '0');
        } else if (c == separator && current.digits > 0) {
            fields.push_back(current);
            current = Number{0, 0};
        } else {
            return {};
        }
    }
    if (current.digits == 0) return {};
    fields.push_back(current);
    return fields;
}

}  // namespace

bool TryEncodeDate(int yearPart, int monthPart, int dayPart, TDateTime& date) {
    if (yearPart < 1 || yearPart > 9999 || monthPart < 1 || monthPart > 12 || dayPart < 1 || dayPart > 31)
        return false;
    const year_month_day ymd{year{yearPart}, month{static_cast<unsigned>(monthPart)},
                             day{static_cast<unsigned>(dayPart)}};
    if (!ymd.ok()) return false;
    date = static_cast<TDateTime>((sys_days{ymd} - kEpoch).count());
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, TDateTime& time) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return false;
    time = static_cast<TDateTime>(hour * 3600 + minute * 60 + second) / kSecondsPerDay;
    return true;
}

bool DecodeDate(TDateTime value, int& yearPart, int& monthPart, int& dayPart) {
    yearPart = monthPart = dayPart = 0;
    const auto split = Split(value);
    if (!split) return false;
    const year_month_day ymd{kEpoch + days{split->day}};
    yearPart = static_cast<int>(ymd.year());
    monthPart = static_cast<int>(static_cast<unsigned>(ymd.month()));
    dayPart = static_cast<int>(static_cast<unsigned>(ymd.day()));
    return true;
}

bool DecodeTime(TDateTime value, int& hour, int& minute, int& second) {
    hour = minute = second = 0;
    const auto split = Split(value);
    if (!split) return false;
    hour = split->second / 3600;
    minute = split->second / 60 % 60;
    second = split->second % 60;
    return true;
}

std::string DateToStr(TDateTime value) {
    int y = 0, m = 0, d = 0;
    if (!DecodeDate(value, y, m, d)) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", d, m, y);
    return text;
}

std::string TimeToStr(TDateTime value) {
    int h = 0, n = 0, s = 0;
    if (!DecodeTime(value, h, n, s)) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", h, n, s);
    return text;
}

bool TryStrToDate(const std::string& text, TDateTime& date) {
    const auto fields = SplitNumbers(text, '.');
    if (fields.size() != 3 || fields[0].digits > 2 || fields[1].digits > 2) return false;
    int yearPart = fields[2].value;
    if (fields[2].digits <= 2) yearPart += 2000;
    return TryEncodeDate(yearPart, fields[1].value, fields[0].value, date);
}

bool TryStrToTime(const std::string& text, TDateTime& time) {
    const auto fields = SplitNumbers(text, ':');
    if (fields.size() < 2 || fields.size() > 3) return false;
    for (const auto& field : fields)
        if (field.digits > 2) return false;
    const int second = fields.size() == 3 ? fields[2].value : 0;
    return TryEncodeTime(fields[0].value, fields[1].value, second, time);
}
