#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <variant>

#include "ComTestObjects.h"
#include "common/com/ComText.h"
#include "common/com/OleAuto.h"

using namespace tessel;

namespace {

// A source value, built into a VARIANT inside the test.
struct Src {
    VARTYPE vt;
    std::int64_t i = 0;
    double d = 0;
    std::string s;
    // VT_DECIMAL: scale, sign, Hi32 and Lo64 (the low 64 bits).
    BYTE scale = 0;
    BYTE sign = 0;
    ULONG hi = 0;
    ULONGLONG lo = 0;
};
Src I4(LONG v) {
    return {VT_I4, v, 0, {}};
}
Src UI1(BYTE v) {
    return {VT_UI1, v, 0, {}};
}
Src R8(double v) {
    return {VT_R8, 0, v, {}};
}
Src R4(float v) {
    return {VT_R4, 0, v, {}};
}
Src Dec(BYTE scale, BYTE sign, ULONG hi, ULONGLONG lo) {
    return {VT_DECIMAL, 0, 0, {}, scale, sign, hi, lo};
}
constexpr BYTE kNeg = DECIMAL_NEG;
Src Date(double v) {
    return {VT_DATE, 0, v, {}};
}
Src Cy(std::int64_t scaled) {
    return {VT_CY, scaled, 0, {}};
}
Src Bool(bool v) {
    return {VT_BOOL, v ? -1 : 0, 0, {}};
}
Src Text(std::string v) {
    return {VT_BSTR, 0, 0, std::move(v)};
}
Src Empty() {
    return {VT_EMPTY, 0, 0, {}};
}
Src Null() {
    return {VT_NULL, 0, 0, {}};
}

// Owns the VARIANT it builds.
struct Built {
    VARIANT v;
    explicit Built(const Src& s) {
        VariantInit(&v);
        v.vt = s.vt;
        switch (s.vt) {
            case VT_I4:
                v.lVal = static_cast<LONG>(s.i);
                break;
            case VT_UI1:
                v.bVal = static_cast<BYTE>(s.i);
                break;
            case VT_R8:
            case VT_DATE:
                v.dblVal = s.d;
                break;
            case VT_R4:
                v.fltVal = static_cast<float>(s.d);
                break;
            case VT_DECIMAL:
                v.decVal.scale = s.scale;
                v.decVal.sign = s.sign;
                v.decVal.Hi32 = s.hi;
                v.decVal.Lo64 = s.lo;
                v.vt = VT_DECIMAL;  // the value overlays the type
                break;
            case VT_CY:
                v.cyVal.int64 = s.i;
                break;
            case VT_BOOL:
                v.boolVal = static_cast<VARIANT_BOOL>(s.i);
                break;
            case VT_BSTR:
                v.bstrVal = Utf8ToBstr(s.s).release();
                break;
            default:
                break;
        }
    }
    ~Built() { VariantClear(&v); }
};

using Expected = std::variant<std::int64_t, double, std::string>;

// A decimal as the table states it.
std::string DecParts(int scale, bool negative, ULONG hi, ULONGLONG lo) {
    return "dec " + std::to_string(scale) + (negative ? " - " : " + ") + std::to_string(hi) + ":" +
           std::to_string(lo);
}
Expected WantDec(int scale, bool negative, ULONG hi, ULONGLONG lo) {
    return DecParts(scale, negative, hi, lo);
}

struct ChangeCase {
    const char* name;
    Src src;
    VARTYPE to;
    HRESULT hr;
    Expected want = std::int64_t{0};
    USHORT flags = 0;
};

// The value of a converted VARIANT in the form the table states it.
Expected ValueOf(const VARIANT& v) {
    switch (v.vt) {
        case VT_I2:
            return std::int64_t{v.iVal};
        case VT_I4:
            return std::int64_t{v.lVal};
        case VT_UI1:
            return std::int64_t{v.bVal};
        case VT_UI4:
            return std::int64_t{v.ulVal};
        case VT_CY:
            return v.cyVal.int64;
        case VT_BOOL:
            return std::int64_t{v.boolVal};
        case VT_R4:
            return double{v.fltVal};
        case VT_R8:
        case VT_DATE:
            return v.dblVal;
        case VT_I8:
            return v.llVal;
        case VT_DECIMAL:
            return DecParts(v.decVal.scale, v.decVal.sign == DECIMAL_NEG, v.decVal.Hi32, v.decVal.Lo64);
        case VT_BSTR:
            return BstrToUtf8(v.bstrVal);
        case VT_EMPTY:
        case VT_NULL:
            return std::int64_t{0};
        default:
            return std::string("<unexpected type>");
    }
}

class ChangeType : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ChangeType, ConvertsOrFailsLeavingDestination) {
    const ChangeCase& c = GetParam();
    Built src(c.src);
    VARIANT dest;
    VariantInit(&dest);
    dest.vt = VT_I4;
    dest.lVal = 777;
    const HRESULT hr = VariantChangeType(&dest, &src.v, c.flags, c.to);
    ASSERT_EQ(hr, c.hr) << std::hex << hr;
    if (FAILED(hr)) {
        EXPECT_EQ(dest.vt, VT_I4);  // untouched
        EXPECT_EQ(dest.lVal, 777);
        return;
    }
    EXPECT_EQ(dest.vt, c.to);
    const Expected got = ValueOf(dest);
    if (std::holds_alternative<double>(c.want) && std::holds_alternative<double>(got))
        EXPECT_NEAR(std::get<double>(got), std::get<double>(c.want), 1e-9);
    else if (std::holds_alternative<std::string>(c.want) && std::holds_alternative<std::string>(got))
        EXPECT_EQ(std::get<std::string>(got), std::get<std::string>(c.want));
    else
        EXPECT_EQ(got, c.want);
    VariantClear(&dest);
}

const std::int64_t kMaxCy = std::numeric_limits<std::int64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Table, ChangeType,
    ::testing::Values(
        // Integers
        ChangeCase{"I4ToBstr", I4(-42), VT_BSTR, S_OK, std::string("-42")},
        ChangeCase{"I4ToR8", I4(7), VT_R8, S_OK, 7.0},
        ChangeCase{"I4ToI2Overflow", I4(40000), VT_I2, DISP_E_OVERFLOW},
        ChangeCase{"I4ToUI1Overflow", I4(300), VT_UI1, DISP_E_OVERFLOW},
        ChangeCase{"NegativeToUI4Overflow", I4(-1), VT_UI4, DISP_E_OVERFLOW},
        ChangeCase{"UI1ToI4", UI1(200), VT_I4, S_OK, std::int64_t{200}},
        ChangeCase{"I4ToCy", I4(12), VT_CY, S_OK, std::int64_t{120000}},
        ChangeCase{"I4ToBoolTrue", I4(5), VT_BOOL, S_OK, std::int64_t{-1}},
        ChangeCase{"I4ToBoolFalse", I4(0), VT_BOOL, S_OK, std::int64_t{0}},
        ChangeCase{"I4ToDate", I4(45000), VT_DATE, S_OK, 45000.0},
        // Reals round half to even
        ChangeCase{"R8HalfDownToEven", R8(2.5), VT_I4, S_OK, std::int64_t{2}},
        ChangeCase{"R8HalfUpToEven", R8(3.5), VT_I4, S_OK, std::int64_t{4}},
        ChangeCase{"R8NegativeHalf", R8(-2.5), VT_I4, S_OK, std::int64_t{-2}},
        ChangeCase{"R8AboveHalf", R8(2.51), VT_I4, S_OK, std::int64_t{3}},
        ChangeCase{"R8ToI4Overflow", R8(1e10), VT_I4, DISP_E_OVERFLOW},
        ChangeCase{"R8ToR4Overflow", R8(1e300), VT_R4, DISP_E_OVERFLOW},
        ChangeCase{"R8ToBstrPoint", R8(1.5), VT_BSTR, S_OK, std::string("1.5")},
        ChangeCase{"R8ToBstrShortest", R8(0.1), VT_BSTR, S_OK, std::string("0.1")},
        ChangeCase{"R8ToBstrExponent", R8(1e20), VT_BSTR, S_OK, std::string("1E+20")},
        ChangeCase{"R8ToCy", R8(12.34565), VT_CY, S_OK, std::int64_t{123456}},
        ChangeCase{"R8ToCyOverflow", R8(1e16), VT_CY, DISP_E_OVERFLOW},
        ChangeCase{"R8ToDateOverflow", R8(1e9), VT_DATE, DISP_E_OVERFLOW},
        // Currency
        ChangeCase{"CyToBstrTrimmed", Cy(123450), VT_BSTR, S_OK, std::string("12.345")},
        ChangeCase{"CyToBstrWhole", Cy(-20000), VT_BSTR, S_OK, std::string("-2")},
        ChangeCase{"CyToBstrSmallFraction", Cy(5), VT_BSTR, S_OK, std::string("0.0005")},
        ChangeCase{"CyMinToBstr", Cy(std::numeric_limits<std::int64_t>::min()), VT_BSTR, S_OK,
                   std::string("-922337203685477.5808")},
        ChangeCase{"CyToI4HalfUp", Cy(15000), VT_I4, S_OK, std::int64_t{2}},
        ChangeCase{"CyToI4HalfDown", Cy(25000), VT_I4, S_OK, std::int64_t{2}},
        ChangeCase{"CyToI4NegativeHalf", Cy(-15000), VT_I4, S_OK, std::int64_t{-2}},
        ChangeCase{"CyToR8", Cy(1234567), VT_R8, S_OK, 123.4567},
        // Texts: either decimal separator, blanks around
        ChangeCase{"BstrPointToR8", Text("12.5"), VT_R8, S_OK, 12.5},
        ChangeCase{"BstrCommaToR8", Text("12,5"), VT_R8, S_OK, 12.5},
        ChangeCase{"BstrExponentToR8", Text("-1.5E3"), VT_R8, S_OK, -1500.0},
        ChangeCase{"BstrBlanksToI4", Text("  7 "), VT_I4, S_OK, std::int64_t{7}},
        ChangeCase{"BstrFractionToI4", Text("1.5"), VT_I4, S_OK, std::int64_t{2}},
        ChangeCase{"BstrToI4Overflow", Text("3000000000"), VT_I4, DISP_E_OVERFLOW},
        ChangeCase{"BstrWordToI4", Text("abc"), VT_I4, DISP_E_TYPEMISMATCH},
        ChangeCase{"BstrEmptyToI4", Text(""), VT_I4, DISP_E_TYPEMISMATCH},
        ChangeCase{"BstrTwoPointsToR8", Text("1.2.3"), VT_R8, DISP_E_TYPEMISMATCH},
        ChangeCase{"BstrSignOnly", Text("-"), VT_R8, DISP_E_TYPEMISMATCH},
        ChangeCase{"BstrToCyExact", Text("0.1"), VT_CY, S_OK, std::int64_t{1000}},
        ChangeCase{"BstrToCyRoundsFifth", Text("12.34567"), VT_CY, S_OK, std::int64_t{123457}},
        ChangeCase{"BstrToCyHalfToEvenDown", Text("0.00005"), VT_CY, S_OK, std::int64_t{0}},
        ChangeCase{"BstrToCyHalfToEvenUp", Text("0.00015"), VT_CY, S_OK, std::int64_t{2}},
        ChangeCase{"BstrToCyNegativeComma", Text("-1,5"), VT_CY, S_OK, std::int64_t{-15000}},
        ChangeCase{"BstrToCyLargest", Text("922337203685477.5807"), VT_CY, S_OK, kMaxCy},
        ChangeCase{"BstrToCyOverflow", Text("922337203685477.5808"), VT_CY, DISP_E_OVERFLOW},
        ChangeCase{"BstrTrueToBool", Text("true"), VT_BOOL, S_OK, std::int64_t{-1}},
        ChangeCase{"BstrFalseToBool", Text("False"), VT_BOOL, S_OK, std::int64_t{0}},
        ChangeCase{"BstrNumberToBool", Text("2"), VT_BOOL, S_OK, std::int64_t{-1}},
        ChangeCase{"BstrZeroToBool", Text("0"), VT_BOOL, S_OK, std::int64_t{0}},
        ChangeCase{"BstrWordToBool", Text("yes"), VT_BOOL, DISP_E_TYPEMISMATCH},
        ChangeCase{"BstrToDateTime", Text("15.03.2023 12:00:00"), VT_DATE, S_OK, 45000.5},
        ChangeCase{"BstrIsoToDate", Text("2023-03-15T12:00"), VT_DATE, S_OK, 45000.5},
        ChangeCase{"BstrTimeToDate", Text("18:00"), VT_DATE, S_OK, 0.75},
        ChangeCase{"BstrImpossibleDate", Text("31.02.2023"), VT_DATE, DISP_E_TYPEMISMATCH},
        ChangeCase{"BstrImpossibleTime", Text("24:00"), VT_DATE, DISP_E_TYPEMISMATCH},
        ChangeCase{"BstrCyrillicKept", Text("Касса"), VT_BSTR, S_OK, std::string("Касса")},
        // Booleans
        ChangeCase{"BoolToBstrNumeric", Bool(true), VT_BSTR, S_OK, std::string("-1")},
        ChangeCase{"BoolFalseToBstrNumeric", Bool(false), VT_BSTR, S_OK, std::string("0")},
        ChangeCase{"BoolToBstrAlpha", Bool(true), VT_BSTR, S_OK, std::string("True"), VARIANT_ALPHABOOL},
        ChangeCase{"BoolToI4", Bool(true), VT_I4, S_OK, std::int64_t{-1}},
        ChangeCase{"BoolToR8", Bool(true), VT_R8, S_OK, -1.0},
        // Dates
        ChangeCase{"DateTimeToBstr", Date(45000.5), VT_BSTR, S_OK, std::string("15.03.2023 12:00:00")},
        ChangeCase{"DateOnlyToBstr", Date(45000), VT_BSTR, S_OK, std::string("15.03.2023")},
        ChangeCase{"TimeOnlyToBstr", Date(0.75), VT_BSTR, S_OK, std::string("18:00:00")},
        ChangeCase{"NegativeDateToBstr", Date(-1.25), VT_BSTR, S_OK, std::string("29.12.1899 06:00:00")},
        ChangeCase{"AlmostMidnightRoundsToNextDay", Date(45000.999999), VT_BSTR, S_OK,
                   std::string("16.03.2023")},
        ChangeCase{"DateToR8", Date(45000.25), VT_R8, S_OK, 45000.25},
        ChangeCase{"FirstValidDate", Date(-657434), VT_BSTR, S_OK, std::string("01.01.0100")},
        ChangeCase{"DateBeyondRange", Date(3e6), VT_BSTR, DISP_E_OVERFLOW},
        // Empty and null
        ChangeCase{"EmptyToI4", Empty(), VT_I4, S_OK, std::int64_t{0}},
        ChangeCase{"EmptyToBstr", Empty(), VT_BSTR, S_OK, std::string("")},
        ChangeCase{"EmptyToBool", Empty(), VT_BOOL, S_OK, std::int64_t{0}},
        ChangeCase{"NullToI4", Null(), VT_I4, DISP_E_TYPEMISMATCH},
        ChangeCase{"NullToBstr", Null(), VT_BSTR, DISP_E_TYPEMISMATCH},
        ChangeCase{"I4ToEmpty", I4(3), VT_EMPTY, S_OK},
        ChangeCase{"ScalarToDispatch", I4(3), VT_DISPATCH, DISP_E_TYPEMISMATCH},
        ChangeCase{"UnknownTargetType", I4(3), VT_VOID, DISP_E_BADVARTYPE},
        // The rows below state what Windows' OLE Automation gives (its conformance tests of VarBstrFromR4,
        // VarBstrFromR8, VarDecFrom*, Var*FromDec, VarBstrFromDec and VarDateFromStr, and Visual Basic's
        // CInt/CLng/CCur of "&H" texts), unless a comment says otherwise.
        // Reals to text: 7 significant digits for a float, 15 for a double, ties away from zero
        ChangeCase{"R4TenthToBstr", R4(0.1f), VT_BSTR, S_OK, std::string("0.1")},
        ChangeCase{"R4SmallToBstr", R4(0.000005f), VT_BSTR, S_OK, std::string("0.000005")},
        ChangeCase{"R4LargeToBstr", R4(1.0e8f), VT_BSTR, S_OK, std::string("1E+08")},
        ChangeCase{"R4RoundsIntoExponent", R4(999999999999999.0f), VT_BSTR, S_OK, std::string("1E+15")},
        ChangeCase{"R4MantissaToBstr", R4(1.234e16f), VT_BSTR, S_OK, std::string("1.234E+16")},
        ChangeCase{"R4PiToBstr", R4(3.14159265f), VT_BSTR, S_OK, std::string("3.141593")},
        ChangeCase{"R4TieAwayFromZero", R4(654322.23456f), VT_BSTR, S_OK, std::string("654322.3")},
        ChangeCase{"R4FourDigitsWhole", R4(1234.56789012f), VT_BSTR, S_OK, std::string("1234.568")},
        ChangeCase{"R4NegativeZero", R4(-0.0f), VT_BSTR, S_OK, std::string("0")},
        ChangeCase{"R8SmallPlain", R8(5.6789e-11), VT_BSTR, S_OK, std::string("0.000000000056789")},
        ChangeCase{"R8SmallExponent", R8(5.6789e-12), VT_BSTR, S_OK, std::string("5.6789E-12")},
        ChangeCase{"R8MicroPlain", R8(5.6789e-6), VT_BSTR, S_OK, std::string("0.0000056789")},
        ChangeCase{"R8FifteenDigitsWhole", R8(999999999999999.0), VT_BSTR, S_OK,
                   std::string("999999999999999")},
        ChangeCase{"R8SixteenDigitsWhole", R8(1.0e15), VT_BSTR, S_OK, std::string("1E+15")},
        ChangeCase{"R8PiToBstr", R8(3.141592653589793), VT_BSTR, S_OK, std::string("3.14159265358979")},
        ChangeCase{"R8RoundsFifteenth", R8(1234.567890123456789), VT_BSTR, S_OK,
                   std::string("1234.56789012346")},
        // Decimals from the interface's types
        ChangeCase{"BstrToDec", Text("0.5"), VT_DECIMAL, S_OK, WantDec(1, false, 0, 5)},
        ChangeCase{"BstrNegativeToDec", Text("-1"), VT_DECIMAL, S_OK, WantDec(0, true, 0, 1)},
        ChangeCase{"BstrTrailingZeroToDec", Text("4294967296.0"), VT_DECIMAL, S_OK,
                   WantDec(0, false, 0, 4294967296ull)},
        ChangeCase{"BstrBeyond64BitsToDec", Text("18446744073709551616"), VT_DECIMAL, S_OK,
                   WantDec(0, false, 1, 0)},
        // The largest decimal and one past it (the 96-bit limit of the type).
        ChangeCase{"BstrLargestToDec", Text("79228162514264337593543950335"), VT_DECIMAL, S_OK,
                   WantDec(0, false, 0xFFFFFFFFu, 0xFFFFFFFFFFFFFFFFull)},
        ChangeCase{"BstrToDecOverflow", Text("79228162514264337593543950336"), VT_DECIMAL, DISP_E_OVERFLOW},
        // Decimals beyond 28 places round half to even (the type keeps 28).
        ChangeCase{"BstrRoundsToScale28", Text("0.00000000000000000000000000015"), VT_DECIMAL, S_OK,
                   WantDec(28, false, 0, 2)},
        ChangeCase{"BstrCommaToDec", Text("-1,5"), VT_DECIMAL, S_OK, WantDec(1, true, 0, 15)},
        ChangeCase{"BstrWordToDec", Text("1.5x"), VT_DECIMAL, DISP_E_TYPEMISMATCH},
        ChangeCase{"R8ToDec", R8(0.4), VT_DECIMAL, S_OK, WantDec(1, false, 0, 4)},
        ChangeCase{"R8NegativeToDec", R8(-0.6), VT_DECIMAL, S_OK, WantDec(1, true, 0, 6)},
        ChangeCase{"R4ToDec", R4(0.5f), VT_DECIMAL, S_OK, WantDec(1, false, 0, 5)},
        ChangeCase{"R8ToDecOverflow", R8(1e30), VT_DECIMAL, DISP_E_OVERFLOW},
        ChangeCase{"CyToDecKeepsFourPlaces", Cy(10000), VT_DECIMAL, S_OK, WantDec(4, false, 0, 10000)},
        ChangeCase{"CyHalfToDec", Cy(5000), VT_DECIMAL, S_OK, WantDec(4, false, 0, 5000)},
        ChangeCase{"I4ToDec", I4(-1), VT_DECIMAL, S_OK, WantDec(0, true, 0, 1)},
        ChangeCase{"BoolToDec", Bool(true), VT_DECIMAL, S_OK, WantDec(0, true, 0, 1)},
        // Decimals to the interface's types
        ChangeCase{"DecToI4", Dec(0, kNeg, 0, 1), VT_I4, S_OK, std::int64_t{-1}},
        ChangeCase{"DecSmallestI4", Dec(2, kNeg, 0, 50ull << 32), VT_I4, S_OK, std::int64_t{INT32_MIN}},
        ChangeCase{"DecLargestI4", Dec(2, 0, 0, (49ull << 32) + 4294967196ull), VT_I4, S_OK,
                   std::int64_t{INT32_MAX}},
        ChangeCase{"DecToI4Overflow", Dec(2, 0, 0, 50ull << 32), VT_I4, DISP_E_OVERFLOW},
        ChangeCase{"DecToCy", Dec(2, 0, 0, 1), VT_CY, S_OK, std::int64_t{100}},
        ChangeCase{"DecNegativeToCy", Dec(2, kNeg, 0, 999), VT_CY, S_OK, std::int64_t{-99900}},
        ChangeCase{"DecLargestCy", Dec(0, 0, 0, 922337203685477ull), VT_CY, S_OK,
                   std::int64_t{9223372036854770000}},
        ChangeCase{"DecToCyOverflow", Dec(0, 0, 0, 922337203685478ull), VT_CY, DISP_E_OVERFLOW},
        ChangeCase{"DecToR8", Dec(2, kNeg, 0, 3276800), VT_R8, S_OK, -32768.0},
        ChangeCase{"DecBeyond64BitsToR8", Dec(0, 0, 1, 0), VT_R8, S_OK, 18446744073709551616.0},
        ChangeCase{"DecToBstrTrimmed", Dec(3, 0, 0, 1500), VT_BSTR, S_OK, std::string("1.5")},
        ChangeCase{"DecNegativeToBstr", Dec(1, kNeg, 0, 15), VT_BSTR, S_OK, std::string("-1.5")},
        ChangeCase{"DecLeadingZerosToBstr", Dec(4, 0, 0, 9), VT_BSTR, S_OK, std::string("0.0009")},
        ChangeCase{"DecAllDigitsToBstr", Dec(28, 0, 0xFFFFFFFFu, 0xFFFFFFFFFFFFFFFFull), VT_BSTR, S_OK,
                   std::string("7.9228162514264337593543950335")},
        ChangeCase{"DecToBool", Dec(1, 0, 0, 5), VT_BOOL, S_OK, std::int64_t{-1}},
        ChangeCase{"DecScaleBeyond28", Dec(29, 0, 0, 1), VT_I4, E_INVALIDARG},
        ChangeCase{"DecBadSignBits", Dec(0, 0x40, 0, 1), VT_R8, E_INVALIDARG},
        // "&H" and "&O" texts: 32-bit two's complement, narrower for VT_I2
        ChangeCase{"HexToI4", Text("&H1F"), VT_I4, S_OK, std::int64_t{31}},
        ChangeCase{"HexLowerCaseToI4", Text(" &h1f "), VT_I4, S_OK, std::int64_t{31}},
        ChangeCase{"OctalToI4", Text("&O37"), VT_I4, S_OK, std::int64_t{31}},
        ChangeCase{"HexAllOnesToI4", Text("&HFFFFFFFF"), VT_I4, S_OK, std::int64_t{-1}},
        ChangeCase{"HexHighBitToI4", Text("&H80000000"), VT_I4, S_OK, std::int64_t{INT32_MIN}},
        ChangeCase{"HexHighBitToR8", Text("&H80000000"), VT_R8, S_OK, -2147483648.0},
        ChangeCase{"Hex16BitsToI4", Text("&H8000"), VT_I4, S_OK, std::int64_t{32768}},
        ChangeCase{"Hex16BitsToI2", Text("&H8000"), VT_I2, S_OK, std::int64_t{-32768}},
        ChangeCase{"HexToCy", Text("&HFFFF"), VT_CY, S_OK, std::int64_t{655350000}},
        ChangeCase{"HexToDec", Text("&HFFFF"), VT_DECIMAL, S_OK, WantDec(0, false, 0, 65535)},
        ChangeCase{"HexWithoutDigits", Text("&H"), VT_I4, DISP_E_TYPEMISMATCH},
        ChangeCase{"HexBadDigit", Text("&H1G"), VT_I4, DISP_E_TYPEMISMATCH},
        ChangeCase{"OctalBadDigit", Text("&O8"), VT_I4, DISP_E_TYPEMISMATCH},
        // Beyond 64 bits (a limit of the pattern, not a value OLE states).
        ChangeCase{"HexBeyond64Bits", Text("&H10000000000000000"), VT_R8, DISP_E_OVERFLOW},
        // Dates with two-digit years: 00..29 in the 2000s, 30..99 in the 1900s
        ChangeCase{"TwoDigitYear", Text("15.03.23"), VT_DATE, S_OK, 45000.0},
        ChangeCase{"TwoDigitYearWithTime", Text("15.03.23 12:00"), VT_DATE, S_OK, 45000.5},
        ChangeCase{"TwoDigitYearLastOfCentury", Text("02.01.29"), VT_DATE, S_OK, 47120.0},
        ChangeCase{"TwoDigitYearFirstOf1900s", Text("02.01.30"), VT_DATE, S_OK, 10960.0},
        ChangeCase{"ThreeDigitYearKept", Text("01.01.100"), VT_DATE, S_OK, -657434.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChangeTypeInPlace, ReplacesTheSourceWithoutLeakOrDoubleFree) {
    Built v(Text("123"));
    ASSERT_EQ(VariantChangeType(&v.v, &v.v, 0, VT_I4), S_OK);
    EXPECT_EQ(v.v.vt, VT_I4);
    EXPECT_EQ(v.v.lVal, 123);
    ASSERT_EQ(VariantChangeType(&v.v, &v.v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(BstrToUtf8(v.v.bstrVal), "123");
    // A failed conversion in place leaves the source as it was.
    Built w(Text("x"));
    EXPECT_EQ(VariantChangeType(&w.v, &w.v, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(BstrToUtf8(w.v.bstrVal), "x");
}

TEST(ChangeTypeByRef, FollowsReferencesToValuesAndVariants) {
    LONG n = 17;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_I4;
    ref.plVal = &n;
    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_BSTR), S_OK);
    EXPECT_EQ(BstrToUtf8(out.bstrVal), "17");

    Built inner(Text("2,25"));
    VARIANT varRef;
    VariantInit(&varRef);
    varRef.vt = VT_BYREF | VT_VARIANT;
    varRef.pvarVal = &inner.v;
    ASSERT_EQ(VariantChangeType(&out, &varRef, 0, VT_R8), S_OK);  // also frees the earlier text
    EXPECT_DOUBLE_EQ(out.dblVal, 2.25);

    BSTR text = Utf8ToBstr("5").release();
    VARIANT textRef;
    VariantInit(&textRef);
    textRef.vt = VT_BYREF | VT_BSTR;
    textRef.pbstrVal = &text;
    ASSERT_EQ(VariantChangeType(&out, &textRef, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 5);
    EXPECT_EQ(VariantClear(&textRef), S_OK);  // a reference owns nothing
    SysFreeString(text);

    VARIANT nullRef;
    VariantInit(&nullRef);
    nullRef.vt = VT_BYREF | VT_I4;
    EXPECT_EQ(VariantChangeType(&out, &nullRef, 0, VT_BSTR), E_INVALIDARG);

    DECIMAL dec{};
    dec.scale = 2;
    dec.sign = DECIMAL_NEG;
    dec.Lo64 = 12345;
    VARIANT decRef;
    VariantInit(&decRef);
    decRef.vt = VT_BYREF | VT_DECIMAL;
    decRef.pdecVal = &dec;
    ASSERT_EQ(VariantChangeType(&out, &decRef, 0, VT_CY), S_OK);
    EXPECT_EQ(out.cyVal.int64, -1234500);
    ASSERT_EQ(VariantCopyInd(&out, &decRef), S_OK);
    EXPECT_EQ(ValueOf(out), WantDec(2, true, 0, 12345));
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &out), S_OK);  // a decimal is copied whole
    EXPECT_EQ(ValueOf(copy), WantDec(2, true, 0, 12345));
}

TEST(ChangeTypeObject, ReadsTheValuePropertyUnlessForbidden) {
    comtest::CountedDispatch object(42);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = &object;
    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(BstrToUtf8(out.bstrVal), "42");
    VariantClear(&out);
    EXPECT_EQ(VariantChangeType(&out, &v, VARIANT_NOVALUEPROP, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(object.invokes, 1);

    ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(out.punkVal, static_cast<IUnknown*>(&object));
    EXPECT_EQ(object.refs, 2u);
    VariantClear(&out);
    EXPECT_EQ(object.refs, 1u);

    VARIANT none;
    VariantInit(&none);
    none.vt = VT_DISPATCH;
    EXPECT_EQ(VariantChangeType(&out, &none, 0, VT_I4), DISP_E_TYPEMISMATCH);
}

TEST(VariantCopy, DeepCopiesTextAndHoldsInterfaces) {
    Built src(Text("Привет"));
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &src.v), S_OK);
    EXPECT_NE(copy.bstrVal, src.v.bstrVal);
    VariantClear(&src.v);
    EXPECT_EQ(BstrToUtf8(copy.bstrVal), "Привет");

    comtest::CountedDispatch object;
    VARIANT obj;
    VariantInit(&obj);
    obj.vt = VT_DISPATCH;
    obj.pdispVal = &object;
    object.AddRef();
    ASSERT_EQ(VariantCopy(&copy, &obj), S_OK);  // the earlier text is freed first
    EXPECT_EQ(object.refs, 3u);
    EXPECT_EQ(VariantClear(&copy), S_OK);
    EXPECT_EQ(VariantClear(&obj), S_OK);
    EXPECT_EQ(object.refs, 1u);
    EXPECT_EQ(obj.vt, VT_EMPTY);
}

TEST(VariantCopy, CopyIndDereferencesAndUnknownTypesAreRefused) {
    double d = 2.5;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_R8;
    ref.pdblVal = &d;
    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(VariantCopyInd(&out, &ref), S_OK);
    EXPECT_EQ(out.vt, VT_R8);
    EXPECT_EQ(out.dblVal, 2.5);

    VARIANT odd;
    VariantInit(&odd);
    odd.vt = VT_VOID;
    EXPECT_EQ(VariantCopy(&out, &odd), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(&odd), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

}  // namespace
