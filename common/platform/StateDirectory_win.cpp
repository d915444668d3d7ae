// Where the driver keeps the files it changes on Windows: "tessel" in the user's local application data.
#include <windows.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "common/platform/StateDirectory.h"
#include "common/platform/Win32Support.h"

namespace tessel {

std::string StateDirectory() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) throw std::runtime_error("LOCALAPPDATA is not set");
    const std::filesystem::path directory = std::filesystem::path(buffer) / L"tessel";
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (ec) throw std::system_error(ec, win::Narrow(directory.wstring()));
    return win::Narrow(directory.wstring());
}

bool MayKeepFilesIn(const std::string& directory) {
    if (directory.empty() || IsSystemFolder(directory)) return false;
    // Permissions on Windows are whatever the folder's ACL says; creating a file is the only sure answer.
    const std::wstring probe =
        (std::filesystem::path(win::Widen(directory)) / L".tessel-write-probe").wstring();
    const HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_EXISTS;
    ::CloseHandle(h);
    return true;
}

bool IsSystemFolder(const std::string& directory) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::weakly_canonical(win::Widen(directory), ec);
    if (ec) path = win::Widen(directory);
    const std::wstring folder = path.wstring();
    for (const wchar_t* variable : {L"SystemRoot", L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"}) {
        wchar_t buffer[MAX_PATH + 1];
        const DWORD length = ::GetEnvironmentVariableW(variable, buffer, MAX_PATH + 1);
        if (length == 0 || length > MAX_PATH) continue;
        std::wstring root(buffer, length);
        while (!root.empty() && (root.back() == L'\\' || root.back() == L'/')) root.pop_back();
        if (root.empty() || folder.size() < root.size()) continue;
        // Names compare without case, as the file system does.
        if (::CompareStringOrdinal(folder.c_str(), static_cast<int>(root.size()), root.c_str(),
                                   static_cast<int>(root.size()), TRUE) != CSTR_EQUAL)
            continue;
        if (folder.size() == root.size() || folder[root.size()] == L'\\' || folder[root.size()] == L'/')
            return true;
    }
    return false;
}

}  // namespace tessel
