#pragma once
// An owned file descriptor, closed when the object goes.

#include <unistd.h>

namespace tessel_test {

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    // The descriptor; -1 for none.
    int Get() const { return fd_; }
    // Closes the one held and takes `fd`.
    void Reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_;
};

}  // namespace tessel_test
