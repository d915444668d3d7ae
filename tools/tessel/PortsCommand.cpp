#include "tools/tessel/PortsCommand.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <map>
#include <optional>

#include "common/platform/PortMap.h"
#include "driver/link/CUCommAddress.h"

namespace tessel::cli {
namespace {

// The driver's port numbers.
constexpr int kFirstPort = 1;
constexpr int kLastPort = 32;

// The device path a port number stands for and where it was found, as the driver finds it.
struct PortPath {
    std::string path;
    std::string source;  // "TESSEL_COM<N>", "settings" or "default"
};

PortPath PathOf(int port, const std::map<int, std::string>& mapped, const SerialRoots& roots) {
    const std::string variable = "TESSEL_" + PortValueName(port);
    if (const char* value = std::getenv(variable.c_str()); value != nullptr && *value != '\0')
        return {value, variable};
    if (const auto it = mapped.find(port); it != mapped.end()) return {it->second, "settings"};
    return {roots.dev + "/ttyS" + std::to_string(port - 1), "default"};
}

std::optional<int> ParsePort(const std::string& text) {
    if (text.empty() || text.size() > 2 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
        return std::nullopt;
    const int port = std::stoi(text);
    if (port < kFirstPort || port > kLastPort) return std::nullopt;
    return port;
}

// What a network mapping is, for the notes.
std::string NetworkNote(const std::string& address) {
    try {
        return ParseNetworkAddress(address).kind == TNetKind::Rfc2217 ? "network, RFC 2217"
                                                                      : "network, raw TCP";
    } catch (const std::invalid_argument& e) {
        return std::string("network address not usable: ") + e.what();
    }
}

int Usage(std::ostream& err, const std::string& what) {
    err << "tessel ports: " << what << " (see tessel ports --help)\n";
    return 2;
}

void PrintRow(std::ostream& out, const std::string& ports, const std::string& device, const std::string& note,
              std::size_t portsWidth, std::size_t deviceWidth) {
    out << ports << std::string(portsWidth - ports.size() + 2, ' ') << device;
    if (!note.empty()) out << std::string(deviceWidth - device.size() + 2, ' ') << note;
    out << '\n';
}

int List(std::ostream& out, const SerialRoots& roots) {
    const std::map<int, std::string> mapped = MappedPorts();
    const std::vector<SerialDevice> devices = ListSerialDevices(roots);

    struct Row {
        std::string ports;
        std::string device;
        std::string note;
    };
    std::vector<Row> rows;
    std::vector<bool> shown(kLastPort + 1, false);
    for (const SerialDevice& device : devices) {
        Row row{"", device.device, ""};
        std::vector<std::string> notes;
        for (int port = kFirstPort; port <= kLastPort; ++port) {
            const PortPath p = PathOf(port, mapped, roots);
            if (DeviceNodeOf(p.path) != device.device) continue;
            row.ports += (row.ports.empty() ? "" : ",") + PortValueName(port);
            shown[static_cast<std::size_t>(port)] = true;
            if (p.source == "default") {
                notes.push_back(PortValueName(port) + " by default");
            } else if (p.source != "settings") {
                notes.push_back(PortValueName(port) + " through " + p.source);
            } else if (p.path != device.device) {
                notes.push_back(PortValueName(port) + " as " + p.path);
            }
        }
        for (const std::string& name : device.names) {
            if (std::none_of(notes.begin(), notes.end(),
                             [&](const std::string& n) { return n.find(name) != std::string::npos; }))
                notes.push_back(name);
        }
        if (!device.problem.empty()) notes.push_back(device.problem);
        for (const std::string& n : notes) row.note += (row.note.empty() ? "" : "; ") + n;
        if (row.ports.empty()) row.ports = "-";
        rows.push_back(std::move(row));
    }
    // Numbers mapped to something that is not a serial device of this system (a pseudo-terminal, a device
    // that is unplugged now).
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        if (shown[static_cast<std::size_t>(port)]) continue;
        const PortPath p = PathOf(port, mapped, roots);
        if (p.source == "default") continue;
        const std::string how = p.source == "settings" ? "mapped" : "through " + p.source;
        if (IsNetworkAddress(p.path)) {
            rows.push_back({PortValueName(port), p.path, how + "; " + NetworkNote(p.path)});
            continue;
        }
        std::error_code ec;
        const bool exists = std::filesystem::exists(p.path, ec);
        rows.push_back({PortValueName(port), p.path,
                        how + (exists ? "; not one of the serial devices above" : "; missing")});
    }
    if (rows.empty()) {
        out << "No serial devices found, and no COM number is mapped.\n";
        return 0;
    }
    std::size_t portsWidth = 3, deviceWidth = 6;
    for (const Row& r : rows) {
        portsWidth = std::max(portsWidth, r.ports.size());
        deviceWidth = std::max(deviceWidth, r.device.size());
    }
    PrintRow(out, "COM", "DEVICE", "NOTES", portsWidth, deviceWidth);
    for (const Row& r : rows) PrintRow(out, r.ports, r.device, r.note, portsWidth, deviceWidth);
    return 0;
}

int Map(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const SerialRoots& roots) {
    if (args.size() != 3) return Usage(err, "map takes a port number and a path");
    const auto port = ParsePort(args[1]);
    if (!port) return Usage(err, "the port number must be 1 to 32, not '" + args[1] + "'");
    std::string path = args[2];
    if (IsNetworkAddress(path)) {
        std::string address;
        try {
            address = ParseNetworkAddress(path).Text();
        } catch (const std::invalid_argument& e) {
            return Usage(err, "'" + path + "' is no network address: " + e.what());
        }
        MapPort(*port, address);
        out << PortValueName(*port) << " = " << address << " (" << NetworkNote(address) << ")\n";
        return 0;
    }
    if (path.empty() || path.front() != '/')
        return Usage(err, "the path must be absolute, not '" + path + "'");
    // A ttyUSB number changes when the adapter is plugged in again; its by-id name stays.
    const std::string node = DeviceNodeOf(path);
    std::string note;
    for (const SerialDevice& device : ListSerialDevices(roots)) {
        if (device.device == node && !device.names.empty() &&
            std::find(device.names.begin(), device.names.end(), path) == device.names.end()) {
            note = " (the stable name of " + path + ")";
            path = device.names.front();
        }
    }
    MapPort(*port, path);
    out << PortValueName(*port) << " = " << path << note << '\n';
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) out << "note: " << path << " does not exist now\n";
    return 0;
}

int Unmap(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) return Usage(err, "unmap takes a port number");
    const auto port = ParsePort(args[1]);
    if (!port) return Usage(err, "the port number must be 1 to 32, not '" + args[1] + "'");
    if (UnmapPort(*port)) {
        out << PortValueName(*port) << " is no longer mapped: it is /dev/ttyS" << *port - 1 << " again\n";
    } else {
        out << PortValueName(*port) << " was not mapped\n";
    }
    return 0;
}

// What a udev rule matches a device by: "SYMLINK==..." for a name below /dev/serial (stable), "KERNEL==..."
// for a USB serial node itself. Empty, with `why` set, for a path no rule can name.
std::string UdevMatch(const std::string& path, const SerialRoots& roots, std::string& why) {
    // Characters that udev takes for patterns or quoting cannot stand in a name matched literally.
    if (path.find_first_of("*?[]|\"\\") != std::string::npos ||
        std::any_of(path.begin(), path.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; })) {
        why = "its name holds characters a udev rule cannot match";
        return {};
    }
    const std::string dev = roots.dev + "/";
    if (path.rfind(dev + "serial/", 0) == 0) return "SYMLINK==\"" + path.substr(dev.size()) + "\"";
    const std::string node = path.rfind(dev, 0) == 0 ? path.substr(dev.size()) : std::string();
    const bool usb =
        (node.rfind("ttyUSB", 0) == 0 || node.rfind("ttyACM", 0) == 0) && node.find('/') == std::string::npos;
    if (!usb) {
        why = "not a USB serial adapter, which ModemManager does not probe";
        return {};
    }
    // The adapter's stable name, when it has one, follows it to another number when it is plugged in again.
    for (const SerialDevice& device : ListSerialDevices(roots)) {
        if (device.device == path && !device.names.empty())
            return UdevMatch(device.names.front(), roots, why);
    }
    return "KERNEL==\"" + node + "\"";
}

// The rule that keeps ModemManager away from the adapters the COM numbers are mapped to and from those named.
int UdevRule(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             const SerialRoots& roots) {
    std::vector<std::pair<std::string, std::string>> wanted;  // what names it, path
    for (const auto& [port, path] : MappedPorts()) wanted.emplace_back(PortValueName(port), path);
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i].empty() || args[i].front() != '/')
            return Usage(err, "the path must be absolute, not '" + args[i] + "'");
        wanted.emplace_back("named", args[i]);
    }
    out << "# ModemManager leaves these serial adapters alone: it would probe them with AT commands, which "
           "a\n"
           "# cash register takes for garbage. Made by `tessel ports udev-rule`; to install it:\n"
           "#   tessel ports udev-rule | sudo tee /etc/udev/rules.d/61-tessel-modemmanager.rules\n"
           "# then plug the adapters in again. Other modems and adapters stay ModemManager's.\n";
    std::vector<std::string> matches;
    for (const auto& [source, path] : wanted) {
        std::string why;
        const std::string match = UdevMatch(path, roots, why);
        if (match.empty()) {
            out << "# " << source << " = " << path << ": left out, " << why << "\n";
            continue;
        }
        if (std::find(matches.begin(), matches.end(), match) != matches.end()) continue;
        matches.push_back(match);
        out << "# " << source << " = " << path << "\n"
            << "SUBSYSTEM==\"tty\", " << match << ", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n";
    }
    if (matches.empty()) out << "# No COM number is mapped to a USB serial adapter, and none is named.\n";
    return 0;
}

}  // namespace

std::string_view PortsHelpText() {
    return R"help(Usage: tessel ports
       tessel ports map N PATH
       tessel ports map N tcp://HOST:PORT
       tessel ports map N rfc2217://HOST:PORT
       tessel ports unmap N
       tessel ports udev-rule [PATH...]

Lists the serial devices of this system (the /dev/serial/by-id names with the device each names, ttyUSB*,
ttyACM*, and the ttyS* ports that have a UART), with the COM number that reaches each, and the COM numbers
mapped to anything else, network addresses included. The driver finds COM N at the path or address in
TESSEL_COM<N>, else at the one mapped in the settings store, else at /dev/ttyS<N-1>.

  map N PATH   maps COM N (1 to 32) to PATH in the settings store. A ttyUSB or ttyACM device is mapped by
               its /dev/serial/by-id name when it has one: its number changes when it is plugged in again.
  map N tcp://HOST:PORT
               maps COM N to a register on the network behind a raw TCP stream: a serial-to-Ethernet
               converter in TCP-server mode, or ser2net's raw mode. The line's speed is the converter's.
  map N rfc2217://HOST:PORT
               maps COM N to a register behind an RFC 2217 server (ser2net's telnet(rfc2217)): the driver
               sets the remote line's speed, data format and modem lines as on a local port.
               HOST is a name, an IPv4 address or an IPv6 address in brackets. Connecting gives up after
               3 s with -3 "Порт недоступен" naming the address and the reason; a connection that ends is
               a port that went away, and the next call connects again.
  unmap N      removes the mapping of COM N.
  udev-rule [PATH...]
               prints a udev rule that keeps ModemManager away from the USB serial adapters the COM numbers
               are mapped to and from those named (by their stable names where they have them); install it
               with: tessel ports udev-rule | sudo tee /etc/udev/rules.d/61-tessel-modemmanager.rules

A device that this user may not open is marked: the user must be in the device's group (dialout), which the
udev rule of the README gives to USB serial adapters.
Exit status: 0 done, 1 the settings store failed, 2 a usage mistake.
)help";
}

int RunPorts(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             const SerialRoots& roots) {
    try {
        if (args.empty()) return List(out, roots);
        if (args.front() == "--help" || args.front() == "-h") {
            out << PortsHelpText();
            return 0;
        }
        if (args.front() == "map") return Map(args, out, err, roots);
        if (args.front() == "unmap") return Unmap(args, out, err);
        if (args.front() == "udev-rule") return UdevRule(args, out, err, roots);
        return Usage(err, "unknown word '" + args.front() + "'");
    } catch (const std::exception& e) {
        err << "tessel ports: " << e.what() << '\n';
        return 1;
    }
}

}  // namespace tessel::cli
