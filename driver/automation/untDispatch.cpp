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

HRESULT InvokeMethod(TMemberCalls& target, std::size_t row, const TCall& call) {
    if (!Wants(call, DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (HRESULT hr = CheckNoArguments(call); FAILED(hr)) return hr;
    if (TesselMembers[row].type == TMemberType::None) {
        if (call.result != nullptr) VariantClear(call.result);
        return target.CallMember(row, nullptr);
    }
    LONG value = 0;
    const HRESULT hr = target.CallMember(row, &value);
    if (call.result != nullptr && SUCCEEDED(hr)) {
        VariantClear(call.result);
        TesselStore(*call.result, VT_I4, value);
    }
    return hr;
}

HRESULT InvokePut(TMemberCalls& target, std::size_t row, const TCall& call) {
    const TTesselMember& member = TesselMembers[row];
    if (!member.HasSetter()) return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS& p = *call.params;
    if (p.cArgs == 0) return DISP_E_PARAMNOTOPTIONAL;
    if (p.cArgs > 1) return DISP_E_BADPARAMCOUNT;
    if (p.cNamedArgs != 1 || p.rgdispidNamedArgs == nullptr || p.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
        return DISP_E_PARAMNOTFOUND;
    if (p.rgvarg == nullptr) return E_INVALIDARG;
    VARIANT source;
    VARIANT value;
    VariantInit(&source);
    VariantInit(&value);
    // By-reference arguments are read through their reference first.
    HRESULT hr = VariantCopyInd(&source, &p.rgvarg[0]);
    if (SUCCEEDED(hr)) hr = VariantChangeType(&value, &source, 0, TesselVarType(member.type));
    VariantClear(&source);
    if (FAILED(hr)) {
        VariantClear(&value);
        if (call.argErr != nullptr) *call.argErr = 0;
        return hr == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
    }
    hr = target.PutMember(row, value);
    VariantClear(&value);
    return hr;
}

HRESULT InvokeGet(TMemberCalls& target, std::size_t row, const TCall& call) {
    if (!Wants(call, DISPATCH_PROPERTYGET | DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    if (HRESULT hr = CheckNoArguments(call); FAILED(hr)) return hr;
    VARIANT value;
    VariantInit(&value);
    const HRESULT hr = target.GetMember(row, value);
    if (FAILED(hr) || call.result == nullptr) {
        VariantClear(&value);
        return hr;
    }
    VariantClear(call.result);
    *call.result = value;  // the value changes owner
    return hr;
}

// The slots of one member of an ITesselDriver3, reached by its row.
struct TSlotRow {
    HRESULT (*get)(ITesselDriver3&, VARIANT&);
    HRESULT (*put)(ITesselDriver3&, const VARIANT&);
    HRESULT (*call)(ITesselDriver3&, LONG*);
};

template <typename T, typename Slot>
HRESULT GetThrough(Slot slot, VARTYPE vt, VARIANT& value) {
    T v{};
    const HRESULT hr = slot(&v);
    if (SUCCEEDED(hr))
        TesselStore(value, vt, v);
    else if constexpr (std::is_same_v<T, BSTR>)
        SysFreeString(v);
    return hr;
}

#define TESSEL_SLOT_CALL_Long(Name) [](ITesselDriver3& t, LONG* v) { return t.Name(v); }
#define TESSEL_SLOT_CALL_None(Name) [](ITesselDriver3& t, LONG*) { return t.Name(); }
#define TESSEL_SLOT_GET(Name, Type)                                                                     \
    [](ITesselDriver3& t, VARIANT& v) {                                                                 \
        return GetThrough<TESSEL_CTYPE_##Type>([&](TESSEL_CTYPE_##Type* p) { return t.get_##Name(p); }, \
                                               TesselVarType(TMemberType::Type), v);                    \
    }
#define TESSEL_SLOT_KIND_Method(Name, Type) \
    { nullptr, nullptr, TESSEL_SLOT_CALL_##Type(Name) }
#define TESSEL_SLOT_KIND_Get(Name, Type) \
    { TESSEL_SLOT_GET(Name, Type), nullptr, nullptr }
#define TESSEL_SLOT_KIND_GetPut(Name, Type)                              \
    {                                                                    \
        TESSEL_SLOT_GET(Name, Type),                                     \
            [](ITesselDriver3& t, const VARIANT& v) {                    \
                return t.put_##Name(TesselLoad<TESSEL_CTYPE_##Type>(v)); \
            },                                                           \
            nullptr                                                      \
    }
#define TESSEL_SLOT_ROW(dispId, Name, name1C, Kind, Type, ...) TESSEL_SLOT_KIND_##Kind(Name, Type),

// clang-format off
constexpr TSlotRow kSlotRows[] = {
    TESSEL_MEMBERS_ITesselDriver(TESSEL_SLOT_ROW)
    TESSEL_MEMBERS_ITesselDriver2(TESSEL_SLOT_ROW)
    TESSEL_MEMBERS_ITesselDriver3(TESSEL_SLOT_ROW)
};
// clang-format on
static_assert(std::size(kSlotRows) == TesselMembers.size());

}  // namespace

HRESULT TSlotCalls::GetMember(std::size_t row, VARIANT& value) {
    return kSlotRows[row].get(target_, value);
}

HRESULT TSlotCalls::PutMember(std::size_t row, const VARIANT& value) {
    return kSlotRows[row].put(target_, value);
}

HRESULT TSlotCalls::CallMember(std::size_t row, LONG* value) {
    return kSlotRows[row].call(target_, value);
}

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

HRESULT TesselInvoke(TMemberCalls& target, DISPID dispId, REFIID riid, WORD flags, DISPPARAMS* params,
                     VARIANT* result, UINT* argErr) {
    if (!IsEqualGUID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    const std::optional<std::size_t> row = TesselRowOfDispId(dispId);
    if (!row) return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    const TCall call{flags, params != nullptr ? params : &none, result, argErr};
    if (TesselMembers[*row].kind == TMemberKind::Method) return InvokeMethod(target, *row, call);
    if (Wants(call, DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return InvokePut(target, *row, call);
    return InvokeGet(target, *row, call);
}
