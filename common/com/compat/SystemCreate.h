#pragma once
// Linux compatibility declarations (on Windows the SDK's headers stand here). Class creation from the
// registration in the HKEY_CLASSES_ROOT hive of the settings store:
//   "<ProgID>\CLSID"                  default value: the class's CLSID in registry form;
//   "CLSID\{...}\InProcServer32"      default value: the in-process server library's path (quotes allowed).
// The library is loaded once per path and stays loaded for the life of the process; its exported
// DllGetClassObject gives the class factory.

#include <string>

#include "common/com/ComInterfaces.h"
#include "common/com/ComTypes.h"

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
inline constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
inline constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
inline constexpr DWORD COINIT_MULTITHREADED = 0x0;

// The exports of an in-process server.
using LPFNGETCLASSOBJECT = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using LPFNCANUNLOADNOW = HRESULT(STDAPICALLTYPE*)();

extern "C" {

// Apartments need no set-up here; these succeed so that portable clients run unchanged.
HRESULT CoInitialize(LPVOID reserved);
HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
void CoUninitialize();

// The CLSID registered for `progId`. CO_E_CLASSSTRING when the ProgID is not registered or its value is not
// a CLSID, REGDB_E_READREGDB when the store cannot be read, E_INVALIDARG for null arguments.
HRESULT CLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid);
// The class factory (or another interface `riid` of it) of an in-process server. *ppv is null on failure:
// REGDB_E_CLASSNOTREG (no InProcServer32 registration, or no in-process context requested),
// REGDB_E_READREGDB (the store cannot be read), CO_E_DLLNOTFOUND (the library cannot be loaded),
// CO_E_ERRORINDLL (it lacks DllGetClassObject), or the library's own result.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsContext, LPVOID serverInfo, REFIID riid, LPVOID* ppv);
// CoGetClassObject, then IClassFactory::CreateInstance; the factory is released before returning.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID riid, LPVOID* ppv);
// The CLSID in registry form, in task memory (CoTaskMemFree).
HRESULT StringFromCLSID(REFCLSID clsid, LPOLESTR* text);

}  // extern "C"

namespace tessel {

// Loads the library at `path` (kept for the life of the process) and returns its DllGetClassObject.
// Null on failure, with the reason in LastClassCreationError(); `missingExport` tells the two failures apart.
LPFNGETCLASSOBJECT LoadInProcServer(const std::string& path, bool& missingExport);

// Records the reason of a failure for LastClassCreationError().
void SetClassCreationError(std::string text);

}  // namespace tessel
