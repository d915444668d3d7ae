#include "tools/emulator/EmuPeerWatch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace {

// The quiet interval of the line: the time a program that has just opened the port takes to configure it is
// far below it.
constexpr std::chrono::milliseconds kSettle{100};

}  // namespace

EmuPeerWatch::EmuPeerWatch(const EmuLine& line, const std::string& path, bool pseudoTerminal) : line_(line) {
    if (!pseudoTerminal) return;
    watch_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch_ >= 0 && ::inotify_add_watch(watch_, path.c_str(), IN_OPEN) < 0) {
        ::close(watch_);
        watch_ = -1;
    }
}

EmuPeerWatch::~EmuPeerWatch() {
    if (watch_ >= 0) ::close(watch_);
}

EmuPeerWait EmuPeerWatch::Wait(std::uint32_t boundMs, int stopFd) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(boundMs);
    for (;;) {
        pollfd fds[3] = {{line_.HeardFd(), POLLIN, 0}, {watch_, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const int ready = ::poll(fds, 3, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return EmuPeerWait::BoundPassed;
        if (fds[2].revents & POLLIN) return EmuPeerWait::Stopped;
        if (fds[0].revents & POLLIN) return EmuPeerWait::Came;
        if (fds[1].revents & POLLIN) {
            std::this_thread::sleep_for(kSettle);
            return EmuPeerWait::Came;
        }
        if (fds[1].revents != 0) return EmuPeerWait::BoundPassed;  // the watch broke
    }
}
