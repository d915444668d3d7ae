#pragma once
// A VARIANT that clears what it holds (its text, array or interface) when it goes.

#include "common/com/OleAuto.h"

namespace tessel {

class OwnedVariant {
  public:
    OwnedVariant() { VariantInit(&v_); }
    ~OwnedVariant() { VariantClear(&v_); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;

    VARIANT* Get() { return &v_; }
    VARIANT& operator*() { return v_; }
    const VARIANT& operator*() const { return v_; }
    const VARIANT* operator->() const { return &v_; }

  private:
    VARIANT v_;
};

}  // namespace tessel
