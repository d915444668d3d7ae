// The shared file on Linux: turns are open-file-description locks (F_OFD_SETLKW) on one byte each, far
// beyond the data, so they exclude other processes and never hinder plain reads.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/platform/SharedFile.h"

namespace tessel {

namespace {

constexpr std::uint64_t kTurnBase = std::uint64_t{1} << 40;
constexpr std::uint64_t kMaxKey = std::uint64_t{1} << 20;

std::error_code LastError(int error = errno) {
    return {error, std::generic_category()};
}

int Fd(std::intptr_t handle) {
    return static_cast<int>(handle);
}

bool LockByte(int fd, std::uint64_t key, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(kTurnBase + key);
    lock.l_len = 1;
    int rc;
    do {
        rc = ::fcntl(fd, type == F_UNLCK ? F_OFD_SETLK : F_OFD_SETLKW, &lock);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

}  // namespace

SharedFile::OpenResult SharedFile::Open(const std::string& path, Access access) {
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

SharedFile::OpenResult SharedFile::OpenForReading(const std::string& path) {
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

void SharedFile::Close() {
    if (handle_ == -1) return;
    ::close(Fd(handle_));  // releases its turns too
    handle_ = -1;
}

std::uint64_t SharedFile::Size() const {
    struct stat st {};
    if (::fstat(Fd(handle_), &st) != 0) Fail(LastError());
    return static_cast<std::uint64_t>(st.st_size);
}

void SharedFile::Resize(std::uint64_t size) {
    if (::ftruncate(Fd(handle_), static_cast<off_t>(size)) != 0) Fail(LastError());
}

void SharedFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) const {
    auto* bytes = static_cast<char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(Fd(handle_), bytes + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail(LastError());
        if (n == 0) Fail(LastError(EIO));
        done += static_cast<std::size_t>(n);
    }
}

void SharedFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
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

void SharedFile::Append(std::string_view text) {
    const int fd = Fd(handle_);
    // Under the writers' turn nobody else moves the end between the seek and the write.
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0) Fail(LastError());
    ssize_t n;
    do {
        n = ::pwrite(fd, text.data(), text.size(), end);
    } while (n < 0 && errno == EINTR);
    if (n < 0) Fail(LastError());
    // A short write (a full disk) leaves a line cut in two: it is taken back, so no reader sees half a line.
    if (static_cast<std::size_t>(n) != text.size()) {
        if (::ftruncate(fd, end) != 0) Fail(LastError());
        Fail(LastError(ENOSPC));
    }
    ::fdatasync(fd);
}

bool SharedFile::IsAt(const std::string& path) const {
    struct stat mine {};
    struct stat there {};
    if (::fstat(Fd(handle_), &mine) != 0 || ::lstat(path.c_str(), &there) != 0) return false;
    return mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
}

SharedFile::Turn SharedFile::TakeTurn(std::uint64_t key) const {
    if (key >= kMaxKey) Fail(LastError(EINVAL));
    if (!LockByte(Fd(handle_), key, F_WRLCK)) Fail(LastError());
    return Turn(this, key);
}

void SharedFile::Unlock(std::uint64_t key) const {
    if (handle_ != -1) LockByte(Fd(handle_), key, F_UNLCK);
}

bool SharedFile::Rename(const std::string& from, const std::string& to, std::error_code& error) {
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    error = LastError();
    return false;
}

bool SharedFile::Remove(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

}  // namespace tessel
