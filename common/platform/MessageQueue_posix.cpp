// The readiness descriptor of a message queue: an eventfd whose counter is 1 while messages wait, else 0.
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

#include "common/platform/MessageQueue.h"

namespace tessel {

ReadySignal::ReadySignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0)
        throw std::system_error(errno, std::generic_category(), "cannot create the message queue's eventfd");
}

ReadySignal::~ReadySignal() {
    ::close(fd_);
}

// Called only while the counter is 0, so it can never overflow; EINTR is the only failure worth repeating.
void ReadySignal::Raise() {
    const std::uint64_t one = 1;
    while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

// Reading resets the counter to 0; EAGAIN means it already was.
void ReadySignal::Lower() {
    std::uint64_t value = 0;
    while (::read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

}  // namespace tessel
