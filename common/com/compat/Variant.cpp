#include <cstring>

#include "common/com/ComInterfaces.h"
#include "common/com/compat/VariantInternal.h"

using tessel::variant_detail::Dereference;
using tessel::variant_detail::IsKnownType;

namespace tessel::variant_detail {

HRESULT Dereference(const VARIANT& ref, VARIANT& out) {
    out = VARIANT{};
    const VARTYPE base = static_cast<VARTYPE>(ref.vt & ~VT_BYREF);
    if (ref.byref == nullptr) return E_INVALIDARG;
    if (base == VT_VARIANT) {
        // One level only, as the system does: a reference to a reference is not followed further.
        out = *ref.pvarVal;
        return (out.vt & VT_BYREF) != 0 ? DISP_E_BADVARTYPE : S_OK;
    }
    out.vt = base;
    switch (base) {
        case VT_I1:
        case VT_UI1:
            out.bVal = *ref.pbVal;
            break;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            out.iVal = *ref.piVal;
            break;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
            out.lVal = *ref.plVal;
            break;
        case VT_R4:
            out.fltVal = *ref.pfltVal;
            break;
        case VT_R8:
        case VT_DATE:
            out.dblVal = *ref.pdblVal;
            break;
        case VT_I8:
        case VT_UI8:
        case VT_CY:
            out.llVal = *ref.pllVal;
            break;
        case VT_BSTR:
            out.bstrVal = *ref.pbstrVal;
            break;
        case VT_DECIMAL:
            out.decVal = *ref.pdecVal;
            out.vt = VT_DECIMAL;  // the value overlays the type
            break;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            out.punkVal = *ref.ppunkVal;
            break;
        default:
            if (base == (VT_ARRAY | VT_VARIANT)) {
                out.parray = *ref.pparray;
                break;
            }
            return DISP_E_BADVARTYPE;
    }
    return S_OK;
}

}  // namespace tessel::variant_detail

extern "C" {

void VariantInit(VARIANTARG* v) {
    if (v == nullptr) return;
    std::memset(static_cast<void*>(v), 0, sizeof(VARIANT));
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* v) {
    if (v == nullptr) return E_INVALIDARG;
    if (!IsKnownType(v->vt)) return DISP_E_BADVARTYPE;
    switch (v->vt) {
        case VT_BSTR:
            SysFreeString(v->bstrVal);
            break;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            if (v->punkVal != nullptr) v->punkVal->Release();
            break;
        case VT_ARRAY | VT_VARIANT: {
            const HRESULT hr = SafeArrayDestroy(v->parray);
            if (FAILED(hr)) return hr;
            break;
        }
        default:
            break;  // plain values and references own nothing
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
    if (dest == nullptr || src == nullptr) return E_INVALIDARG;
    if (dest == src) return S_OK;
    if (!IsKnownType(src->vt)) return DISP_E_BADVARTYPE;
    HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) return hr;
    VARIANT copy = *src;
    switch (src->vt) {
        case VT_BSTR:
            if (src->bstrVal != nullptr) {
                copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
                if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
            }
            break;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            if (src->punkVal != nullptr) src->punkVal->AddRef();
            break;
        case VT_ARRAY | VT_VARIANT:
            copy.parray = nullptr;
            if (src->parray != nullptr) {
                hr = SafeArrayCopy(src->parray, &copy.parray);
                if (FAILED(hr)) return hr;
            }
            break;
        default:
            break;
    }
    *dest = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src) {
    if (dest == nullptr || src == nullptr) return E_INVALIDARG;
    if ((src->vt & VT_BYREF) == 0) return VariantCopy(dest, src);
    if (!IsKnownType(src->vt)) return DISP_E_BADVARTYPE;
    VARIANT value;
    HRESULT hr = Dereference(*src, value);
    if (FAILED(hr)) return hr;
    // `dest` may be `src`: copy into a temporary before clearing the destination.
    VARIANT copy;
    VariantInit(&copy);
    hr = VariantCopy(&copy, &value);
    if (FAILED(hr)) return hr;
    if (dest != src) {
        hr = VariantClear(dest);
        if (FAILED(hr)) {
            VariantClear(&copy);
            return hr;
        }
    }
    *dest = copy;
    return S_OK;
}

}  // extern "C"
