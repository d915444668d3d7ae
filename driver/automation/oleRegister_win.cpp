// The type library's registration on Windows: the system's own, over the library embedded in the server
// (resource TYPELIB 1), with the server's folder as its help folder.
#include <filesystem>
#include <system_error>

#include "common/platform/Win32Support.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "driver/automation/oleRegisterKeys.h"

namespace {

// The platform the library is registered for: the one this server runs on.
constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

void Check(HRESULT hr, const char* what) {
    if (FAILED(hr)) throw std::system_error(static_cast<int>(hr), tessel::win::SystemCategory(), what);
}

}  // namespace

void RegisterTypeLibrary(ClassesWriter& /*writer*/, const std::string& libraryPath) {
    std::wstring path = tessel::win::Widen(libraryPath);
    ITypeLib* library = nullptr;
    Check(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library), "LoadTypeLibEx");
    std::wstring helpDir = std::filesystem::path(path).parent_path().wstring();
    // Some system headers declare both paths without const.
    const HRESULT hr = ::RegisterTypeLib(library, path.data(), helpDir.data());
    library->Release();
    Check(hr, "RegisterTypeLib");
}

void UnregisterTypeLibrary() {
    const HRESULT hr = ::UnRegisterTypeLib(LIBID_TesselDrv, TesselDrvMajorVersion, TesselDrvMinorVersion,
                                           TesselDrvLcid, kSysKind);
    // Not registered (any more) is no failure.
    if (hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_CANTLOADLIBRARY || hr == TYPE_E_LIBNOTREGISTERED) return;
    Check(hr, "UnRegisterTypeLib");
}
