#include "common/platform/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <system_error>

namespace tessel {
namespace {

// Temporary files are named "<file>.<writer's pid>.<six characters>", so that a later writer can tell the
// leftovers of a writer that was killed between creating and renaming from those of one still at work.
constexpr std::size_t kUniqueChars = 6;

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
    throw std::system_error(err, std::generic_category(), what + " '" + path + "'");
}

// Closes the descriptor on every path out of a function.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The writer's pid when `entry` is a temporary file of `base` as WriteFileAtomically names them, else 0.
pid_t TemporaryFileWriter(std::string_view entry, std::string_view base) {
    if (entry.size() <= base.size() + 2 + kUniqueChars || entry.substr(0, base.size()) != base ||
        entry[base.size()] != '.' || entry[entry.size() - kUniqueChars - 1] != '.')
        return 0;
    const std::string_view digits =
        entry.substr(base.size() + 1, entry.size() - base.size() - kUniqueChars - 2);
    if (digits.empty() || digits.size() > 9) return 0;
    pid_t pid = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return 0;
        pid = pid * 10 + (c - '0');
    }
    return pid;
}

bool ProcessIsGone(pid_t pid) {
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Removes the temporary files of `path` whose writers have died. Never fails.
void RemoveStaleTemporaryFiles(const std::string& path) {
    const std::string dir = DirectoryOf(path);
    const std::string base = BaseNameOf(path);
    DIR* listing = ::opendir(dir.c_str());
    if (listing == nullptr) return;
    while (const dirent* entry = ::readdir(listing)) {
        const pid_t writer = TemporaryFileWriter(entry->d_name, base);
        // Our own pid belongs to no other writer that could still be at work: another thread of this
        // process writing the same file at this moment would be a caller's race in any case.
        if (writer > 0 && writer != ::getpid() && ProcessIsGone(writer)) {
            ::unlinkat(::dirfd(listing), entry->d_name, 0);
        }
    }
    ::closedir(listing);
}

}  // namespace

void WriteFileAtomically(const std::string& path, std::string_view contents, mode_t mode) {
    RemoveStaleTemporaryFiles(path);
    std::string temp = path + "." + std::to_string(::getpid()) + "." + std::string(kUniqueChars, 'X');
    Fd out;
    out.fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (out.fd < 0) Fail("cannot create a temporary file for", path, errno);
    try {
        if (::fchmod(out.fd, mode) != 0) Fail("cannot set permissions of", temp, errno);
        const char* p = contents.data();
        std::size_t left = contents.size();
        while (left > 0) {
            const ssize_t n = ::write(out.fd, p, left);
            if (n < 0) {
                if (errno == EINTR) continue;
                Fail("cannot write", temp, errno);
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        if (::fsync(out.fd) != 0) Fail("cannot flush", temp, errno);
        if (::rename(temp.c_str(), path.c_str()) != 0) Fail("cannot replace", path, errno);
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    // The rename itself must reach the disk too.
    Fd dir;
    dir.fd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir.fd >= 0) ::fsync(dir.fd);
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
    Fd in;
    in.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in.fd < 0) {
        if (errno == ENOENT) return false;
        Fail("cannot open", path, errno);
    }
    contents.clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(in.fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("cannot read", path, errno);
        }
        if (n == 0) break;
        contents.append(buf, static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace tessel
