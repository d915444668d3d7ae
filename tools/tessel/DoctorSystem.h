#pragma once
// What `tessel doctor` asks the system about a serial port: which device a COM number reaches, whether this
// user may open it, and which programs hold it. Platform backend (DoctorSystem_posix.cpp, _win.cpp).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessel::cli {

// Who may open a device, as the file system says, and who the user is. Plain numbers, so that the rule can be
// tried with any mode and any user.
struct DeviceAccess {
    std::uint32_t mode = 0;  // permission bits
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::string groupName;
};

struct UserIdentity {
    std::uint32_t uid = 0;
    std::string name;
    std::vector<std::uint32_t> groups;        // the groups this process has
    std::vector<std::uint32_t> listedGroups;  // the groups the user database lists for the user now
};

// What keeps the user from opening a device for reading and writing, one line, and what to do, one line;
// nullopt when nothing does. The administrator passes every check.
struct Problem {
    std::string cause;
    std::string todo;
};
std::optional<Problem> PermissionProblem(const DeviceAccess& device, const UserIdentity& user);

// What the system says of the device a COM number reaches.
struct PortFacts {
    std::string path;                   // the path the driver opens
    std::string source;                 // where the path came from: "TESSEL_COM1", "settings", "default"
    bool network = false;               // a network address, not a device of this machine
    std::string node;                   // the device node the path leads to (links followed)
    std::optional<Problem> missing;     // no such device, or not a serial device
    std::optional<Problem> permission;  // this user may not open it
    std::vector<std::string> holders;   // other programs that have it open or locked, "1234 (minicom)"
    bool modemManagerMayProbe = false;  // ModemManager runs and does not leave this (USB) device alone
};

// Looks at the device that port number `port` reaches, as the driver finds it. Never throws.
PortFacts InspectPort(int port);

// Size in bytes of the file at `path`; nullopt when there is none.
std::optional<std::uint64_t> FileSize(const std::string& path);
// Whether this user may create or append to the file at `path` (the folder must exist).
bool MayWriteFile(const std::string& path);

}  // namespace tessel::cli
