// Without a system type library, the object describes itself from the member lists.
#include "driver/automation/untTypeInfo.h"

HRESULT GetDispatchTypeInfo(ITypeInfo** out) {
    return GetTesselTypeInfo(out);
}
