#include "common/platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <system_error>

namespace tessel {
namespace {

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

}  // namespace

void WriteFileAtomically(const std::string& path, std::string_view contents, mode_t mode) {
    std::string temp = path + ".XXXXXX";
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
