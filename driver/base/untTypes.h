#pragma once
// Value types shared by the driver's units.

#include <cstdint>

// Money: a count of 1/10000, the automation currency type. On the wire money travels as hundredths.
using Currency = std::int64_t;
constexpr Currency kCurrencyScale = 10000;

// Dates and times as the automation date type: days since 30 December 1899, time as the fraction.
using TDateTime = double;
