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

bool SharedFile::IsAt(const std::string& path) const {
    struct stat mine {};
    struct stat there {};
    if (::fstat(Fd(Handle()), &mine) != 0 || ::lstat(path.c_str(), &there) != 0) return false;
    return mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
}

SharedFile::Turn SharedFile::TakeTurn(std::uint64_t key) const {
    if (key >= kMaxKey) Fail(LastError(EINVAL));
    if (!LockByte(Fd(Handle()), key, F_WRLCK)) Fail(LastError());
    return Turn(this, key);
}

void SharedFile::Unlock(std::uint64_t key) const {
    if (IsOpen()) LockByte(Fd(Handle()), key, F_UNLCK);
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
