// Who holds a serial device, and what a user who may not open one must do.

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/link/CUCommAccess.h"

namespace tessel_comm {
namespace {

// What is read of a lock file: the pid's eleven characters, with room for blanks around them.
constexpr std::size_t kLockFileBytes = 32;

std::string ProcessName(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

std::string Describe(pid_t pid) {
    const std::string name = ProcessName(pid);
    return std::to_string(pid) + (name.empty() ? "" : " (" + name + ")");
}

bool Alive(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// Holders of advisory locks on the inode `st` names, from /proc/locks lines such as
// "1: FLOCK  ADVISORY  WRITE 1234 00:05:87 0 EOF" (device numbers in hex, the inode in decimal).
std::vector<pid_t> AdvisoryHolders(const struct stat& st) {
    std::vector<pid_t> holders;
    std::ifstream in("/proc/locks");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string index, kind, mode, access, file;
        long pid = 0;
        if (!(words >> index >> kind)) continue;
        // A lock another waits for is marked "->" before its kind.
        if (kind == "->" && !(words >> kind)) continue;
        if (!(words >> mode >> access >> pid >> file)) continue;
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%lu", &major, &minor, &inode) != 3) continue;
        if (inode == st.st_ino && major == ::major(st.st_dev) && minor == ::minor(st.st_dev) && pid > 0)
            holders.push_back(static_cast<pid_t>(pid));
    }
    return holders;
}

// The pid a UUCP lock file holds: ten ASCII digits by the usual convention, or a binary int of old ones.
// The lock folders may be written by anyone, so a name there is not trusted: the file is opened without
// waiting (a FIFO would block the open) and without following a link, must be a regular file, and only its
// first bytes are read (a pid takes eleven; a huge file must not be read whole). Anything else names nobody.
pid_t LockFilePid(const std::string& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return 0;
    struct stat st {};
    char text[kLockFileBytes + 1] = {};
    ssize_t n = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        do {
            n = ::read(fd, text, kLockFileBytes);
        } while (n < 0 && errno == EINTR);
    }
    ::close(fd);
    if (n <= 0) return 0;
    if (n == static_cast<ssize_t>(sizeof(int)) && st.st_size == static_cast<off_t>(sizeof(int))) {
        int binary = 0;
        std::memcpy(&binary, text, sizeof binary);
        if (binary > 0) return binary;
    }
    long pid = 0;
    if (std::sscanf(text, "%ld", &pid) != 1 || pid <= 0 || pid > INT_MAX) return 0;
    return static_cast<pid_t>(pid);
}

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string PortHolder(const std::string& path, pid_t self, const std::vector<std::string>& lockDirectories) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    bool selfHolds = false;
    for (const pid_t pid : AdvisoryHolders(st)) {
        if (pid != self) return Describe(pid);
        selfHolds = true;
    }
    // UUCP lock files name the device as the kernel does, and some programs lock the path they were given.
    char resolved[PATH_MAX];
    std::vector<std::string> names{BaseName(path)};
    if (::realpath(path.c_str(), resolved) != nullptr && BaseName(resolved) != names.front())
        names.push_back(BaseName(resolved));
    for (const std::string& dir : lockDirectories) {
        for (const std::string& name : names) {
            const pid_t pid = LockFilePid(dir + "/LCK.." + name);
            if (pid != self && Alive(pid)) return Describe(pid);
        }
    }
    return selfHolds ? Describe(self) : std::string();
}

std::string NoPermissionAdvice(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    std::vector<char> buf(16384);
    group gr{};
    group* found = nullptr;
    const bool groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP) && st.st_gid != 0;
    if (groupMayUse && ::getgrgid_r(st.st_gid, &gr, buf.data(), buf.size(), &found) == 0 &&
        found != nullptr) {
        std::string user = "$USER";
        std::vector<char> pwbuf(16384);
        passwd pw{};
        passwd* me = nullptr;
        if (::getpwuid_r(::getuid(), &pw, pwbuf.data(), pwbuf.size(), &me) == 0 && me != nullptr)
            user = me->pw_name;
        const std::string name = found->gr_name;
        return "пользователь должен входить в группу " + name + " (sudo usermod -aG " + name + " " + user +
               ", затем войти в систему заново)";
    }
    return "устройство открыто только для своего владельца: правило udev из README отдаёт последовательные "
           "порты группе dialout, в которую должен входить пользователь";
}

}  // namespace tessel_comm
