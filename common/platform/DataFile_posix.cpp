// The driver's data files on Linux: plain descriptors, positioned reads and writes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/platform/DataFile.h"

namespace tessel {

namespace {

std::error_code LastError(int error = errno) {
    return {error, std::generic_category()};
}

int Fd(std::intptr_t handle) {
    return static_cast<int>(handle);
}

}  // namespace

DataFile::OpenResult DataFile::OpenFile(const std::string& path, Access access, Writers /*writers*/) {
    Close();
    const bool isPrivate = access == Access::Private;
    // No blocking on a FIFO or device that happens to carry the name; it is refused below anyway. A private
    // file is never reached through a link: one planted in its place would send its contents elsewhere.
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | (isPrivate ? O_NOFOLLOW : 0),
               isPrivate ? 0600 : 0644);
    if (fd < 0) {
        const int error = errno;
        struct stat st {};
        const bool exists = ::lstat(path.c_str(), &st) == 0;
        return {exists ? Outcome::Unusable : Outcome::CannotCreate, LastError(error)};
    }
    struct stat st {};
    OpenResult result;
    if (::fstat(fd, &st) != 0) {
        result = {Outcome::Unusable, LastError()};
    } else if (!S_ISREG(st.st_mode)) {
        result = {Outcome::Unusable, LastError(EINVAL)};
    } else if (isPrivate && st.st_uid != ::geteuid()) {
        // Another user's file: what we wrote would be theirs to read, and its permissions not ours to set.
        result = {Outcome::Unusable, LastError(EPERM)};
    } else if (isPrivate && (st.st_mode & 077) != 0 && ::fchmod(fd, st.st_mode & 0700) != 0) {
        // A file made readable to others before: it is ours, so it becomes private again.
        result = {Outcome::Unusable, LastError()};
    }
    if (result.outcome != Outcome::Opened) {
        ::close(fd);
        return result;
    }
    handle_ = fd;
    path_ = path;
    return result;
}

DataFile::OpenResult DataFile::OpenFileForReading(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {Outcome::Unusable, LastError()};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = errno;
        ::close(fd);
        return {Outcome::Unusable, LastError(S_ISREG(st.st_mode) ? error : EINVAL)};
    }
    handle_ = fd;
    path_ = path;
    return {};
}

void DataFile::Close() {
    if (handle_ == -1) return;
    ::close(Fd(handle_));  // releases its locks too
    handle_ = -1;
}

std::uint64_t DataFile::Size() const {
    struct stat st {};
    if (::fstat(Fd(handle_), &st) != 0) Fail(LastError());
    return static_cast<std::uint64_t>(st.st_size);
}

void DataFile::Resize(std::uint64_t size) {
    if (::ftruncate(Fd(handle_), static_cast<off_t>(size)) != 0) Fail(LastError());
}

void DataFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) const {
    auto* bytes = static_cast<char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(Fd(handle_), bytes + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail(LastError());
        // The file was cut behind our back: what it held cannot be trusted.
        if (n == 0) Fail(LastError(EIO));
        done += static_cast<std::size_t>(n);
    }
}

void DataFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(Fd(handle_), bytes + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail(LastError());
        if (n == 0) Fail(LastError(ENOSPC));
        done += static_cast<std::size_t>(n);
    }
}

void DataFile::SyncData() {
    int rc;
    do {
        rc = ::fdatasync(Fd(handle_));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) Fail(LastError());
}

void DataFile::Append(std::string_view text) {
    const int fd = Fd(handle_);
    // The one appender (a lock or a turn) is the only one that moves the end between the seek and the write.
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0) Fail(LastError());
    ssize_t n;
    do {
        n = ::pwrite(fd, text.data(), text.size(), end);
    } while (n < 0 && errno == EINTR);
    if (n < 0) Fail(LastError());
    if (static_cast<std::size_t>(n) != text.size()) {
        if (::ftruncate(fd, end) != 0) Fail(LastError());
        Fail(LastError(ENOSPC));
    }
    ::fdatasync(fd);
}

}  // namespace tessel
