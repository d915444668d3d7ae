#pragma once
// The serial devices of this system, as `tessel ports` lists them. Platform backend (SerialPorts_posix.cpp).

#include <string>
#include <vector>

namespace tessel::cli {

struct SerialDevice {
    std::string device;              // the device node, as /dev/ttyUSB0
    std::vector<std::string> names;  // stable names that lead to it (/dev/serial/by-id/...), sorted
    std::string problem;             // why this user may not open it; empty when they may
};

// Where the system shows its devices; tests point these at a tree of their own.
struct SerialRoots {
    std::string dev = "/dev";
    std::string sysTty = "/sys/class/tty";
};

// Every serial device: those /dev/serial/by-id names, and the ttyUSB*, ttyACM* and ttyS* nodes, of which
// ttyS* only where the system knows a port behind it (a UART type other than none). Sorted by node name,
// numbers in numeric order. Never fails: what cannot be read is left out.
std::vector<SerialDevice> ListSerialDevices(const SerialRoots& roots = {});

// The device node that `path` leads to (links followed), or `path` itself when it leads nowhere.
std::string DeviceNodeOf(const std::string& path);

}  // namespace tessel::cli
