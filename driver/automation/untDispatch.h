#pragma once
// The late-bound face of the driver's dual interfaces, derived from the member lists: name lookup and
// Invoke, which checks the call's form, converts the argument to the member's type and calls the member's
// vtable slot, as a type library's dispatch does.

#include "driver/automation/TesselDrv_TLB.h"

// GetIDsOfNames over the members of ITesselDriver3: the first name is a member's English or Russian name,
// without regard to case, read up to its NUL (names are plain OLE strings, not BSTRs). Members take no named
// arguments, so further names are unknown. DISP_E_UNKNOWNNAME (with DISPID_UNKNOWN in every unknown slot),
// DISP_E_UNKNOWNINTERFACE for a riid other than IID_NULL, E_INVALIDARG for null arrays.
HRESULT TesselGetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* dispIds);

// Invoke on `target`:
// - DISP_E_MEMBERNOTFOUND: unknown DISPID, or a form the member lacks (a put of a read-only property, a
// method
//   called without DISPATCH_METHOD);
// - DISP_E_BADPARAMCOUNT: arguments to a method or getter, more than one to a setter;
// - DISP_E_PARAMNOTOPTIONAL: a setter without its value; DISP_E_PARAMNOTFOUND: a setter's value not named
//   DISPID_PROPERTYPUT; DISP_E_NONAMEDARGS: named arguments to a method or getter;
// - DISP_E_TYPEMISMATCH / DISP_E_OVERFLOW: a value that does not convert to the member's type (*argErr 0).
// Otherwise the slot's own result (S_OK), with a method's value or a property's value in *result.
HRESULT TesselInvoke(ITesselDriver3& target, DISPID dispId, REFIID riid, WORD flags, DISPPARAMS* params,
                     VARIANT* result, UINT* argErr);
