#include "common/com/compat/OleDateText.h"

#include <cmath>
#include <cstdio>

#include "common/platform/CivilDate.h"
#include "common/platform/TextTrim.h"

namespace tessel {

namespace {

// Day zero of an automation date.
constexpr std::int64_t kEpoch = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned DaysInMonth(int y, unsigned m) {
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Reads 1..maxDigits decimal digits at `pos`.
bool ReadNumber(std::string_view t, std::size_t& pos, std::size_t maxDigits, int& value) {
    const std::size_t start = pos;
    value = 0;
    while (pos < t.size() && pos - start < maxDigits && t[pos] >= '0' && t[pos] <= '9')
        value = value * 10 + (t[pos++] - '0');
    return pos > start;
}

bool Expect(std::string_view t, std::size_t& pos, char c) {
    if (pos >= t.size() || t[pos] != c) return false;
    ++pos;
    return true;
}

// "HH:mm" or "HH:mm:ss" at `pos`, as a fraction of a day.
bool ReadTime(std::string_view t, std::size_t& pos, double& fraction) {
    int h = 0, m = 0, s = 0;
    if (!ReadNumber(t, pos, 2, h) || !Expect(t, pos, ':') || !ReadNumber(t, pos, 2, m)) return false;
    if (pos < t.size() && t[pos] == ':' && (++pos, !ReadNumber(t, pos, 2, s))) return false;
    if (h > 23 || m > 59 || s > 59) return false;
    fraction = (h * 3600.0 + m * 60.0 + s) / 86400.0;
    return true;
}

// The century a one- or two-digit year belongs to: 00..29 the 2000s, 30..99 the 1900s.
constexpr int kTwoDigitYearPivot = 30;

int FullYear(int year, std::size_t digits) {
    if (digits > 2) return year;
    return year < kTwoDigitYearPivot ? 2000 + year : 1900 + year;
}

bool MakeDay(int y, int m, int d, std::int64_t& days) {
    if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    if (static_cast<unsigned>(d) > DaysInMonth(y, static_cast<unsigned>(m))) return false;
    days = DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) - kEpoch;
    return true;
}

}  // namespace

std::optional<std::string> OleDateToText(DATE value) {
    if (!std::isfinite(value) || value <= kMinOleDate - 1 || value >= std::floor(kMaxOleDate) + 1)
        return std::nullopt;
    std::int64_t day = static_cast<std::int64_t>(std::trunc(value));
    auto seconds = static_cast<std::int64_t>(std::llround(std::fabs(value - std::trunc(value)) * 86400.0));
    if (seconds >= 86400) {
        // Rounded up to midnight: the instant belongs to the next day, both for positive and negative days.
        seconds = 0;
        ++day;
    }
    const CivilDate civil = CivilFromDays(day + kEpoch);
    const int y = static_cast<int>(civil.year);
    const unsigned mo = civil.month;
    const unsigned d = civil.day;
    if (civil.year > 9999) return std::nullopt;  // 31.12.9999 23:59:59.6 rounds into the year 10000
    char date[32];
    char time[32];
    std::snprintf(date, sizeof date, "%02u.%02u.%04d", d, mo, y);
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    if (day == 0) return std::string(time);
    if (seconds == 0) return std::string(date);
    return std::string(date) + " " + time;
}

std::optional<DATE> OleDateFromText(std::string_view text) {
    const std::string_view t = TrimBlanks(text);
    std::size_t pos = 0;
    int a = 0;
    if (!ReadNumber(t, pos, 4, a)) return std::nullopt;
    double fraction = 0;
    std::int64_t days = 0;
    if (pos < t.size() && t[pos] == ':') {
        pos = 0;
        if (!ReadTime(t, pos, fraction) || pos != t.size()) return std::nullopt;
        return fraction;
    }
    int b = 0, c = 0;
    bool iso = false;
    if (pos < t.size() && t[pos] == '.' && pos <= 2) {
        ++pos;
        if (!ReadNumber(t, pos, 2, b) || !Expect(t, pos, '.')) return std::nullopt;
        const std::size_t yearStart = pos;
        if (!ReadNumber(t, pos, 4, c)) return std::nullopt;
        if (!MakeDay(FullYear(c, pos - yearStart), b, a, days)) return std::nullopt;
    } else if (pos == 4 && Expect(t, pos, '-')) {
        iso = true;
        if (!ReadNumber(t, pos, 2, b) || !Expect(t, pos, '-') || !ReadNumber(t, pos, 2, c))
            return std::nullopt;
        if (!MakeDay(a, b, c, days)) return std::nullopt;
    } else {
        return std::nullopt;
    }
    if (pos < t.size()) {
        if (!(t[pos] == ' ' || (iso && t[pos] == 'T'))) return std::nullopt;
        while (pos < t.size() && t[pos] == ' ') ++pos;
        if (iso && pos < t.size() && t[pos] == 'T') ++pos;
        if (!ReadTime(t, pos, fraction) || pos != t.size()) return std::nullopt;
    }
    // Negative dates carry their time forward from the day's start.
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

}  // namespace tessel
