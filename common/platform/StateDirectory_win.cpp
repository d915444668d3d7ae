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

namespace {

// The full form of a path, with backslashes and without a trailing one; empty when it has none.
std::wstring FullPath(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH + 1, buffer, nullptr);
    if (length == 0 || length > MAX_PATH) return {};
    std::wstring full(buffer, length);
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    return full;
}

// Whether `path` is the folder `root` or lies inside it, compared as the file system does, without case.
bool IsWithin(const std::wstring& path, const std::wstring& root) {
    if (root.empty() || path.size() < root.size()) return false;
    if (::CompareStringOrdinal(path.c_str(), static_cast<int>(root.size()), root.c_str(),
                               static_cast<int>(root.size()), TRUE) != CSTR_EQUAL)
        return false;
    return path.size() == root.size() || path[root.size()] == L'\\';
}

// Whether `path` lies under one of the Program Files folders: the process's own, the 32-bit one and, for a
// 32-bit process on 64-bit Windows, the 64-bit one, which only ProgramW6432 names to it.
bool IsUnderProgramFiles(const std::wstring& path) {
    for (const wchar_t* variable : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"}) {
        wchar_t buffer[MAX_PATH + 1];
        const DWORD length = ::GetEnvironmentVariableW(variable, buffer, MAX_PATH + 1);
        if (length != 0 && length <= MAX_PATH && IsWithin(path, FullPath(buffer))) return true;
    }
    return false;
}

}  // namespace

bool MayKeepFilesIn(const std::string& directory) {
    const std::wstring full = FullPath(win::Widen(directory));
    if (full.empty() || IsUnderProgramFiles(full)) return false;
    // Permissions on Windows are whatever the folder's ACL says; creating a file is the only sure answer.
    const std::wstring probe = full + L"\\.tessel-write-probe";
    const HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_EXISTS;
    ::CloseHandle(h);
    return true;
}

}  // namespace tessel
