#pragma once
// The type information of the driver's dispatch interface (ITesselDriver3 with everything it inherits),
// derived from the member lists: one function description per slot in vtable order (a read/write property
// gives its getter, then its setter), names, Russian help strings and name lookup. It is what the
// 1C:Enterprise adapter and the command-line client's member listing read.

#include "common/com/ComInterfaces.h"

// The process's one type information object (it lives for the whole process; AddRef and Release only
// count). Never fails for a non-null `out`; E_POINTER otherwise.
HRESULT GetTesselTypeInfo(ITypeInfo** out);

// The type information the object's IDispatch reports: on Windows the description of ITesselDriver3 in the
// type library embedded in the driver library (so that GetContainingTypeLib and early binding work as
// clients expect), else GetTesselTypeInfo's, which is also the fallback. E_POINTER for a null `out`.
HRESULT GetDispatchTypeInfo(ITypeInfo** out);
