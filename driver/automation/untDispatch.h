#pragma once
// The late-bound face of the driver's dual interfaces, derived from the member lists: name lookup and
// Invoke, which finds the member's row once, checks the call's form, converts the argument to the member's
// type and hands the row to the object, as a type library's dispatch does.

#include <cstddef>
#include <type_traits>

#include "driver/automation/TesselDrv_TLB.h"

// What Invoke needs of an object, by the row of a member in TesselMembers. `value` holds (or receives) a
// value of the member's VARTYPE; each returns the member's own HRESULT. CallMember's `value` is null for
// AboutBox, which yields nothing.
class TMemberCalls {
  public:
    virtual HRESULT GetMember(std::size_t row, VARIANT& value) = 0;
    virtual HRESULT PutMember(std::size_t row, const VARIANT& value) = 0;
    virtual HRESULT CallMember(std::size_t row, LONG* value) = 0;

  protected:
    ~TMemberCalls() = default;
};

// Any ITesselDriver3 reached through its vtable slots (for ITypeInfo::Invoke on an instance).
class TSlotCalls final : public TMemberCalls {
  public:
    explicit TSlotCalls(ITesselDriver3& target) : target_(target) {}
    HRESULT GetMember(std::size_t row, VARIANT& value) override;
    HRESULT PutMember(std::size_t row, const VARIANT& value) override;
    HRESULT CallMember(std::size_t row, LONG* value) override;

  private:
    ITesselDriver3& target_;
};

// GetIDsOfNames over the members of ITesselDriver3: the first name is a member's English or Russian name,
// without regard to case, read up to its NUL (names are plain OLE strings, not BSTRs). Members take no named
// arguments, so further names are unknown. DISP_E_UNKNOWNNAME (with DISPID_UNKNOWN in every unknown slot),
// DISP_E_UNKNOWNINTERFACE for a riid other than IID_NULL, E_INVALIDARG for null arrays.
HRESULT TesselGetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* dispIds);

// Invoke on `target`:
// - DISP_E_MEMBERNOTFOUND: unknown DISPID, or a form the member lacks (a put of a read-only property, a
//   method called without DISPATCH_METHOD);
// - DISP_E_BADPARAMCOUNT: arguments to a method or getter, more than one to a setter;
// - DISP_E_PARAMNOTOPTIONAL: a setter without its value; DISP_E_PARAMNOTFOUND: a setter's value not named
//   DISPID_PROPERTYPUT; DISP_E_NONAMEDARGS: named arguments to a method or getter;
// - DISP_E_TYPEMISMATCH / DISP_E_OVERFLOW: a value that does not convert to the member's type (*argErr 0).
// Otherwise the member's own result (S_OK), with a method's value or a property's value in *result.
HRESULT TesselInvoke(TMemberCalls& target, DISPID dispId, REFIID riid, WORD flags, DISPPARAMS* params,
                     VARIANT* result, UINT* argErr);

// A value of a slot's C type (LONG, BSTR, double, CY, VARIANT_BOOL) put into, or read from, a VARIANT of the
// member's type `vt`; a BSTR changes owner, it is not copied.
template <typename T>
void TesselStore(VARIANT& v, VARTYPE vt, T value) {
    v.vt = vt;
    if constexpr (std::is_same_v<T, LONG>) v.lVal = value;
    if constexpr (std::is_same_v<T, BSTR>) v.bstrVal = value;
    if constexpr (std::is_same_v<T, double>) v.dblVal = value;  // a DATE travels in the same member
    if constexpr (std::is_same_v<T, CY>) v.cyVal = value;
    if constexpr (std::is_same_v<T, VARIANT_BOOL>) v.boolVal = value;
}
template <typename T>
T TesselLoad(const VARIANT& v) {
    if constexpr (std::is_same_v<T, LONG>) return v.lVal;
    if constexpr (std::is_same_v<T, BSTR>) return v.bstrVal;
    if constexpr (std::is_same_v<T, double>) return v.vt == VT_DATE ? v.date : v.dblVal;
    if constexpr (std::is_same_v<T, CY>) return v.cyVal;
    if constexpr (std::is_same_v<T, VARIANT_BOOL>) return v.boolVal;
}
