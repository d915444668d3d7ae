#include "common/com/compat/OleDecimal.h"

#include <algorithm>
#include <array>
#include <limits>

namespace tessel::variant_detail {

namespace {

constexpr int kMaxScale = 28;
// The most significant digits a magnitude below 2^96 can have.
constexpr std::size_t kMaxDigits = 29;
constexpr UInt128 kMaxMagnitude = (UInt128{1} << 96) - 1;
constexpr UInt128 kInt64Limit = UInt128{1} << 63;  // the magnitude of the most negative 64-bit integer

constexpr std::array<UInt128, 39> kPow10 = [] {
    std::array<UInt128, 39> p{};
    p[0] = 1;
    for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
    return p;
}();

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// `magnitude` divided by 10^places, rounded half to even.
UInt128 DivideRounded(UInt128 magnitude, int places) {
    if (places <= 0) return magnitude;
    const UInt128 divisor = kPow10[static_cast<std::size_t>(places)];
    UInt128 q = magnitude / divisor;
    const UInt128 twice = (magnitude % divisor) * 2;
    if (twice > divisor || (twice == divisor && (q & 1) != 0)) ++q;
    return q;
}

HRESULT SignedInt64(UInt128 magnitude, bool negative, std::int64_t& out) {
    if (negative) {
        if (magnitude > kInt64Limit) return DISP_E_OVERFLOW;
        out = magnitude == kInt64Limit ? std::numeric_limits<std::int64_t>::min()
                                       : -static_cast<std::int64_t>(magnitude);
    } else {
        if (magnitude >= kInt64Limit) return DISP_E_OVERFLOW;
        out = static_cast<std::int64_t>(magnitude);
    }
    return S_OK;
}

// The first `count` digits of `digits` (at most 38) as a number.
UInt128 DigitsValue(std::string_view digits, std::size_t count) {
    UInt128 value = 0;
    for (std::size_t i = 0; i < count; ++i) value = value * 10 + static_cast<unsigned>(digits[i] - '0');
    return value;
}

}  // namespace

HRESULT ReadDecimal(const DECIMAL& dec, TDecimalValue& out) {
    if (dec.scale > kMaxScale || (dec.sign & ~DECIMAL_NEG) != 0) return E_INVALIDARG;
    out.magnitude = (UInt128{dec.Hi32} << 64) | dec.Lo64;
    out.scale = dec.scale;
    out.negative = dec.sign == DECIMAL_NEG;
    return S_OK;
}

DECIMAL MakeDecimal(const TDecimalValue& value) {
    DECIMAL dec{};
    dec.scale = static_cast<BYTE>(value.scale);
    dec.sign = value.negative ? DECIMAL_NEG : 0;
    dec.Hi32 = static_cast<ULONG>(value.magnitude >> 64);
    dec.Lo64 = static_cast<ULONGLONG>(value.magnitude);
    return dec;
}

std::string DecimalText(const TDecimalValue& value) {
    std::string digits;
    UInt128 m = value.magnitude;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
        m /= 10;
    } while (m != 0);
    const auto scale = static_cast<std::size_t>(value.scale);
    if (scale > 0) {
        if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
        digits.insert(digits.size() - scale, 1, '.');
        while (digits.back() == '0') digits.pop_back();
        if (digits.back() == '.') digits.pop_back();
    }
    if (value.negative && digits != "0") digits.insert(0, 1, '-');
    return digits;
}

HRESULT DecimalFromNumberText(std::string_view text, TDecimalValue& out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    std::string digits;
    std::int64_t power = 0;  // the value is digits x 10^power
    while (i < text.size() && IsDigit(text[i])) digits.push_back(text[i++]);
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            digits.push_back(text[i++]);
            --power;
        }
    }
    if (digits.empty()) return DISP_E_TYPEMISMATCH;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) negativeExponent = text[i++] == '-';
        if (i >= text.size() || !IsDigit(text[i])) return DISP_E_TYPEMISMATCH;
        std::int64_t exponent = 0;
        // Any exponent beyond a few hundred decides the same: too large or zero.
        while (i < text.size() && IsDigit(text[i]))
            exponent = std::min<std::int64_t>(exponent * 10 + (text[i++] - '0'), 100000);
        power += negativeExponent ? -exponent : exponent;
    }
    if (i != text.size()) return DISP_E_TYPEMISMATCH;

    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
        ++power;
    }
    const std::size_t first = digits.find_first_not_of('0');
    digits.erase(0, first == std::string::npos ? digits.size() : first);
    if (digits.empty()) {
        out = TDecimalValue{};
        return S_OK;
    }
    if (power >= 0) {
        if (digits.size() + static_cast<std::size_t>(std::min<std::int64_t>(power, 100)) > kMaxDigits)
            return DISP_E_OVERFLOW;
        const UInt128 magnitude =
            DigitsValue(digits, digits.size()) * kPow10[static_cast<std::size_t>(power)];
        if (magnitude > kMaxMagnitude) return DISP_E_OVERFLOW;
        out = TDecimalValue{magnitude, 0, negative};
        return S_OK;
    }
    // Too many decimals or digits: drop digits from the right, rounding, until the rest fits.
    const std::int64_t scale = -power;
    for (std::int64_t dropped = std::max<std::int64_t>(0, scale - kMaxScale); dropped <= scale; ++dropped) {
        const std::int64_t kept = static_cast<std::int64_t>(digits.size()) - dropped;
        if (kept > static_cast<std::int64_t>(kMaxDigits)) continue;
        UInt128 magnitude = kept > 0 ? DigitsValue(digits, static_cast<std::size_t>(kept)) : 0;
        if (dropped > 0 && kept >= 0) {
            const auto at = static_cast<std::size_t>(kept);
            const char next = digits[at];
            const bool beyondHalf = digits.find_first_not_of('0', at + 1) != std::string::npos;
            if (next > '5' || (next == '5' && (beyondHalf || (magnitude & 1) != 0))) ++magnitude;
        }
        if (magnitude > kMaxMagnitude) continue;
        out = TDecimalValue{magnitude, static_cast<int>(scale - dropped), negative && magnitude != 0};
        return S_OK;
    }
    return DISP_E_OVERFLOW;
}

HRESULT DecimalToInt64(const TDecimalValue& value, std::int64_t& out) {
    return SignedInt64(DivideRounded(value.magnitude, value.scale), value.negative, out);
}

HRESULT DecimalToCy(const TDecimalValue& value, std::int64_t& out) {
    constexpr int kCyScale = 4;
    // A magnitude below 2^96 times 10^4 stays far below 2^128.
    const UInt128 scaled = value.scale <= kCyScale
                               ? value.magnitude * kPow10[static_cast<std::size_t>(kCyScale - value.scale)]
                               : DivideRounded(value.magnitude, value.scale - kCyScale);
    return SignedInt64(scaled, value.negative, out);
}

TDecimalValue DecimalFromInt64(std::int64_t value) {
    // Magnitude in unsigned arithmetic: the most negative value has no positive counterpart.
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    return TDecimalValue{magnitude, 0, value < 0};
}

TDecimalValue DecimalFromUInt64(std::uint64_t value) {
    return TDecimalValue{value, 0, false};
}

TDecimalValue DecimalFromCy(std::int64_t value) {
    TDecimalValue dec = DecimalFromInt64(value);
    dec.scale = 4;
    return dec;
}

}  // namespace tessel::variant_detail
