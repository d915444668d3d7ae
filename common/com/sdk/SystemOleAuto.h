#pragma once
// Windows: BSTR, VARIANT, SAFEARRAY and their functions are the SDK's, implemented by oleaut32.

#include <oleauto.h>
