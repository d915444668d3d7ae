#pragma once
// Windows: IUnknown, IDispatch, ITypeInfo and the connection-point interfaces (with their CONNECT_E_ results)
// are the SDK's.

#include <oaidl.h>
#include <ocidl.h>
#include <olectl.h>
#include <unknwn.h>
