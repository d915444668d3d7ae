// One-dimensional arrays of VARIANT. The header and the element block are separate allocations owned by the
// array; SafeArrayDestroy takes both back.
#include <limits>
#include <memory>
#include <new>

#include "common/com/OleAuto.h"

namespace {

// Far beyond any array the interface passes; keeps the element block's size from overflowing.
constexpr ULONG kMaxElements = 1u << 24;

VARIANT* Elements(SAFEARRAY* a) {
    return static_cast<VARIANT*>(a->pvData);
}

bool IsVariantVector(const SAFEARRAY* a) {
    return a != nullptr && a->cDims == 1 && (a->fFeatures & FADF_VARIANT) != 0;
}

// The element at `indices[0]`, or null outside the bounds.
VARIANT* ElementAt(SAFEARRAY* a, const LONG* indices) {
    const std::int64_t offset =
        static_cast<std::int64_t>(indices[0]) - static_cast<std::int64_t>(a->rgsabound[0].lLbound);
    if (offset < 0 || offset >= static_cast<std::int64_t>(a->rgsabound[0].cElements)) return nullptr;
    return Elements(a) + offset;
}

}  // namespace

extern "C" {

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* bounds) {
    if (vt != VT_VARIANT || cDims != 1 || bounds == nullptr) return nullptr;
    const ULONG count = bounds[0].cElements;
    if (count > kMaxElements) return nullptr;
    try {
        auto header = std::make_unique<SAFEARRAY>();
        auto data = std::make_unique<VARIANT[]>(count);  // value-initialised: every element VT_EMPTY
        header->cDims = 1;
        header->fFeatures = FADF_VARIANT | FADF_HAVEVARTYPE;
        header->cbElements = sizeof(VARIANT);
        header->cLocks = 0;
        header->rgsabound[0] = bounds[0];
        header->pvData = data.release();
        return header.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements) {
    SAFEARRAYBOUND bound{elements, lowerBound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* a) {
    if (a == nullptr) return S_OK;
    if (!IsVariantVector(a)) return E_INVALIDARG;
    if (a->cLocks != 0) return DISP_E_ARRAYISLOCKED;
    std::unique_ptr<SAFEARRAY> header(a);
    std::unique_ptr<VARIANT[]> data(Elements(a));
    for (ULONG i = 0; i < a->rgsabound[0].cElements; ++i) VariantClear(&data[i]);
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** copy) {
    if (copy == nullptr) return E_INVALIDARG;
    *copy = nullptr;
    if (source == nullptr) return S_OK;
    if (!IsVariantVector(source)) return E_INVALIDARG;
    SAFEARRAY* made = SafeArrayCreate(VT_VARIANT, 1, source->rgsabound);
    if (made == nullptr) return E_OUTOFMEMORY;
    for (ULONG i = 0; i < source->rgsabound[0].cElements; ++i) {
        const HRESULT hr = VariantCopy(Elements(made) + i, Elements(source) + i);
        if (FAILED(hr)) {
            SafeArrayDestroy(made);
            return hr;
        }
    }
    *copy = made;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* a) {
    return a == nullptr ? 0 : a->cDims;
}

UINT SafeArrayGetElemsize(SAFEARRAY* a) {
    return a == nullptr ? 0 : a->cbElements;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* a, VARTYPE* vt) {
    if (a == nullptr || vt == nullptr) return E_INVALIDARG;
    if (!IsVariantVector(a)) return DISP_E_BADVARTYPE;
    *vt = VT_VARIANT;
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* a, UINT dim, LONG* bound) {
    if (a == nullptr || bound == nullptr) return E_INVALIDARG;
    if (dim != 1 || a->cDims != 1) return DISP_E_BADINDEX;
    *bound = a->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* a, UINT dim, LONG* bound) {
    if (a == nullptr || bound == nullptr) return E_INVALIDARG;
    if (dim != 1 || a->cDims != 1) return DISP_E_BADINDEX;
    // An empty array has its upper bound one below the lower, as the system reports it.
    const std::int64_t upper = static_cast<std::int64_t>(a->rgsabound[0].lLbound) +
                               static_cast<std::int64_t>(a->rgsabound[0].cElements) - 1;
    if (upper > std::numeric_limits<LONG>::max()) return DISP_E_OVERFLOW;
    *bound = static_cast<LONG>(upper);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* a, LONG* indices, void* value) {
    if (a == nullptr || indices == nullptr || value == nullptr) return E_INVALIDARG;
    if (!IsVariantVector(a)) return E_INVALIDARG;
    VARIANT* element = ElementAt(a, indices);
    if (element == nullptr) return DISP_E_BADINDEX;
    auto* out = static_cast<VARIANT*>(value);
    VariantInit(out);  // the caller's VARIANT is taken as uninitialised
    return VariantCopy(out, element);
}

HRESULT SafeArrayPutElement(SAFEARRAY* a, LONG* indices, void* value) {
    if (a == nullptr || indices == nullptr || value == nullptr) return E_INVALIDARG;
    if (!IsVariantVector(a)) return E_INVALIDARG;
    VARIANT* element = ElementAt(a, indices);
    if (element == nullptr) return DISP_E_BADINDEX;
    return VariantCopy(element, static_cast<const VARIANT*>(value));
}

HRESULT SafeArrayLock(SAFEARRAY* a) {
    if (a == nullptr) return E_INVALIDARG;
    if (a->cLocks == std::numeric_limits<ULONG>::max()) return E_UNEXPECTED;
    ++a->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* a) {
    if (a == nullptr) return E_INVALIDARG;
    if (a->cLocks == 0) return E_UNEXPECTED;
    --a->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* a, void** data) {
    if (a == nullptr || data == nullptr) return E_INVALIDARG;
    const HRESULT hr = SafeArrayLock(a);
    if (FAILED(hr)) return hr;
    *data = a->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* a) {
    return SafeArrayUnlock(a);
}

}  // extern "C"
