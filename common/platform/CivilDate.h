#pragma once
// Dates of the proleptic Gregorian calendar as day numbers, days since 01.01.1970, both ways, for any year
// the 64-bit day number holds (the day arithmetic of automation dates and of the emulated register's clock).

#include <cstdint>

namespace tessel {

struct CivilDate {
    std::int64_t year;
    unsigned month;  // 1..12
    unsigned day;    // 1..31
};

// The day number of a valid date.
constexpr std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// The date of a day number.
constexpr CivilDate CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0), month,
            doy - (153 * mp + 2) / 5 + 1};
}

}  // namespace tessel
