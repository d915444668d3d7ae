#pragma once
// Windows: class creation is the system's, implemented by ole32 from the registry's registration.

#include <objbase.h>
