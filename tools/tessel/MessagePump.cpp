#include "tools/tessel/MessagePump.h"

#include <poll.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

namespace tessel::cli {

namespace {

// An endless wait is taken in slices of this length, so that every single wait stays bounded.
constexpr std::uint64_t kSliceMs = 1000;

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

StopSignals::StopSignals() {
    const sigset_t set = StopSet();
    if (const int rc = pthread_sigmask(SIG_BLOCK, &set, &previous_); rc != 0) {
        throw std::system_error(rc, std::generic_category(), "blocking the stop signals");
    }
    fd_ = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd_ < 0) {
        const int error = errno;
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
        throw std::system_error(error, std::generic_category(), "signalfd");
    }
}

StopSignals::~StopSignals() {
    ::close(fd_);
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

bool StopSignals::Stopped() {
    if (stopped_) return true;
    signalfd_siginfo info{};
    // Non-blocking: a read succeeds only while a signal is pending.
    stopped_ = ::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
    return stopped_;
}

MessagePump::MessagePump(StopSignals& signals)
    : signals_(signals), queue_(MessageQueue::ForCurrentThread()) {}

std::size_t MessagePump::DispatchPending() {
    return queue_->DispatchPending();
}

void MessagePump::PumpFor(std::uint64_t ms, const AfterDispatch& after) {
    Pump(false, ms, after);
}

void MessagePump::PumpUntilStopped(const AfterDispatch& after) {
    Pump(true, 0, after);
}

bool MessagePump::PumpUntil(const std::function<bool()>& done, bool stopOnSignal) {
    for (;;) {
        if (done()) return true;
        if (stopOnSignal && signals_.Stopped()) return false;
        pollfd fds[] = {{queue_->Fd(), POLLIN, 0}, {signals_.Fd(), POLLIN, 0}};
        // A signal that is not waited for stays unread: polling its descriptor would never block again.
        const nfds_t count = stopOnSignal ? 2 : 1;
        const int ready = ::poll(fds, count, static_cast<int>(kSliceMs));
        if (ready < 0 && errno != EINTR) throw std::system_error(errno, std::generic_category(), "poll");
        if (ready > 0 && (fds[0].revents & POLLIN) != 0) queue_->DispatchPending();
    }
}

void MessagePump::Pump(bool endless, std::uint64_t ms, const AfterDispatch& after) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    bool last = false;
    // Every pass polls at least once, so that even a zero wait delivers what waits already.
    while (!last && !signals_.Stopped()) {
        std::uint64_t slice = kSliceMs;
        if (!endless) {
            const auto now = Clock::now();
            const auto left =
                now >= deadline ? 0 : std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
            slice = std::min<std::uint64_t>(slice, static_cast<std::uint64_t>(left));
            last = left == 0;
        }
        pollfd fds[] = {{queue_->Fd(), POLLIN, 0}, {signals_.Fd(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, static_cast<int>(slice));
        if (ready < 0 && errno != EINTR) throw std::system_error(errno, std::generic_category(), "poll");
        if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
            queue_->DispatchPending();
            if (after && !after()) return;
        }
    }
}

}  // namespace tessel::cli
