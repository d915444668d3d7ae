#pragma once
// OLE dates (days since 30 December 1899, the time of day as the fraction; a negative value counts its day
// back and its fraction forward) as text in the short forms of the Russian locale: "dd.MM.yyyy",
// "HH:mm:ss". Valid dates are those of the years 100 to 9999, as for the automation date type.

#include <optional>
#include <string>
#include <string_view>

#include "common/com/OleAuto.h"

namespace tessel {

inline constexpr DATE kMinOleDate = -657434.0;      // 01.01.0100
inline constexpr DATE kMaxOleDate = 2958465.99999;  // 31.12.9999 23:59:59

// "dd.MM.yyyy HH:mm:ss", rounded to the second; the date alone when the time is midnight, the time alone when
// the day is 30.12.1899 (day zero). Nothing for NaN or a value outside the valid range.
std::optional<std::string> OleDateToText(DATE value);

// Parses "dd.MM.yyyy", "yyyy-MM-dd", either followed by a blank (or 'T' after the second form) and a time,
// or a time alone ("HH:mm" or "HH:mm:ss"); surrounding blanks are ignored. A year of one or two digits
// ("15.03.23") lies between 1930 and 2029, as automation reads it. Nothing when the text is not such a date
// or names an impossible one (31.02.2024, 24:00).
std::optional<DATE> OleDateFromText(std::string_view text);

}  // namespace tessel
