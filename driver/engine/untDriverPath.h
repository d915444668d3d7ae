#pragma once
// Where the driver's own library lives, as its registration says.

#include <string>

// The directory (with a trailing slash) of the library registered for the driver's class: the default value
// of HKEY_CLASSES_ROOT "CLSID\{class}\InProcServer32" (or "...\LocalServer32" when the first key is absent),
// one pair of surrounding double quotes removed. Empty when the class is not registered or the file does
// not exist. Never throws.
std::string RegisteredDriverDirectory();
