// TesselEmu: emulated cash registers on a pseudo-terminal or a serial port, also reached over the network
// (see --help).
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tools/emulator/EmuProgram.h"

namespace {

// A command line longer than this is refused rather than buffered without end.
constexpr std::size_t kMaxCommandLine = 4096;

void Print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

// Splits standard input into command lines and runs them.
class CommandReader {
  public:
    explicit CommandReader(Emulator& emulator) : emulator_(emulator) {}

    // Reads what is waiting; false at the end of input.
    bool ReadAvailable() {
        char buffer[1024];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0) return errno == EINTR || errno == EAGAIN;
        if (n == 0) return false;
        for (ssize_t i = 0; i < n; ++i) Take(buffer[i]);
        return true;
    }

  private:
    void Take(char c) {
        if (c == '\n') {
            if (overlong_) {
                Print("ERROR command line too long\n");
            } else {
                if (!line_.empty() && line_.back() == '\r') line_.pop_back();
                Print(emulator_.Execute(line_));
            }
            line_.clear();
            overlong_ = false;
        } else if (line_.size() < kMaxCommandLine) {
            line_ += c;
        } else {
            overlong_ = true;
        }
    }

    Emulator& emulator_;
    std::string line_;
    bool overlong_ = false;
};

// Owns the signal descriptor.
class SignalFd {
  public:
    explicit SignalFd(const sigset_t& set) : fd_(::signalfd(-1, &set, SFD_CLOEXEC)) {}
    ~SignalFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    SignalFd(const SignalFd&) = delete;
    SignalFd& operator=(const SignalFd&) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

int main(int argc, char** argv) {
    EmuProgramOptions options;
    try {
        options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "TesselEmu: %s (see TesselEmu --help)\n", e.what());
        return 2;
    }
    if (options.help) {
        Print(HelpText());
        return 0;
    }

    // Blocked before any thread starts, so the stop signals reach only the signal descriptor.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    SignalFd signals(stopSignals);
    if (signals.Get() < 0) {
        std::perror("TesselEmu: signalfd");
        return 1;
    }

    std::unique_ptr<Emulator> emulator;
    try {
        emulator = std::make_unique<Emulator>(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "TesselEmu: %s\n", e.what());
        return 1;
    }
    if (options.verbose) {
        emulator->Line().SetFrameObserver(
            [](const EmuFrameEvent& event) { std::fprintf(stderr, "%s\n", DescribeEvent(event).c_str()); });
    } else {
        // A driver at another speed gets no answer and no word; the emulator's terminal says why, once for
        // each speed it meets. The line copies its observer for every call: the set is shared.
        auto reported = std::make_shared<std::set<std::string>>();
        emulator->Line().SetFrameObserver([reported](const EmuFrameEvent& event) {
            if (!event.note.starts_with(kNotUnderstood) || !reported->insert(event.note).second) return;
            std::fprintf(stderr, "TesselEmu: %s (see --baud)\n", event.note.c_str());
        });
    }
    Print(emulator->FirstLine() + "\n");
    if (const std::string listen = emulator->ListenLine(); !listen.empty()) Print(listen + "\n");
    // A stop signal during the wait for the computer ends the program without playing the script.
    Print(emulator->PlayScript(signals.Get()));

    CommandReader reader(*emulator);
    bool inputOpen = true;
    for (;;) {
        pollfd fds[3] = {{signals.Get(), POLLIN, 0},
                         {emulator->Line().StoppedFd(), POLLIN, 0},
                         {inputOpen ? STDIN_FILENO : -1, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            std::perror("TesselEmu: poll");
            return 1;
        }
        if (fds[0].revents & POLLIN) return 0;  // the emulator stops its line on the way out
        if (fds[1].revents & POLLIN) {
            std::fprintf(stderr, "TesselEmu: %s\n", emulator->Line().Failure().c_str());
            return 1;
        }
        // Without input the program still serves the line until it is stopped.
        if (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) inputOpen = reader.ReadAvailable();
    }
}
