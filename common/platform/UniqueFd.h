#pragma once
// An owned POSIX file descriptor, closed when the object goes (POSIX backends only).

#include <unistd.h>

namespace tessel {

class UniqueFd {
  public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    // The descriptor; -1 for none.
    int Get() const { return fd_; }
    // Closes the one held and takes `fd`.
    void Reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Hands the descriptor over without closing it; -1 is left.
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

}  // namespace tessel
