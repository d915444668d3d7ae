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
        ChangeCase{"UnknownTargetType", I4(3), VT_DECIMAL, DISP_E_BADVARTYPE}),
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
    odd.vt = VT_DECIMAL;
    EXPECT_EQ(VariantCopy(&out, &odd), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(&odd), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

}  // namespace
