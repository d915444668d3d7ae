#pragma once
// The property page protocol of OLE controls (IPropertyPage, IPropertyPageSite and the window types their
// members take): the system's (see ComTypes.h for where they come from).

#include "common/com/ComInterfaces.h"

#include "SystemPropertyPage.h"
