#pragma once
// Registration of the in-process server in the HKEY_CLASSES_ROOT hive of the settings store, as the system's
// control framework and RegisterTypeLib write it:
//   CLSID\{driver}                 the coclass help string; InProcServer32 (library path, ThreadingModel
//                                  "Apartment"), ProgID, Control, MiscStatus (invisible at run time),
//                                  TypeLib, Version, ToolboxBitmap32
//   Addin.TesselDriver             the description; CLSID
//   CLSID\{property page}          the page's caption; InProcServer32 (library path, "Apartment")
//   TypeLib\{LIBID}\1.0            the library help string; 0\linux (library path), FLAGS, HELPDIR
//   Interface\{IID}                the three dual interfaces and the two event dispinterfaces
// The driver finds its own directory through the InProcServer32 value (RegisteredDriverDirectory).

#include <string>

#include "common/com/ComTypes.h"

// The class of the driver's property page.
inline constexpr CLSID CLSID_TesselDrvPage = {
    0xF9B8E223, 0x0785, 0x4F4E, {0x8C, 0x9F, 0xDD, 0x4E, 0x08, 0xD4, 0x2C, 0xD1}};

// Absolute, canonical path of the library this code is linked into. Throws std::runtime_error when the
// loader cannot name it or the file is gone.
std::string ServerLibraryPath();

// Writes every key above for the server library at `libraryPath` (absolute), replacing values already there.
// Throws tessel::RegistryError (or std::bad_alloc) on failure; what was written before the failure stays.
void WriteServerRegistration(const std::string& libraryPath);

// Removes every key WriteServerRegistration writes. Keys already missing are no failure; an interface key
// that another type library has taken over since stays, and the type library's key stays while another
// version of it is registered. Throws as WriteServerRegistration does.
void RemoveServerRegistration();

// The two above for this library, for DllRegisterServer and DllUnregisterServer: S_OK, or E_FAIL for any
// failure. Never throw.
HRESULT RegisterTesselServer() noexcept;
HRESULT UnregisterTesselServer() noexcept;
