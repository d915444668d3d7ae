#pragma once
// A VARIANT cleared (its text or interface freed) when the object goes.

#include "common/com/OleAuto.h"

namespace tessel_test {

struct ScopedVariant {
    VARIANT v;
    ScopedVariant() { VariantInit(&v); }
    ~ScopedVariant() { VariantClear(&v); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
};

}  // namespace tessel_test
