#include "common/platform/PortMap.h"

#include "common/platform/Registry.h"

namespace tessel {

std::string PortValueName(int portNumber) {
    return "COM" + std::to_string(portNumber);
}

std::string MappedPortPath(int portNumber) {
    Registry registry;
    const std::string name = PortValueName(portNumber);
    if (!registry.OpenKey(kPortsKey, false) || !registry.ValueExists(name)) return {};
    return registry.ReadString(name);
}

std::map<int, std::string> MappedPorts() {
    std::map<int, std::string> ports;
    Registry registry;
    if (!registry.OpenKey(kPortsKey, false)) return ports;
    for (const std::string& name : registry.GetValueNames()) {
        // "COM" and one to three digits without a leading zero; the case of the letters does not matter.
        if (name.size() < 4 || name.size() > 6 || (name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' ||
            (name[2] | 0x20) != 'm' || name[3] == '0')
            continue;
        int number = 0;
        bool digits = true;
        for (std::size_t i = 3; i < name.size(); ++i) {
            digits = digits && name[i] >= '0' && name[i] <= '9';
            number = number * 10 + (name[i] - '0');
        }
        if (!digits || number > 255 || registry.GetDataType(name) != RegValueType::String) continue;
        std::string path = registry.ReadString(name);
        if (!path.empty()) ports[number] = std::move(path);
    }
    return ports;
}

void MapPort(int portNumber, const std::string& path) {
    Registry registry;
    registry.OpenKey(kPortsKey, true);
    registry.WriteString(PortValueName(portNumber), path);
}

bool UnmapPort(int portNumber) {
    Registry registry;
    if (!registry.OpenKey(kPortsKey, false)) return false;
    return registry.DeleteValue(PortValueName(portNumber));
}

}  // namespace tessel
