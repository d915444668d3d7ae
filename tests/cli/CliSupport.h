#pragma once
// What the tests of the tessel program share: child programs with bounded waits, a driver registered in a
// settings folder of the test's own, and the emulator program on a pseudo-terminal.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/TempDir.h"

extern char** environ;

namespace cli_test {

// Generous for a sanitizer build on a loaded machine; only a hung child ever reaches it.
constexpr std::chrono::milliseconds kChildWait{20000};

using Env = std::map<std::string, std::string>;

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_;
};

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A child program with its standard input, output and error on pipes; killed if still running when the
// object goes.
class Child {
  public:
    // `env` replaces or adds variables of this process's environment.
    Child(const std::string& program, const std::vector<std::string>& args, const Env& env = {}) {
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        input_.Reset(in[1]);
        const Fd readEnd(in[0]);
        if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        out_.fd.Reset(out[0]);
        const Fd outWrite(out[1]);
        if (::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        err_.fd.Reset(err[0]);
        const Fd errWrite(err[1]);

        std::vector<std::string> environment;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (env.count(entry.substr(0, entry.find('='))) == 0) environment.push_back(entry);
        }
        for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (auto& e : environment) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> argStrings{program};
        argStrings.insert(argStrings.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : argStrings) argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, readEnd.Get(), STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, outWrite.Get(), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, errWrite.Get(), STDERR_FILENO);
        const int rc = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = -1;
            throw std::runtime_error("cannot start " + program);
        }
        exited_.Reset(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
    }
    ~Child() {
        if (pid_ > 0) Stop(SIGKILL);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void Write(const std::string& text) {
        if (::write(input_.Get(), text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            throw std::runtime_error("writing to the child failed");
    }

    // The next line of standard output without its newline; nothing when none comes in time.
    std::optional<std::string> ReadLine() { return ReadLineOf(out_); }
    // The same of standard error.
    std::optional<std::string> ReadErrorLine() { return ReadLineOf(err_); }
    // Lines of standard output up to and including the first that starts with `prefix`.
    std::vector<std::string> ReadUntil(const std::string& prefix) {
        std::vector<std::string> lines;
        while (auto line = ReadLine()) {
            lines.push_back(*line);
            if (line->starts_with(prefix)) break;
        }
        return lines;
    }

    // Everything it prints until it ends (what ReadLine took excepted), and its exit status; -1 when it had
    // to be killed or died by a signal.
    int Finish(std::string& out, std::string& err) {
        input_.Reset();
        const auto deadline = std::chrono::steady_clock::now() + kChildWait;
        while (ReadBoth(deadline)) {
        }
        out = std::move(out_.text);
        err = std::move(err_.text);
        return Wait(deadline);
    }

    int Stop(int signal) {
        ::kill(pid_, signal);
        return Wait(std::chrono::steady_clock::now() + kChildWait);
    }
    void Signal(int signal) { ::kill(pid_, signal); }

  private:
    struct Stream {
        Fd fd;
        std::string text;
        bool ended = false;
    };

    static std::optional<std::string> ReadLineOf(Stream& s) {
        const auto deadline = std::chrono::steady_clock::now() + kChildWait;
        for (;;) {
            if (const auto nl = s.text.find('\n'); nl != std::string::npos) {
                std::string line = s.text.substr(0, nl);
                s.text.erase(0, nl + 1);
                return line;
            }
            if (!ReadMore(s, deadline)) return std::nullopt;
        }
    }

    // Reads what one stream has; false once it has ended or nothing came before the deadline.
    static bool ReadMore(Stream& s, std::chrono::steady_clock::time_point deadline) {
        if (s.ended) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{s.fd.Get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) != 1) return false;
        char chunk[4096];
        const ssize_t n = ::read(s.fd.Get(), chunk, sizeof chunk);
        if (n <= 0) {
            s.ended = true;
            return false;
        }
        s.text.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    // Reads what either stream has; false once both have ended or nothing came before the deadline.
    bool ReadBoth(std::chrono::steady_clock::time_point deadline) {
        Stream* streams[] = {&out_, &err_};
        pollfd p[2];
        Stream* polled[2];
        nfds_t n = 0;
        for (Stream* s : streams) {
            if (s->ended) continue;
            p[n] = {s->fd.Get(), POLLIN, 0};
            polled[n++] = s;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (n == 0 || left.count() <= 0 || ::poll(p, n, static_cast<int>(left.count())) <= 0) return false;
        for (nfds_t i = 0; i < n; ++i) {
            if (p[i].revents != 0) ReadMore(*polled[i], deadline);
        }
        return true;
    }

    int Wait(std::chrono::steady_clock::time_point deadline) {
        if (pid_ <= 0) return -1;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{exited_.Get(), POLLIN, 0};
        if (exited_.Get() < 0 || left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) != 1)
            ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t pid_ = -1;
    Fd input_;
    Stream out_;
    Stream err_;
    Fd exited_;
};

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<std::string> OutLines() const { return Lines(out); }
};

inline RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                            const Env& env) {
    Child child(program, args, env);
    RunResult r;
    r.status = child.Finish(r.out, r.err);
    return r;
}

// A settings folder of the test's own with a copy of the driver library registered in it, so that the
// driver's sequence counters, which live beside the registered library, start afresh as the emulator's do.
class RegisteredDriver {
  public:
    RegisteredDriver() {
        library_ = std::filesystem::canonical(dir_.Path()).string() + "/libTesselDrv.so";
        std::filesystem::copy_file(TESSEL_DRIVER_LIBRARY, library_);
        const RunResult r = RunProgram(TESSEL_REGSVR, {library_}, Settings());
        if (r.status != 0) throw std::runtime_error("tessel-regsvr failed: " + r.out + r.err);
    }
    // The environment that points a child at this settings folder.
    Env Settings() const { return {{"TESSEL_REGISTRY_DIR", dir_.Path()}}; }
    const std::string& Folder() const { return dir_.Path(); }

  private:
    TempDir dir_;
    std::string library_;
};

// TesselEmu serving a register at address 2 on a new pseudo-terminal; its standard input takes commands.
class Emulator {
  public:
    explicit Emulator(const Env& env, std::vector<std::string> args = {})
        : child_(TESSEL_EMU, WithAddress(std::move(args)), env) {
        const auto first = child_.ReadLine();
        if (!first || !first->starts_with("PTY /"))
            throw std::runtime_error("TesselEmu did not report its terminal");
        path_ = first->substr(4);
    }
    const std::string& Path() const { return path_; }
    // Runs one standard-input command and returns its first output line ("" when none came in time).
    std::string Command(const std::string& line) {
        child_.Write(line + "\n");
        return child_.ReadLine().value_or("");
    }

  private:
    static std::vector<std::string> WithAddress(std::vector<std::string> args) {
        args.insert(args.begin(), {"--address", "2"});
        return args;
    }

    Child child_;
    std::string path_;
};

}  // namespace cli_test
