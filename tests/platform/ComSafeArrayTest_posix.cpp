#include <gtest/gtest.h>

#include "ComTestObjects.h"
#include "common/com/ComText.h"
#include "common/com/OleAuto.h"

using namespace tessel;

namespace {

struct BoundsCase {
    LONG lower;
    ULONG count;
    LONG upper;
};

class SafeArrayBounds : public ::testing::TestWithParam<BoundsCase> {};

TEST_P(SafeArrayBounds, ReportsBoundsAndRefusesIndicesOutside) {
    const BoundsCase c = GetParam();
    SAFEARRAY* a = SafeArrayCreateVector(VT_VARIANT, c.lower, c.count);
    ASSERT_NE(a, nullptr);
    LONG lb = 99, ub = 99;
    ASSERT_EQ(SafeArrayGetLBound(a, 1, &lb), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(a, 1, &ub), S_OK);
    EXPECT_EQ(lb, c.lower);
    EXPECT_EQ(ub, c.upper);
    EXPECT_EQ(SafeArrayGetDim(a), 1u);
    EXPECT_EQ(SafeArrayGetElemsize(a), sizeof(VARIANT));
    EXPECT_EQ(SafeArrayGetLBound(a, 2, &lb), DISP_E_BADINDEX);

    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    for (LONG i = c.lower; i <= c.upper; ++i) {
        v.lVal = i * 10;
        ASSERT_EQ(SafeArrayPutElement(a, &i, &v), S_OK);
    }
    for (LONG i = c.lower; i <= c.upper; ++i) {
        VARIANT out;
        ASSERT_EQ(SafeArrayGetElement(a, &i, &out), S_OK);
        EXPECT_EQ(out.vt, VT_I4);
        EXPECT_EQ(out.lVal, i * 10);
    }
    for (LONG outside : {c.lower - 1, c.upper + 1}) {
        VARIANT out;
        EXPECT_EQ(SafeArrayGetElement(a, &outside, &out), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayPutElement(a, &outside, &v), DISP_E_BADINDEX);
    }
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);
}

INSTANTIATE_TEST_SUITE_P(Vectors, SafeArrayBounds,
                         ::testing::Values(BoundsCase{0, 1, 0}, BoundsCase{1, 3, 3}, BoundsCase{-2, 4, 1},
                                           BoundsCase{0, 0, -1}));

TEST(SafeArray, OnlyOneDimensionOfVariant) {
    EXPECT_EQ(SafeArrayCreateVector(VT_I4, 0, 3), nullptr);
    SAFEARRAYBOUND two[2] = {{2, 0}, {2, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 2, two), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_VARIANT, 0, 0xFFFFFFFF), nullptr);
    VARTYPE vt = 0;
    SAFEARRAY* a = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    ASSERT_EQ(SafeArrayGetVartype(a, &vt), S_OK);
    EXPECT_EQ(vt, VT_VARIANT);
    SafeArrayDestroy(a);
}

TEST(SafeArray, ElementsAreCopiesAndTheArrayFreesWhatItHolds) {
    SAFEARRAY* a = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    comtest::CountedDispatch object;
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = Utf8ToBstr("1000").release();
    VARIANT obj;
    VariantInit(&obj);
    obj.vt = VT_DISPATCH;
    obj.pdispVal = &object;
    LONG i0 = 0, i1 = 1;
    ASSERT_EQ(SafeArrayPutElement(a, &i0, &text), S_OK);
    ASSERT_EQ(SafeArrayPutElement(a, &i1, &obj), S_OK);
    EXPECT_EQ(object.refs, 2u);
    VariantClear(&text);  // the array keeps its own copy

    VARIANT out;
    ASSERT_EQ(SafeArrayGetElement(a, &i0, &out), S_OK);
    EXPECT_EQ(BstrToUtf8(out.bstrVal), "1000");
    VariantClear(&out);

    // A VARIANT holding the array copies it deeply.
    VARIANT holder;
    VariantInit(&holder);
    holder.vt = VT_ARRAY | VT_VARIANT;
    holder.parray = a;
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &holder), S_OK);
    EXPECT_NE(copy.parray, a);
    EXPECT_EQ(object.refs, 3u);
    EXPECT_EQ(VariantClear(&copy), S_OK);
    EXPECT_EQ(VariantClear(&holder), S_OK);  // destroys `a`
    EXPECT_EQ(object.refs, 1u);
}

TEST(SafeArray, AccessedDataLocksTheArray) {
    SAFEARRAY* a = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(a, &data), S_OK);
    auto* elements = static_cast<VARIANT*>(data);
    EXPECT_EQ(elements[1].vt, VT_EMPTY);
    elements[1].vt = VT_I4;
    elements[1].lVal = 5;
    EXPECT_EQ(SafeArrayDestroy(a), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnaccessData(a), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(a), E_UNEXPECTED);
    LONG i1 = 1;
    VARIANT out;
    ASSERT_EQ(SafeArrayGetElement(a, &i1, &out), S_OK);
    EXPECT_EQ(out.lVal, 5);
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);
}

}  // namespace
