#pragma once
// Windows: the property page interfaces and the window types are the SDK's.

#include <ocidl.h>
#include <olectl.h>
