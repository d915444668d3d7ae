#pragma once
// How tessel prints the values it reads, so that scripts can rely on one stable form.

#include <string>
#include <string_view>

#include "common/com/OleAuto.h"

namespace tessel::cli {

// One value as text:
//   boolean   "true" or "false"
//   currency  the amount with a point and two to four decimals ("45.50", "0.1234", "-3.00")
//   string    the text, with each control character as \xNN and a backslash doubled, so a value never
//             spans lines
//   other     the automation conversion to text (decimal numbers with a point, dates "dd.MM.yyyy HH:mm:ss")
// A value with no text form gives "(vt N)".
std::string FormatValue(const VARIANT& value);

// A currency amount (a count of 1/10000) with a point and two to four decimals.
std::string CurrencyText(LONGLONG amount);

// Control characters as \xNN and a backslash as \\; everything else, Cyrillic included, as it is.
std::string EscapeControls(std::string_view text);

// `text` padded with blanks to `width` characters (UTF-8 characters, not bytes); longer text is left whole.
std::string PadRight(std::string_view text, std::size_t width);

}  // namespace tessel::cli
