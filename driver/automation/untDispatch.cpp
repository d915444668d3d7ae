#include "driver/automation/untDispatch.h"

#include <type_traits>

#include "common/com/ComText.h"

namespace {

struct TCall {
    WORD flags;
    DISPPARAMS* params;
    VARIANT* result;
    UINT* argErr;
};

bool Wants(const TCall& call, WORD flag) {
    return (call.flags & flag) != 0;
}

// Methods and getters take nothing.
HRESULT CheckNoArguments(const TCall& call) {
    if (call.params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (call.params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    return S_OK;
}

// A value of the slot's C type in a VARIANT and back.
void Store(VARIANT& v, LONG value) {
    v.vt = VT_I4;
    v.lVal = value;
}
void Store(VARIANT& v, BSTR value) {
    v.vt = VT_BSTR;
    v.bstrVal = value;
}
void Store(VARIANT& v, double value) {
    v.vt = VT_R8;
    v.dblVal = value;
}
void Store(VARIANT& v, CY value) {
    v.vt = VT_CY;
    v.cyVal = value;
}
void Store(VARIANT& v, VARIANT_BOOL value) {
    v.vt = VT_BOOL;
    v.boolVal = value;
}

template <typename T>
T Load(const VARIANT& v) {
    if constexpr (std::is_same_v<T, LONG>) return v.lVal;
    if constexpr (std::is_same_v<T, BSTR>) return v.bstrVal;
    if constexpr (std::is_same_v<T, double>) return v.vt == VT_DATE ? v.date : v.dblVal;
    if constexpr (std::is_same_v<T, CY>) return v.cyVal;
    if constexpr (std::is_same_v<T, VARIANT_BOOL>) return v.boolVal;
}

template <typename Slot>
HRESULT InvokeMethod(const TCall& call, Slot slot) {
    if (!Wants(call, DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (HRESULT hr = CheckNoArguments(call); FAILED(hr)) return hr;
    LONG value = 0;
    const HRESULT hr = slot(&value);
    if (call.result != nullptr && SUCCEEDED(hr)) {
        VariantClear(call.result);
        Store(*call.result, value);
    }
    return hr;
}

template <typename Slot>
HRESULT InvokeProcedure(const TCall& call, Slot slot) {
    if (!Wants(call, DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (HRESULT hr = CheckNoArguments(call); FAILED(hr)) return hr;
    if (call.result != nullptr) VariantClear(call.result);
    return slot();
}

// A property's get or put. `vt` is the member's type (DATE and double share a C type).
template <typename T, typename Get, typename Put>
HRESULT InvokeProperty(const TCall& call, VARTYPE vt, Get get, Put put) {
    if (Wants(call, DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if constexpr (std::is_same_v<Put, std::nullptr_t>) {
            return DISP_E_MEMBERNOTFOUND;
        } else {
            DISPPARAMS& p = *call.params;
            if (p.cArgs == 0) return DISP_E_PARAMNOTOPTIONAL;
            if (p.cArgs > 1) return DISP_E_BADPARAMCOUNT;
            if (p.cNamedArgs != 1 || p.rgdispidNamedArgs == nullptr ||
                p.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTFOUND;
            if (p.rgvarg == nullptr) return E_INVALIDARG;
            VARIANT source;
            VARIANT value;
            VariantInit(&source);
            VariantInit(&value);
            // By-reference arguments are read through their reference first.
            HRESULT hr = VariantCopyInd(&source, &p.rgvarg[0]);
            if (SUCCEEDED(hr)) hr = VariantChangeType(&value, &source, 0, vt);
            VariantClear(&source);
            if (FAILED(hr)) {
                VariantClear(&value);
                if (call.argErr != nullptr) *call.argErr = 0;
                return hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
            }
            hr = put(Load<T>(value));
            VariantClear(&value);
            return hr;
        }
    }
    if (!Wants(call, DISPATCH_PROPERTYGET | DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (HRESULT hr = CheckNoArguments(call); FAILED(hr)) return hr;
    T value{};
    const HRESULT hr = get(&value);
    if (FAILED(hr)) return hr;
    if (call.result == nullptr) {
        if constexpr (std::is_same_v<T, BSTR>) SysFreeString(value);
        return hr;
    }
    VariantClear(call.result);
    Store(*call.result, value);
    call.result->vt = vt;  // a DATE travels in the double member
    return hr;
}

}  // namespace

HRESULT TesselGetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* dispIds) {
    if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (count == 0) return S_OK;
    if (names == nullptr || dispIds == nullptr) return E_INVALIDARG;
    HRESULT hr = S_OK;
    // Plain NUL-terminated names, not BSTRs: a client may pass a literal.
    const TTesselMember* member = FindTesselMember(tessel::OleStrToUtf8(names[0]));
    dispIds[0] = member != nullptr ? member->dispId : DISPID_UNKNOWN;
    if (member == nullptr) hr = DISP_E_UNKNOWNNAME;
    for (UINT i = 1; i < count; ++i) {
        dispIds[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

// One case per member, expanded from the lists: each calls the member's own slot.
#define TESSEL_INVOKE_Method_Long(Name, Type) InvokeMethod(call, [&](LONG* v) { return target.Name(v); })
#define TESSEL_INVOKE_Method_None(Name, Type) InvokeProcedure(call, [&] { return target.Name(); })
#define TESSEL_INVOKE_KIND_Method(Name, Type) TESSEL_INVOKE_Method_##Type(Name, Type)
#define TESSEL_INVOKE_KIND_Get(Name, Type)      \
    InvokeProperty<TESSEL_CTYPE_##Type>(        \
        call, TesselVarType(TMemberType::Type), \
        [&](TESSEL_CTYPE_##Type* v) { return target.get_##Name(v); }, nullptr)
#define TESSEL_INVOKE_KIND_GetPut(Name, Type)                         \
    InvokeProperty<TESSEL_CTYPE_##Type>(                              \
        call, TesselVarType(TMemberType::Type),                       \
        [&](TESSEL_CTYPE_##Type* v) { return target.get_##Name(v); }, \
        [&](TESSEL_CTYPE_##Type v) { return target.put_##Name(v); })
#define TESSEL_INVOKE_CASE(dispId, Name, name1C, Kind, Type, Width) \
    case dispId:                                                    \
        return TESSEL_INVOKE_KIND_##Kind(Name, Type);

HRESULT TesselInvoke(ITesselDriver3& target, DISPID dispId, REFIID riid, WORD flags, DISPPARAMS* params,
                     VARIANT* result, UINT* argErr) {
    if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    const TCall call{flags, params != nullptr ? params : &none, result, argErr};
    switch (dispId) {
        TESSEL_MEMBERS_ITesselDriver(TESSEL_INVOKE_CASE) TESSEL_MEMBERS_ITesselDriver2(TESSEL_INVOKE_CASE)
            TESSEL_MEMBERS_ITesselDriver3(TESSEL_INVOKE_CASE) default : return DISP_E_MEMBERNOTFOUND;
    }
}
