// Modules on Windows: the system loader, and the version resource of a module's file.
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "common/platform/Module.h"
#include "common/platform/Win32Support.h"

namespace tessel {

std::string ModuleFileName(const std::string& name) {
    return name + ".dll";
}

namespace {

HMODULE ModuleOf(const void* address) {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(address), &module))
        throw std::runtime_error("the loader does not name the module: " + win::ErrorText(::GetLastError()));
    return module;
}

std::wstring WidePathOf(const void* address) {
    const HMODULE module = ModuleOf(address);
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) throw std::runtime_error("GetModuleFileName: " + win::ErrorText(::GetLastError()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    // The loader may hold a short (8.3) name; the long form is the one the registration shows.
    const DWORD longLength = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    if (longLength == 0) return path;
    std::wstring longPath(longLength, L'\0');
    const DWORD written = ::GetLongPathNameW(path.c_str(), longPath.data(), longLength);
    if (written == 0 || written >= longLength) return path;
    longPath.resize(written);
    return longPath;
}

}  // namespace

std::string ModulePathOf(const void* address) {
    return win::Narrow(WidePathOf(address));
}

std::optional<std::string> ModuleFileVersionOf(const void* address) {
    const std::wstring path = WidePathOf(address);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<BYTE> info(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (size == 0 || !::GetFileVersionInfoW(path.c_str(), 0, size, info.data()) ||
        !::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
        fixed == nullptr || fixedSize < sizeof(VS_FIXEDFILEINFO)) {
        return "0.0.0.0";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                  LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                  LOWORD(fixed->dwFileVersionLS));
    return text;
}

void* LoadModule(const std::string& path, std::string& error) {
    // The module's own folder is searched for what it needs, as for a registered server.
    HMODULE module = ::LoadLibraryExW(win::Widen(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) error = win::ErrorText(::GetLastError()) + " (" + path + ")";
    return module;
}

void* ModuleExport(void* module, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

}  // namespace tessel
