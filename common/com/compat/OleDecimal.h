#pragma once
// The decimal type's value and its conversions, for VariantChangeType: exact to and from integers, currency
// and text; reals through their text of 15 (double) or 7 (float) significant digits, as automation converts
// them. Rounding is half to even.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/com/OleAuto.h"

namespace tessel::variant_detail {

__extension__ using UInt128 = unsigned __int128;

// A decimal as a number: `magnitude` below 2^96, divided by 10^scale (0..28).
struct TDecimalValue {
    UInt128 magnitude = 0;
    int scale = 0;
    bool negative = false;
};

// E_INVALIDARG for a scale above 28 or sign bits other than DECIMAL_NEG.
HRESULT ReadDecimal(const DECIMAL& dec, TDecimalValue& out);
DECIMAL MakeDecimal(const TDecimalValue& value);

// Digits with a point where the scale puts it, trailing zeros of the fraction dropped: (1500, 3) is "1.5".
std::string DecimalText(const TDecimalValue& value);
// A number in the invariant form ([-]digits[.digits][e[sign]digits]). Trailing zeros of the fraction do not
// count toward the scale; digits beyond what 96 bits and 28 decimals hold are rounded off. DISP_E_OVERFLOW
// when the whole part does not fit, DISP_E_TYPEMISMATCH when the text is not such a number.
HRESULT DecimalFromNumberText(std::string_view text, TDecimalValue& out);

// Rounded to a whole number; DISP_E_OVERFLOW beyond 64 bits.
HRESULT DecimalToInt64(const TDecimalValue& value, std::int64_t& out);
// Scaled to 1/10000, rounded; DISP_E_OVERFLOW beyond the currency range.
HRESULT DecimalToCy(const TDecimalValue& value, std::int64_t& out);

TDecimalValue DecimalFromInt64(std::int64_t value);
TDecimalValue DecimalFromUInt64(std::uint64_t value);
// Keeps the currency's four decimals: 1 is (10000, scale 4).
TDecimalValue DecimalFromCy(std::int64_t value);

}  // namespace tessel::variant_detail
