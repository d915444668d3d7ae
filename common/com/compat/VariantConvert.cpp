// VariantChangeType: the conversions a script host relies on. Every source is first read as a plain value
// (references followed, an object's value property fetched), then converted by the target's own reader.
// Numbers round half to even, as automation does; texts use the invariant form with a decimal point, reals
// with the significant digits automation writes (15 for a double, 7 for a float).
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "common/com/ComInterfaces.h"
#include "common/com/ComText.h"
#include "common/com/compat/OleDateText.h"
#include "common/com/compat/OleDecimal.h"
#include "common/com/compat/VariantInternal.h"
#include "common/platform/CodePage.h"
#include "common/platform/TextTrim.h"

namespace {

using tessel::TrimBlanks;
using tessel::variant_detail::Dereference;
using tessel::variant_detail::IsKnownType;
using tessel::variant_detail::IsKnownValueType;
using tessel::variant_detail::TDecimalValue;

constexpr std::int64_t kCyScale = 10000;
// Significant digits of a real written as text.
constexpr int kDoubleDigits = 15;
constexpr int kFloatDigits = 7;

// Rounds half to even regardless of the thread's current rounding mode.
double RoundEven(double d) {
    const double r = std::round(d);
    if (std::fabs(d - std::trunc(d)) == 0.5) return 2.0 * std::round(d / 2.0);
    return r;
}

// Integer of a double; overflow when it does not fit after rounding.
HRESULT DoubleToInt64(double d, std::int64_t& out) {
    if (!std::isfinite(d)) return DISP_E_OVERFLOW;
    const double r = RoundEven(d);
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    if (r >= 9223372036854775808.0 || r < -9223372036854775808.0) return DISP_E_OVERFLOW;
    out = static_cast<std::int64_t>(r);
    return S_OK;
}

// ---- Text to numbers ----

// A number in the invariant form or with a comma for the decimal point (the Russian locale's form):
// [sign] digits [sep digits] [e [sign] digits]. The text comes back normalised to the invariant form.
bool NormaliseNumber(std::string_view text, std::string& out, bool& hasFraction, bool& hasExponent) {
    const std::string_view t = TrimBlanks(text);
    out.clear();
    hasFraction = hasExponent = false;
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        if (t[i] == '-') out.push_back('-');
        ++i;
    }
    std::size_t digits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') out.push_back(t[i++]), ++digits;
    if (i < t.size() && (t[i] == '.' || t[i] == ',')) {
        hasFraction = true;
        out.push_back('.');
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') out.push_back(t[i++]), ++digits;
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        hasExponent = true;
        out.push_back('e');
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) out.push_back(t[i++]);
        std::size_t expDigits = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') out.push_back(t[i++]), ++expDigits;
        if (expDigits == 0) return false;
    }
    return i == t.size();
}

HRESULT TextToDouble(const std::string& text, double& out) {
    std::string n;
    bool frac = false, exp = false;
    if (!NormaliseNumber(text, n, frac, exp)) return DISP_E_TYPEMISMATCH;
    const auto res = std::from_chars(n.data(), n.data() + n.size(), out);
    if (res.ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
    if (res.ec != std::errc() || !std::isfinite(out)) return DISP_E_TYPEMISMATCH;
    return S_OK;
}

HRESULT TextToInt64(const std::string& text, std::int64_t& out) {
    std::string n;
    bool frac = false, exp = false;
    if (!NormaliseNumber(text, n, frac, exp)) return DISP_E_TYPEMISMATCH;
    if (!frac && !exp) {
        // Whole numbers exactly, beyond the 53 bits a double keeps.
        const auto res = std::from_chars(n.data(), n.data() + n.size(), out);
        if (res.ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
        return res.ec == std::errc() ? S_OK : DISP_E_TYPEMISMATCH;
    }
    double d = 0;
    const HRESULT hr = TextToDouble(text, d);
    return FAILED(hr) ? hr : DoubleToInt64(d, out);
}

// Money exactly: up to four decimals kept, further digits rounded half to even.
HRESULT TextToCy(const std::string& text, std::int64_t& out) {
    std::string n;
    bool frac = false, exp = false;
    if (!NormaliseNumber(text, n, frac, exp)) return DISP_E_TYPEMISMATCH;
    if (exp) {
        double d = 0;
        const HRESULT hr = TextToDouble(text, d);
        return FAILED(hr) ? hr : DoubleToInt64(d * kCyScale, out);
    }
    const bool negative = !n.empty() && n[0] == '-';
    std::size_t i = negative ? 1 : 0;
    std::int64_t value = 0;  // accumulated as a negative number: its range covers the most negative money
    auto addDigit = [&value](int digit) {
        return !__builtin_mul_overflow(value, 10, &value) && !__builtin_sub_overflow(value, digit, &value);
    };
    for (; i < n.size() && n[i] != '.'; ++i)
        if (!addDigit(n[i] - '0')) return DISP_E_OVERFLOW;
    if (i < n.size()) ++i;  // the point
    int kept = 0;
    for (; kept < 4; ++kept) {
        const int digit = i < n.size() ? n[i++] - '0' : 0;
        if (!addDigit(digit)) return DISP_E_OVERFLOW;
    }
    // Rounding from the digits beyond the fourth decimal.
    if (i < n.size()) {
        const int next = n[i] - '0';
        bool beyondHalf = false;
        for (std::size_t j = i + 1; j < n.size(); ++j) beyondHalf = beyondHalf || n[j] != '0';
        const bool odd = (value % 2) != 0;
        if (next > 5 || (next == 5 && (beyondHalf || odd)))
            if (__builtin_sub_overflow(value, 1, &value)) return DISP_E_OVERFLOW;
    }
    if (!negative) {
        if (value == std::numeric_limits<std::int64_t>::min()) return DISP_E_OVERFLOW;
        value = -value;
    }
    out = value;
    return S_OK;
}

// "&H" hexadecimal or "&O" octal digits (either case), blanks around: the bits they spell. S_FALSE when the
// text is not in that form, DISP_E_TYPEMISMATCH for a prefix without proper digits, DISP_E_OVERFLOW beyond
// 64 bits.
HRESULT ParseRadix(std::string_view text, std::uint64_t& bits) {
    const std::string_view t = TrimBlanks(text);
    if (t.size() < 2 || t[0] != '&') return S_FALSE;
    unsigned shift = 0;
    if (t[1] == 'H' || t[1] == 'h') {
        shift = 4;
    } else if (t[1] == 'O' || t[1] == 'o') {
        shift = 3;
    } else {
        return S_FALSE;
    }
    if (t.size() == 2) return DISP_E_TYPEMISMATCH;
    bits = 0;
    for (std::size_t i = 2; i < t.size(); ++i) {
        const char c = t[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (shift == 4 && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (shift == 4 && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return DISP_E_TYPEMISMATCH;
        }
        if (digit >= (1u << shift)) return DISP_E_TYPEMISMATCH;
        if ((bits >> (64 - shift)) != 0) return DISP_E_OVERFLOW;
        bits = (bits << shift) | digit;
    }
    return S_OK;
}

// The number a hexadecimal or octal pattern stands for as `vt`, as automation reads it: two's complement in
// the width of a narrow signed target (&H8000 is -32768 as VT_I2) and in 32 bits otherwise (&HFFFFFFFF is -1,
// &H8000 is 32768 as VT_I4); unsigned for unsigned targets and for patterns wider than 32 bits.
VARIANT RadixNumber(std::uint64_t bits, VARTYPE vt) {
    VARIANT n;
    VariantInit(&n);
    n.vt = VT_I8;
    switch (vt) {
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UINT:
        case VT_UI8:
            n.vt = VT_UI8;
            n.ullVal = bits;
            return n;
        case VT_I1:
            if (bits <= 0xFF) return n.llVal = static_cast<std::int8_t>(bits), n;
            break;
        case VT_I2:
            if (bits <= 0xFFFF) return n.llVal = static_cast<std::int16_t>(bits), n;
            break;
        case VT_I8:
            if (bits > 0xFFFFFFFFu) return n.llVal = static_cast<std::int64_t>(bits), n;
            break;
        default:
            break;
    }
    if (bits <= 0xFFFFFFFFu) {
        n.llVal = static_cast<std::int32_t>(bits);
    } else {
        n.vt = VT_UI8;
        n.ullVal = bits;
    }
    return n;
}

// A real as automation writes it: `digits` significant digits, the last rounded half away from zero, trailing
// zeros dropped; plain when that takes fewer than `digits` places before the point and at most `digits` after
// it, else d.dddE+XX.
std::string RealText(double d, int digits) {
    if (!std::isfinite(d)) {
        char buf[16];
        const auto res = std::to_chars(buf, buf + sizeof buf, d);
        return std::string(buf, res.ptr);
    }
    if (d == 0) return "0";
    // More digits than kept, so that a tie is seen as one and rounded away from zero.
    constexpr int kGuard = 25;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(d), std::chars_format::scientific,
                                   digits - 1 + kGuard);
    const std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
    const std::size_t e = sci.find('e');
    std::string mantissa;
    for (std::size_t i = 0; i < e; ++i)
        if (sci[i] != '.') mantissa.push_back(sci[i]);
    int exponent = 0;
    std::from_chars(sci.data() + e + (sci[e + 1] == '+' ? 2 : 1), sci.data() + sci.size(), exponent);
    const bool up = mantissa[static_cast<std::size_t>(digits)] >= '5';
    mantissa.resize(static_cast<std::size_t>(digits));
    if (up) {
        std::size_t i = mantissa.size();
        while (i > 0 && mantissa[i - 1] == '9') mantissa[--i] = '0';
        if (i == 0) {
            mantissa.insert(mantissa.begin(), '1');
            mantissa.pop_back();
            ++exponent;
        } else {
            ++mantissa[i - 1];
        }
    }
    while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
    const int count = static_cast<int>(mantissa.size());
    std::string out = d < 0 ? "-" : "";
    if (exponent >= 0 && exponent < digits) {
        if (count <= exponent + 1) {
            out += mantissa + std::string(static_cast<std::size_t>(exponent + 1 - count), '0');
        } else {
            out += mantissa.substr(0, static_cast<std::size_t>(exponent + 1)) + "." +
                   mantissa.substr(static_cast<std::size_t>(exponent + 1));
        }
        return out;
    }
    if (exponent < 0 && -exponent - 1 + count <= digits) {
        return out + "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + mantissa;
    }
    out += mantissa.substr(0, 1);
    if (count > 1) out += "." + mantissa.substr(1);
    char tail[16];
    std::snprintf(tail, sizeof tail, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return out + tail;
}

// ---- Decimals ----

HRESULT TextToDecimal(const std::string& text, TDecimalValue& out) {
    std::string n;
    bool frac = false, exp = false;
    if (!NormaliseNumber(text, n, frac, exp)) return DISP_E_TYPEMISMATCH;
    return tessel::variant_detail::DecimalFromNumberText(n, out);
}

// A real as a decimal: through the text of its significant digits, as automation takes it (0.1 is 0.1).
HRESULT RealToDecimal(double d, int digits, TDecimalValue& out) {
    if (!std::isfinite(d)) return DISP_E_OVERFLOW;
    return tessel::variant_detail::DecimalFromNumberText(RealText(d, digits), out);
}

HRESULT DecimalOf(const VARIANT& v, TDecimalValue& out) {
    return tessel::variant_detail::ReadDecimal(v.decVal, out);
}

// ---- Plain values ----

bool IsIntegerType(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
            return true;
        default:
            return false;
    }
}

// The integer held by an integer-typed VARIANT; overflow for a VT_UI8 beyond the signed range.
HRESULT IntegerOf(const VARIANT& v, std::int64_t& out) {
    switch (v.vt) {
        case VT_I1:
            out = static_cast<signed char>(v.cVal);
            break;
        case VT_UI1:
            out = v.bVal;
            break;
        case VT_I2:
            out = v.iVal;
            break;
        case VT_UI2:
            out = v.uiVal;
            break;
        case VT_I4:
        case VT_INT:
            out = v.lVal;
            break;
        case VT_UI4:
        case VT_UINT:
            out = v.ulVal;
            break;
        case VT_I8:
            out = v.llVal;
            break;
        case VT_UI8:
            if (v.ullVal > static_cast<ULONGLONG>(std::numeric_limits<std::int64_t>::max()))
                return DISP_E_OVERFLOW;
            out = static_cast<std::int64_t>(v.ullVal);
            break;
        default:
            return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

HRESULT ToDouble(const VARIANT& v, double& out) {
    std::int64_t i = 0;
    if (IsIntegerType(v.vt)) {
        if (v.vt == VT_UI8) {
            out = static_cast<double>(v.ullVal);
            return S_OK;
        }
        IntegerOf(v, i);
        out = static_cast<double>(i);
        return S_OK;
    }
    switch (v.vt) {
        case VT_EMPTY:
            out = 0;
            return S_OK;
        case VT_R4:
            out = v.fltVal;
            return S_OK;
        case VT_R8:
        case VT_DATE:
            out = v.dblVal;
            return S_OK;
        case VT_CY:
            out = static_cast<double>(v.cyVal.int64) / kCyScale;
            return S_OK;
        case VT_BOOL:
            out = v.boolVal != 0 ? -1.0 : 0.0;
            return S_OK;
        case VT_BSTR:
            return TextToDouble(tessel::BstrToUtf8(v.bstrVal), out);
        case VT_DECIMAL: {
            TDecimalValue dec;
            if (const HRESULT hr = DecimalOf(v, dec); FAILED(hr)) return hr;
            return TextToDouble(tessel::variant_detail::DecimalText(dec), out);
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ToInt64(const VARIANT& v, std::int64_t& out) {
    if (IsIntegerType(v.vt)) return IntegerOf(v, out);
    switch (v.vt) {
        case VT_EMPTY:
            out = 0;
            return S_OK;
        case VT_BOOL:
            out = v.boolVal != 0 ? -1 : 0;
            return S_OK;
        case VT_CY: {
            // Half to even on the exact scaled value.
            const std::int64_t c = v.cyVal.int64;
            std::int64_t q = c / kCyScale;
            const std::int64_t r = c % kCyScale;
            const std::int64_t twice = 2 * (r < 0 ? -r : r);
            if (twice > kCyScale || (twice == kCyScale && (q % 2) != 0)) q += r < 0 ? -1 : 1;
            out = q;
            return S_OK;
        }
        case VT_BSTR:
            return TextToInt64(tessel::BstrToUtf8(v.bstrVal), out);
        case VT_DECIMAL: {
            TDecimalValue dec;
            if (const HRESULT hr = DecimalOf(v, dec); FAILED(hr)) return hr;
            return tessel::variant_detail::DecimalToInt64(dec, out);
        }
        default: {
            double d = 0;
            const HRESULT hr = ToDouble(v, d);
            return FAILED(hr) ? hr : DoubleToInt64(d, out);
        }
    }
}

HRESULT ToCy(const VARIANT& v, std::int64_t& out) {
    if (v.vt == VT_CY) {
        out = v.cyVal.int64;
        return S_OK;
    }
    if (v.vt == VT_BSTR) return TextToCy(tessel::BstrToUtf8(v.bstrVal), out);
    if (v.vt == VT_DECIMAL) {
        TDecimalValue dec;
        if (const HRESULT hr = DecimalOf(v, dec); FAILED(hr)) return hr;
        return tessel::variant_detail::DecimalToCy(dec, out);
    }
    if (IsIntegerType(v.vt) || v.vt == VT_BOOL || v.vt == VT_EMPTY) {
        std::int64_t i = 0;
        HRESULT hr = ToInt64(v, i);
        if (FAILED(hr)) return hr;
        return __builtin_mul_overflow(i, kCyScale, &out) ? DISP_E_OVERFLOW : S_OK;
    }
    double d = 0;
    const HRESULT hr = ToDouble(v, d);
    return FAILED(hr) ? hr : DoubleToInt64(d * kCyScale, out);
}

HRESULT ToBool(const VARIANT& v, bool& out) {
    if (v.vt == VT_BSTR) {
        const std::string text(TrimBlanks(tessel::BstrToUtf8(v.bstrVal)));
        if (tessel::SameTextNoCase(text, "True")) return out = true, S_OK;
        if (tessel::SameTextNoCase(text, "False")) return out = false, S_OK;
        double d = 0;
        const HRESULT hr = TextToDouble(text, d);
        if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
        out = d != 0;
        return S_OK;
    }
    if (v.vt == VT_CY) return out = v.cyVal.int64 != 0, S_OK;
    if (v.vt == VT_UI8) return out = v.ullVal != 0, S_OK;
    if (v.vt == VT_DECIMAL) {
        TDecimalValue dec;
        if (const HRESULT hr = DecimalOf(v, dec); FAILED(hr)) return hr;
        return out = dec.magnitude != 0, S_OK;
    }
    double d = 0;
    const HRESULT hr = ToDouble(v, d);
    if (FAILED(hr)) return hr;
    out = d != 0;
    return S_OK;
}

std::string CyText(std::int64_t c) {
    const bool negative = c < 0;
    // Magnitude in unsigned arithmetic: the most negative value has no positive counterpart.
    const std::uint64_t m = negative ? 0 - static_cast<std::uint64_t>(c) : static_cast<std::uint64_t>(c);
    std::string s = (negative ? "-" : "") + std::to_string(m / kCyScale);
    std::uint64_t frac = m % kCyScale;
    if (frac != 0) {
        std::string digits = std::to_string(frac + kCyScale).substr(1);  // four digits, leading zeros kept
        while (digits.back() == '0') digits.pop_back();
        s += "." + digits;
    }
    return s;
}

HRESULT ToText(const VARIANT& v, USHORT flags, std::string& out) {
    std::int64_t i = 0;
    if (v.vt == VT_UI8) return out = std::to_string(v.ullVal), S_OK;
    if (IsIntegerType(v.vt)) {
        IntegerOf(v, i);
        out = std::to_string(i);
        return S_OK;
    }
    switch (v.vt) {
        case VT_EMPTY:
            out.clear();
            return S_OK;
        case VT_BSTR:
            out = tessel::BstrToUtf8(v.bstrVal);
            return S_OK;
        case VT_R4:
            out = RealText(v.fltVal, kFloatDigits);
            return S_OK;
        case VT_R8:
            out = RealText(v.dblVal, kDoubleDigits);
            return S_OK;
        case VT_DECIMAL: {
            TDecimalValue dec;
            if (const HRESULT hr = DecimalOf(v, dec); FAILED(hr)) return hr;
            out = tessel::variant_detail::DecimalText(dec);
            return S_OK;
        }
        case VT_CY:
            out = CyText(v.cyVal.int64);
            return S_OK;
        case VT_BOOL:
            if ((flags & VARIANT_ALPHABOOL) != 0)
                out = v.boolVal != 0 ? "True" : "False";
            else
                out = v.boolVal != 0 ? "-1" : "0";
            return S_OK;
        case VT_DATE: {
            const auto text = tessel::OleDateToText(v.date);
            if (!text) return DISP_E_OVERFLOW;
            out = *text;
            return S_OK;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ToDate(const VARIANT& v, double& out) {
    if (v.vt == VT_BSTR) {
        const auto d = tessel::OleDateFromText(tessel::BstrToUtf8(v.bstrVal));
        if (!d) return DISP_E_TYPEMISMATCH;
        out = *d;
        return S_OK;
    }
    const HRESULT hr = ToDouble(v, out);
    if (FAILED(hr)) return hr;
    if (out <= tessel::kMinOleDate - 1 || out >= std::floor(tessel::kMaxOleDate) + 1) return DISP_E_OVERFLOW;
    return S_OK;
}

HRESULT ToDecimal(const VARIANT& v, TDecimalValue& out) {
    using namespace tessel::variant_detail;
    if (v.vt == VT_UI8) return out = DecimalFromUInt64(v.ullVal), S_OK;
    std::int64_t i = 0;
    if (IsIntegerType(v.vt)) return IntegerOf(v, i), out = DecimalFromInt64(i), S_OK;
    switch (v.vt) {
        case VT_EMPTY:
            out = TDecimalValue{};
            return S_OK;
        case VT_BOOL:
            out = DecimalFromInt64(v.boolVal != 0 ? -1 : 0);
            return S_OK;
        case VT_CY:
            out = DecimalFromCy(v.cyVal.int64);
            return S_OK;
        case VT_R4:
            return RealToDecimal(v.fltVal, kFloatDigits, out);
        case VT_R8:
        case VT_DATE:
            return RealToDecimal(v.dblVal, kDoubleDigits, out);
        case VT_BSTR:
            return TextToDecimal(tessel::BstrToUtf8(v.bstrVal), out);
        case VT_DECIMAL:
            return DecimalOf(v, out);
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

HRESULT Interface(const VARIANT& v, VARTYPE vt, VARIANT& result) {
    if (v.vt != VT_DISPATCH && v.vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
    result.vt = vt;
    result.punkVal = nullptr;
    if (v.punkVal == nullptr) return S_OK;
    void* out = nullptr;
    if (v.vt == vt) {
        v.punkVal->AddRef();
        result.punkVal = v.punkVal;
        return S_OK;
    }
    const HRESULT hr = v.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &out);
    if (FAILED(hr) || out == nullptr) return DISP_E_TYPEMISMATCH;
    result.punkVal = static_cast<IUnknown*>(out);
    return S_OK;
}

template <typename T>
HRESULT Ranged(std::int64_t i, T& out) {
    if (i < static_cast<std::int64_t>(std::numeric_limits<T>::min()) ||
        (i > 0 && static_cast<std::uint64_t>(i) > static_cast<std::uint64_t>(std::numeric_limits<T>::max())))
        return DISP_E_OVERFLOW;
    out = static_cast<T>(i);
    return S_OK;
}

// Converts a plain value `v` (owning nothing) into `result`, which owns what it holds on success.
HRESULT Convert(const VARIANT& v, USHORT flags, VARTYPE vt, VARIANT& result) {
    VariantInit(&result);
    if (vt == VT_EMPTY || vt == VT_NULL) {
        result.vt = vt;
        return S_OK;
    }
    if (v.vt == VT_NULL || v.vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
    if (vt == VT_DISPATCH || vt == VT_UNKNOWN) return Interface(v, vt, result);
    HRESULT hr = S_OK;
    // A number written "&H1F" or "&O37" converts as the integer it spells; dates read texts their own way.
    if (v.vt == VT_BSTR && vt != VT_DATE && vt != VT_BSTR) {
        std::uint64_t bits = 0;
        hr = ParseRadix(tessel::BstrToUtf8(v.bstrVal), bits);
        if (FAILED(hr)) return hr;
        if (hr == S_OK) return Convert(RadixNumber(bits, vt), flags, vt, result);
    }
    std::int64_t i = 0;
    result.vt = vt;
    switch (vt) {
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_INT:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UINT:
            if (FAILED(hr = ToInt64(v, i))) return hr;
            switch (vt) {
                case VT_I1: {
                    signed char c = 0;
                    hr = Ranged(i, c);
                    result.cVal = static_cast<CHAR>(c);
                    return hr;
                }
                case VT_I2:
                    return Ranged(i, result.iVal);
                case VT_I4:
                case VT_INT:
                    return Ranged(i, result.lVal);
                case VT_I8:
                    result.llVal = i;
                    return S_OK;
                case VT_UI1:
                    return Ranged(i, result.bVal);
                case VT_UI2:
                    return Ranged(i, result.uiVal);
                default:
                    return Ranged(i, result.ulVal);
            }
        case VT_UI8:
            if (FAILED(hr = ToInt64(v, i))) return hr;
            if (i < 0) return DISP_E_OVERFLOW;
            result.ullVal = static_cast<ULONGLONG>(i);
            return S_OK;
        case VT_R8:
            return ToDouble(v, result.dblVal);
        case VT_R4: {
            double d = 0;
            if (FAILED(hr = ToDouble(v, d))) return hr;
            if (std::fabs(d) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
            result.fltVal = static_cast<float>(d);
            return S_OK;
        }
        case VT_CY:
            return ToCy(v, result.cyVal.int64);
        case VT_DECIMAL: {
            TDecimalValue dec;
            if (FAILED(hr = ToDecimal(v, dec))) return hr;
            result.decVal = tessel::variant_detail::MakeDecimal(dec);
            result.vt = VT_DECIMAL;  // after the value, which overlays it
            return S_OK;
        }
        case VT_DATE:
            return ToDate(v, result.date);
        case VT_BOOL: {
            bool b = false;
            if (FAILED(hr = ToBool(v, b))) return hr;
            result.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        }
        case VT_BSTR: {
            std::string text;
            if (FAILED(hr = ToText(v, flags, text))) return hr;
            try {
                result.bstrVal = tessel::Utf8ToBstr(text).release();
            } catch (const std::bad_alloc&) {
                return E_OUTOFMEMORY;
            }
            return S_OK;
        }
        default:
            return DISP_E_BADVARTYPE;
    }
}

// An object converts through its value property, as a script host reads it.
HRESULT ValueOfObject(IDispatch* object, USHORT flags, VARIANT& value) {
    VariantInit(&value);
    if (object == nullptr || (flags & VARIANT_NOVALUEPROP) != 0) return DISP_E_TYPEMISMATCH;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    const HRESULT hr =
        object->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
    if (FAILED(hr) || value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN || !IsKnownValueType(value.vt)) {
        VariantClear(&value);
        return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

}  // namespace

extern "C" {

HRESULT VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* src, LCID, USHORT flags, VARTYPE vt) {
    if (dest == nullptr || src == nullptr) return E_INVALIDARG;
    if (!IsKnownType(src->vt)) return DISP_E_BADVARTYPE;
    if (!IsKnownValueType(vt)) return DISP_E_BADVARTYPE;
    VARIANT plain = *src;
    HRESULT hr = S_OK;
    if ((src->vt & VT_BYREF) != 0 && FAILED(hr = Dereference(*src, plain))) return hr;
    if ((plain.vt & VT_ARRAY) != 0) return DISP_E_TYPEMISMATCH;
    // Holds the object's value while it is converted.
    VARIANT objectValue;
    VariantInit(&objectValue);
    if (plain.vt == VT_DISPATCH && vt != VT_DISPATCH && vt != VT_UNKNOWN && vt != VT_EMPTY && vt != VT_NULL) {
        if (FAILED(hr = ValueOfObject(plain.pdispVal, flags, objectValue))) return hr;
        plain = objectValue;
    }
    VARIANT result;
    VariantInit(&result);
    // The same type is a copy: no round trip through another form (a text keeps even a lone surrogate).
    hr = plain.vt == vt ? VariantCopy(&result, &plain) : Convert(plain, flags, vt, result);
    VariantClear(&objectValue);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    // `dest` may be `src`: the result was built apart, so the source stays valid until here.
    if (FAILED(hr = VariantClear(dest))) {
        VariantClear(&result);
        return hr;
    }
    *dest = result;
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt) {
    return VariantChangeTypeEx(dest, src, LOCALE_USER_DEFAULT, flags, vt);
}

}  // extern "C"
