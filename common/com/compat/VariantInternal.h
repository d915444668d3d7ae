#pragma once
// Type classification shared by the VARIANT units.

#include "common/com/OleAuto.h"

namespace tessel::variant_detail {

// The value types this layer stores, frees, copies and converts.
inline bool IsKnownValueType(VARTYPE vt) {
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_BOOL:
        case VT_UNKNOWN:
        case VT_DECIMAL:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
            return true;
        default:
            return false;
    }
}

// Every type a VARIANT may carry here: a value type, an array of VARIANT, or a reference to either (or to a
// VARIANT).
inline bool IsKnownType(VARTYPE vt) {
    if ((vt & VT_BYREF) != 0) {
        const VARTYPE base = static_cast<VARTYPE>(vt & ~VT_BYREF);
        return base == VT_VARIANT || (IsKnownValueType(base) && base != VT_EMPTY && base != VT_NULL) ||
               base == (VT_ARRAY | VT_VARIANT);
    }
    return IsKnownValueType(vt) || vt == (VT_ARRAY | VT_VARIANT);
}

// Reads the value a by-reference VARIANT points at into `out`, which then borrows it (owns nothing).
// E_INVALIDARG for a null reference, DISP_E_BADVARTYPE for a reference to a reference.
HRESULT Dereference(const VARIANT& ref, VARIANT& out);

}  // namespace tessel::variant_detail
