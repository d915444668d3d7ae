// The serial devices of Windows: the COM ports the system's device map lists. A COM name is its own node.
#include <windows.h>

#include <algorithm>

#include "common/platform/Win32Support.h"
#include "tools/tessel/SerialPorts.h"

namespace tessel::cli {

namespace {

int ComNumber(const std::string& name) {
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0) return 0;
    try {
        return std::stoi(name.substr(3));
    } catch (const std::exception&) {
        return 0;
    }
}

}  // namespace

std::vector<SerialDevice> ListSerialDevices(const SerialRoots& /*roots: Linux's folders*/) {
    std::vector<SerialDevice> devices;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return devices;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        wchar_t value[256];
        DWORD nameLength = 256;
        DWORD valueBytes = sizeof(value) - sizeof(wchar_t);
        DWORD type = 0;
        const LONG rc = ::RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                                        reinterpret_cast<BYTE*>(value), &valueBytes);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
        value[valueBytes / sizeof(wchar_t)] = L'\0';
        devices.push_back({win::Narrow(value), {}, {}});
    }
    ::RegCloseKey(key);
    std::sort(devices.begin(), devices.end(), [](const SerialDevice& a, const SerialDevice& b) {
        return ComNumber(a.device) < ComNumber(b.device);
    });
    return devices;
}

std::string DeviceNodeOf(const std::string& path) {
    return path;
}

}  // namespace tessel::cli
