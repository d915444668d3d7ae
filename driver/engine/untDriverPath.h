#pragma once
// Where the driver's own library lives, as its registration says, and where it keeps its files.

#include <string>

// The directory (with a trailing slash) of the library registered for the driver's class: the default value
// of HKEY_CLASSES_ROOT "CLSID\{class}\InProcServer32" (or "...\LocalServer32" when the first key is absent),
// one pair of surrounding double quotes removed. Empty when the class is not registered or the file does
// not exist. Never throws.
std::string RegisteredDriverDirectory();

// The directory (with a trailing slash) for the driver's counters files and its default log: the registered
// library's directory when this process may keep files there (tessel::MayKeepFilesIn: a portable
// installation, a build tree, not a folder of the system's software), else the user's state folder
// (tessel::StateDirectory), so that a driver installed system-wide works for users who may not write beside
// it and leaves its folder alone for the administrator, who may. Empty when the class is not registered.
// Never throws: when the state folder cannot be made, the library's directory, where opening a file then
// fails with the system's reason.
std::string DriverFilesDirectory();
