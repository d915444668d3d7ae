#pragma once
// Windows: the scalar types, result codes and GUIDs of COM are the SDK's. The build defines
// WIN32_LEAN_AND_MEAN, NOMINMAX and UNICODE (cmake/Windows.cmake).

#include <windows.h>

#include <objbase.h>
