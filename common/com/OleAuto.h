#pragma once
// The OLE Automation data types (BSTR, CY, DATE, VARIANT, SAFEARRAY, DISPPARAMS, EXCEPINFO) and the functions
// that create, copy, convert and free them: the system's (see ComTypes.h for where they come from).

#include "common/com/ComTypes.h"

#include "SystemOleAuto.h"
