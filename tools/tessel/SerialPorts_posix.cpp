#include "tools/tessel/SerialPorts.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

namespace tessel::cli {
namespace {

namespace fs = std::filesystem;

bool HasPrefixAndNumber(const std::string& name, const std::string& prefix) {
    return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
           std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

// A ttyS node stands for a port only when the kernel found a UART there; type 0 is none.
bool UartPresent(const SerialRoots& roots, const std::string& name) {
    std::ifstream in(roots.sysTty + "/" + name + "/type");
    int type = -1;
    if (!(in >> type)) return true;  // nothing to tell by: listed
    return type != 0;
}

// "ttyUSB10" after "ttyUSB9": letters compared as text, digit runs as numbers.
bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) &&
            std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            const std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::string GroupName(gid_t gid) {
    std::vector<char> buf(16384);
    group gr{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &gr, buf.data(), buf.size(), &found) == 0 && found != nullptr)
        return found->gr_name;
    return std::to_string(gid);
}

std::string AccessProblem(const std::string& node) {
    if (::access(node.c_str(), R_OK | W_OK) == 0) return {};
    if (errno != EACCES && errno != EPERM) return {};
    struct stat st {};
    if (::stat(node.c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP) &&
        st.st_gid != 0)
        return "no permission: join the group " + GroupName(st.st_gid);
    return "no permission: only its owner may open it";
}

}  // namespace

std::string DeviceNodeOf(const std::string& path) {
    std::error_code ec;
    const fs::path resolved = fs::canonical(path, ec);
    return ec ? path : resolved.string();
}

std::vector<SerialDevice> ListSerialDevices(const SerialRoots& roots) {
    std::map<std::string, SerialDevice> byNode;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(roots.dev, ec)) {
        const std::string name = entry.path().filename().string();
        const bool usb = HasPrefixAndNumber(name, "ttyUSB") || HasPrefixAndNumber(name, "ttyACM");
        if (usb || (HasPrefixAndNumber(name, "ttyS") && UartPresent(roots, name))) {
            const std::string node = DeviceNodeOf(entry.path().string());
            byNode[node].device = node;
        }
    }
    for (const auto& entry : fs::directory_iterator(roots.dev + "/serial/by-id", ec)) {
        const std::string node = DeviceNodeOf(entry.path().string());
        if (node == entry.path().string()) continue;  // a link that leads nowhere
        SerialDevice& device = byNode[node];
        device.device = node;
        device.names.push_back(entry.path().string());
    }
    std::vector<SerialDevice> devices;
    for (auto& [node, device] : byNode) {
        std::sort(device.names.begin(), device.names.end());
        device.problem = AccessProblem(node);
        devices.push_back(std::move(device));
    }
    std::sort(devices.begin(), devices.end(), [](const SerialDevice& a, const SerialDevice& b) {
        return NaturalLess(fs::path(a.device).filename().string(), fs::path(b.device).filename().string());
    });
    return devices;
}

}  // namespace tessel::cli
