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

bool DirectoryIsWritable(const std::string& directory) {
    // Permissions on Windows are whatever the folder's ACL says; creating a file is the only sure answer.
    const std::wstring probe = win::Widen(directory) + L"\\.tessel-write-probe";
    const HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_FILE_EXISTS;
    ::CloseHandle(h);
    return true;
}

}  // namespace tessel
