// The locked file on Linux: an advisory flock, which every holder of this kind takes; readers need none.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/platform/LockedFile.h"

namespace tessel {

namespace {

std::error_code LastError(int error = errno) {
    return {error, std::generic_category()};
}

}  // namespace

LockedFile::OpenResult LockedFile::Open(const std::string& path, NewFile newFile) {
    Close();
    const bool isPrivate = newFile == NewFile::Private;
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
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        result = {error == EWOULDBLOCK ? Outcome::Busy : Outcome::Unusable, LastError(error)};
    }
    if (result.outcome != Outcome::Opened) {
        ::close(fd);
        return result;
    }
    handle_ = fd;
    path_ = path;
    return result;
}

void LockedFile::Close() {
    if (handle_ == -1) return;
    ::close(static_cast<int>(handle_));  // releases the lock too
    handle_ = -1;
}

std::uint64_t LockedFile::Size() const {
    struct stat st {};
    if (::fstat(static_cast<int>(handle_), &st) != 0) Fail(LastError());
    return static_cast<std::uint64_t>(st.st_size);
}

void LockedFile::Resize(std::uint64_t size) {
    if (::ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) != 0) Fail(LastError());
}

void LockedFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) const {
    auto* bytes = static_cast<char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::pread(static_cast<int>(handle_), bytes + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail(LastError());
        // The file was cut behind our back: what it held cannot be trusted.
        if (n == 0) Fail(LastError(EIO));
        done += static_cast<std::size_t>(n);
    }
}

void LockedFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n =
            ::pwrite(static_cast<int>(handle_), bytes + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail(LastError());
        if (n == 0) Fail(LastError(ENOSPC));
        done += static_cast<std::size_t>(n);
    }
}

void LockedFile::SyncData() {
    int rc;
    do {
        rc = ::fdatasync(static_cast<int>(handle_));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) Fail(LastError());
}

void LockedFile::Append(std::string_view text) {
    const int fd = static_cast<int>(handle_);
    // Only the lock's holder writes, so the end cannot move between the seek and the write.
    if (::lseek(fd, 0, SEEK_END) < 0) Fail(LastError());
    ssize_t n;
    do {
        n = ::write(fd, text.data(), text.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) Fail(LastError());
    ::fdatasync(fd);
}

}  // namespace tessel
