// What doctor asks Windows about a serial port: whether \\.\COM<N> opens, and who holds it when it does not.
#include <windows.h>

#include "common/platform/Win32Support.h"
#include "tools/tessel/DoctorSystem.h"

namespace tessel::cli {

PortFacts InspectPort(int port) {
    PortFacts facts;
    facts.path = "\\\\.\\COM" + std::to_string(port);
    facts.source = "the system";
    facts.node = facts.path;
    HANDLE h = ::CreateFileW(win::Widen(facts.path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        ::CloseHandle(h);
        return facts;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
        // Windows opens a port for one program at a time and does not say which one has it.
        facts.holders.push_back("another program");
    } else {
        facts.missing = Problem{"COM" + std::to_string(port) + " does not open: " + win::ErrorText(error),
                                "plug the adapter in; tessel ports lists the COM ports of this system"};
    }
    return facts;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(win::Widen(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

bool MayWriteFile(const std::string& path) {
    HANDLE h = ::CreateFileW(win::Widen(path).c_str(), FILE_APPEND_DATA,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        ::CloseHandle(h);
        return true;
    }
    if (::GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    const auto slash = path.find_last_of("\\/");
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    const DWORD attributes = ::GetFileAttributesW(win::Widen(dir).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace tessel::cli
