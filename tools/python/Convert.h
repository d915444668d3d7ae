#pragma once
// Values between Python and OLE Automation, both ways.
//
//   Python                               VARIANT
//   None                                 VT_EMPTY (to Python: VT_EMPTY and VT_NULL)
//   bool                                 VT_BOOL
//   int                                  VT_I4, or VT_I8 beyond 32 bits (to Python: every integer type)
//   float                                VT_R8 (to Python: VT_R4 and VT_R8)
//   decimal.Decimal                      VT_CY, exact to 1/10000; more decimals are rounded half away from
//                                        zero, as the register rounds money
//   str                                  VT_BSTR
//   bytes, bytearray, memoryview         VT_BSTR, one character per byte under Windows-1251 (to Python:
//                                        the BSTR of a byte-string member)
//   datetime.datetime / date / time      VT_DATE (to Python: datetime.datetime); an aware datetime is taken
//                                        in local time; the time alone lies on day zero, 30.12.1899
//   tessel.Dispatch                      VT_DISPATCH (to Python: VT_DISPATCH and a VT_UNKNOWN that offers
//                                        IDispatch)
//                                        VT_ARRAY | VT_VARIANT to Python: a tuple
// Money never passes through a binary float on its way between Decimal and VT_CY.

#include <pybind11/pybind11.h>

#include "common/com/OleAuto.h"
#include "common/com/OwnedVariant.h"

namespace tessel::python {

using tessel::OwnedVariant;

// Sets the empty `out` to the VARIANT form of `value`, argument number `argument` of a call. Throws
// ComFailure(DISP_E_OVERFLOW) naming the argument for a value beyond its VARIANT type (an int beyond 64 bits,
// an amount beyond the currency range, a date before the year 100), and pybind11::type_error for an object
// that has no VARIANT form.
void ToVariant(pybind11::handle value, VARIANT& out, int argument);

// The Python value of `value` (read through its reference when it is one); `bytes` turns a BSTR into bytes.
// Throws ComFailure(DISP_E_BADVARTYPE) for a type without a Python form and ComFailure(DISP_E_OVERFLOW) for
// a date outside the years 1 to 9999.
pybind11::object FromVariant(const VARIANT& value, bool bytes = false);

}  // namespace tessel::python
