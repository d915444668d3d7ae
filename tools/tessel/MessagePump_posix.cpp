// Stop signals on Linux: SIGINT and SIGTERM blocked and read from a signalfd; waits in poll() on the queue's
// descriptor and the signal descriptor.
#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <system_error>

#include "tools/tessel/MessagePump.h"

namespace tessel::cli {

namespace {

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

struct StopSignals::Impl {
    int fd = -1;
    sigset_t previous{};
};

StopSignals::StopSignals() : impl_(std::make_unique<Impl>()) {
    const sigset_t set = StopSet();
    if (const int rc = pthread_sigmask(SIG_BLOCK, &set, &impl_->previous); rc != 0) {
        throw std::system_error(rc, std::generic_category(), "blocking the stop signals");
    }
    impl_->fd = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (impl_->fd < 0) {
        const int error = errno;
        pthread_sigmask(SIG_SETMASK, &impl_->previous, nullptr);
        throw std::system_error(error, std::generic_category(), "signalfd");
    }
}

StopSignals::~StopSignals() {
    ::close(impl_->fd);
    pthread_sigmask(SIG_SETMASK, &impl_->previous, nullptr);
}

int StopSignals::Fd() const {
    return impl_->fd;
}

bool StopSignals::Stopped() {
    if (stopped_) return true;
    signalfd_siginfo info{};
    // Non-blocking: a read succeeds only while a signal is pending.
    stopped_ = ::read(impl_->fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
    if (stopped_) signal_ = static_cast<int>(info.ssi_signo);
    return stopped_;
}

bool StopSignals::Wait(MessageQueue& queue, std::uint32_t ms, bool watchStop) {
    pollfd fds[] = {{queue.Fd(), POLLIN, 0}, {impl_->fd, POLLIN, 0}};
    // A signal that is not waited for stays unread: polling its descriptor would never block again.
    const nfds_t count = watchStop ? 2 : 1;
    const int ready = ::poll(fds, count, static_cast<int>(ms));
    if (ready < 0 && errno != EINTR) throw std::system_error(errno, std::generic_category(), "poll");
    return ready > 0 && (fds[0].revents & POLLIN) != 0;
}

}  // namespace tessel::cli
