#include <gtest/gtest.h>

#include "common/com/ExcepInfo.h"

namespace {

int fillIns = 0;

HRESULT STDMETHODCALLTYPE FillIn(EXCEPINFO* info) {
    ++fillIns;
    info->bstrDescription = tessel::Utf8ToBstr("Порт недоступен").release();
    return S_OK;
}

// A server may leave the description to a deferred fill-in: it is asked once, however often the caller reads the
// description, and what it filled in is freed with the holder (the sanitizer builds see a leak otherwise).
TEST(ExcepInfo, DeferredDescriptionIsFilledInOnce) {
    fillIns = 0;
    tessel::ExcepInfo exception;
    exception.Get()->pfnDeferredFillIn = &FillIn;
    EXPECT_EQ(exception.Description(), "Порт недоступен");
    EXPECT_EQ(exception.Description(), "Порт недоступен");
    EXPECT_EQ(fillIns, 1);
}

TEST(ExcepInfo, NoDescriptionReadsEmpty) {
    tessel::ExcepInfo exception;
    EXPECT_EQ(exception.Description(), "");
}

}  // namespace
