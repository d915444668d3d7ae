// What doctor asks a Linux system about a serial device: /dev, the user database, /proc and udev's data.
#include <dirent.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "common/platform/PortMap.h"
#include "driver/link/CUCommAccess.h"
#include "tools/tessel/DoctorSystem.h"

namespace tessel::cli {
namespace {

std::string ProcessName(const std::string& pid) {
    std::ifstream in("/proc/" + pid + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

// Programs other than this one that have `node` open, "1234 (minicom)", from /proc/<pid>/fd (all of them
// for the administrator, this user's own otherwise).
std::vector<std::string> OpenedBy(const std::string& node) {
    std::vector<std::string> out;
    const std::string self = std::to_string(::getpid());
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return out;
    while (const dirent* e = ::readdir(proc)) {
        const std::string pid = e->d_name;
        if (pid.empty() || !std::all_of(pid.begin(), pid.end(), ::isdigit) || pid == self) continue;
        const std::string fds = "/proc/" + pid + "/fd";
        DIR* dir = ::opendir(fds.c_str());
        if (dir == nullptr) continue;
        while (const dirent* fd = ::readdir(dir)) {
            char target[PATH_MAX];
            const std::string link = fds + "/" + fd->d_name;
            const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
            if (n <= 0) continue;
            target[n] = '\0';
            if (node == target) {
                out.push_back(pid + " (" + ProcessName(pid) + ")");
                break;
            }
        }
        ::closedir(dir);
    }
    ::closedir(proc);
    return out;
}

bool ModemManagerRuns() {
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return false;
    bool found = false;
    while (const dirent* e = ::readdir(proc)) {
        const std::string pid = e->d_name;
        if (!pid.empty() && std::all_of(pid.begin(), pid.end(), ::isdigit) &&
            ProcessName(pid) == "ModemManager") {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

// Whether udev marked the device for ModemManager to leave alone (the repository's rule does).
bool IgnoredByModemManager(const struct stat& st) {
    std::ifstream in("/run/udev/data/c" + std::to_string(::major(st.st_rdev)) + ":" +
                     std::to_string(::minor(st.st_rdev)));
    std::string line;
    while (std::getline(in, line))
        if (line == "E:ID_MM_DEVICE_IGNORE=1") return true;
    return false;
}

UserIdentity CurrentUser() {
    UserIdentity user;
    user.uid = ::geteuid();
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* me = nullptr;
    gid_t primary = ::getegid();
    if (::getpwuid_r(user.uid, &pw, buf.data(), buf.size(), &me) == 0 && me != nullptr) {
        user.name = me->pw_name;
        primary = me->pw_gid;
        int count = 64;
        std::vector<gid_t> listed(static_cast<std::size_t>(count));
        if (::getgrouplist(me->pw_name, primary, listed.data(), &count) < 0 && count > 64) {
            listed.resize(static_cast<std::size_t>(count));
            ::getgrouplist(me->pw_name, primary, listed.data(), &count);
        }
        listed.resize(static_cast<std::size_t>(std::max(count, 0)));
        user.listedGroups.assign(listed.begin(), listed.end());
    } else {
        user.name = std::to_string(user.uid);
    }
    user.groups.push_back(::getegid());
    const int n = ::getgroups(0, nullptr);
    if (n > 0) {
        std::vector<gid_t> groups(static_cast<std::size_t>(n));
        if (::getgroups(n, groups.data()) == n)
            user.groups.insert(user.groups.end(), groups.begin(), groups.end());
    }
    return user;
}

std::string GroupName(gid_t gid) {
    std::vector<char> buf(16384);
    group gr{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &gr, buf.data(), buf.size(), &found) == 0 && found != nullptr)
        return found->gr_name;
    return {};
}

}  // namespace

PortFacts InspectPort(int port) {
    PortFacts facts;
    const std::string variable = "TESSEL_" + tessel::PortValueName(port);
    if (const char* value = std::getenv(variable.c_str()); value != nullptr && *value != '\0') {
        facts.path = value;
        facts.source = variable;
    } else {
        try {
            facts.path = tessel::MappedPortPath(port);
        } catch (const std::exception&) {
        }
        facts.source = facts.path.empty() ? "the default" : "settings, Ports\\" + tessel::PortValueName(port);
        if (facts.path.empty()) facts.path = "/dev/ttyS" + std::to_string(port - 1);
    }
    facts.node = facts.path;
    if (facts.path.find("://") != std::string::npos) {
        facts.network = true;
        return facts;
    }
    const std::string com = tessel::PortValueName(port);
    struct stat st {};
    if (::stat(facts.path.c_str(), &st) != 0) {
        facts.missing =
            Problem{facts.path + " (" + facts.source + ") does not exist: " + std::strerror(errno),
                    "plug the adapter in; tessel ports lists the serial devices, and tessel ports map " +
                        std::to_string(port) + " PATH makes " + com + " reach one"};
        return facts;
    }
    char resolved[PATH_MAX];
    if (::realpath(facts.path.c_str(), resolved) != nullptr) facts.node = resolved;
    if (!S_ISCHR(st.st_mode)) {
        facts.missing = Problem{facts.path + " (" + facts.source + ") is not a serial device",
                                "tessel ports lists the serial devices, and tessel ports map " +
                                    std::to_string(port) + " PATH makes " + com + " reach one"};
        return facts;
    }
    const DeviceAccess access{static_cast<std::uint32_t>(st.st_mode & 07777),
                              static_cast<std::uint32_t>(st.st_uid), static_cast<std::uint32_t>(st.st_gid),
                              GroupName(st.st_gid)};
    facts.permission = PermissionProblem(access, CurrentUser());
    // The program at the other end of a pseudo-terminal keeps its side open as well: there only a lock
    // tells a holder.
    if (facts.node.rfind("/dev/pts/", 0) != 0) facts.holders = OpenedBy(facts.node);
    // A lock names a holder that this user may not see in /proc. This process may hold the port already
    // (the driver opens a port that was open when it was last released), which is no other program.
    const std::string self = std::to_string(::getpid()) + " ";
    if (const std::string locker = tessel_comm::PortHolder(facts.node, ::getpid());
        !locker.empty() && locker.rfind(self, 0) != 0) {
        if (std::find(facts.holders.begin(), facts.holders.end(), locker) == facts.holders.end())
            facts.holders.push_back(locker);
    }
    const std::string base = facts.node.substr(facts.node.rfind('/') + 1);
    const bool usb = base.rfind("ttyUSB", 0) == 0 || base.rfind("ttyACM", 0) == 0;
    facts.modemManagerMayProbe = usb && ModemManagerRuns() && !IgnoredByModemManager(st);
    return facts;
}

std::optional<std::uint64_t> FileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool MayWriteFile(const std::string& path) {
    if (::access(path.c_str(), F_OK) == 0) return ::access(path.c_str(), W_OK) == 0;
    const auto slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

}  // namespace tessel::cli
