#pragma once
// The COM interfaces the automation layer serves and calls: IUnknown, IClassFactory, IDispatch, ITypeInfo
// with its description records, and the connection-point interfaces: the system's (see ComTypes.h for where
// they come from).

#include "common/com/OleAuto.h"

#include "SystemInterfaces.h"
