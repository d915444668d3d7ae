#pragma once
// Child processes for the tests: the project's programs run as their users run them (standard input on a
// pipe, standard output and error on pipes of their own or error joined to output), and forked copies of the
// test program for what must happen in another process. Every wait is bounded.

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/Fd.h"

extern char** environ;

namespace tessel_test {

// Generous for a sanitizer build on a loaded machine; only a hung child ever reaches it.
constexpr std::chrono::milliseconds kChildWait{20000};

// Variables that replace or join the test program's environment in a child's.
using Env = std::map<std::string, std::string>;

// Whether `fd` becomes readable (or hung up) before `deadline`.
inline bool ReadableBefore(int fd, std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (fd < 0 || left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, static_cast<int>(left.count()));
    } while (r < 0 && errno == EINTR);
    return r == 1;
}

// Collects the wait status of the child `pid`, waiting for it to end.
inline int Reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// The wait status of the child `pid` once it ends before `deadline`, collected; nothing while it still runs.
// `exited` is its pidfd (readable once it has ended); without one nothing is waited for.
inline std::optional<int> ReapBefore(pid_t pid, int exited, std::chrono::steady_clock::time_point deadline) {
    if (!ReadableBefore(exited, deadline)) return std::nullopt;
    return Reap(pid);
}

// A descriptor that becomes readable when the child `pid` ends; -1 when the system has none.
inline int OpenPidFd(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

// The lines of a text, without their newlines.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A new pipe, both ends closed on exec. Throws std::runtime_error when the system has none to give.
inline void OpenPipe(Fd& readEnd, Fd& writeEnd) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("no pipe for a child");
    readEnd.Reset(ends[0]);
    writeEnd.Reset(ends[1]);
}

// This process's environment with the variables of `env` replacing or joining its own.
inline std::vector<std::string> ChildEnvironment(const Env& env) {
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (env.count(entry.substr(0, entry.find('='))) == 0) environment.push_back(entry);
    }
    for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
    return environment;
}

// The pointer list that exec takes, ended by a null pointer; it points into `strings`.
inline std::vector<char*> NullTerminated(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Where a child's standard error goes.
enum class ChildErrors {
    Apart,       // a pipe of its own (ReadErrorLine, Finish's `err`)
    WithOutput,  // the output pipe, so the two keep the order in which they were written
};

// A child program with its standard streams on pipes. A child still running when the object goes is killed.
class ChildProcess {
  public:
    // Starts `program` with `args`; `env` replaces or adds variables of this process's environment. Throws
    // std::runtime_error when no pipe can be had or the program cannot be started.
    ChildProcess(const std::string& program, const std::vector<std::string>& args, const Env& env = {},
                 ChildErrors errors = ChildErrors::Apart) {
        Fd inRead, outWrite, errWrite;
        OpenPipe(inRead, input_);
        OpenPipe(out_.fd, outWrite);
        if (errors == ChildErrors::Apart) {
            OpenPipe(err_.fd, errWrite);
        } else {
            err_.ended = true;
        }
        std::vector<std::string> arguments{program};
        arguments.insert(arguments.end(), args.begin(), args.end());
        std::vector<std::string> environment = ChildEnvironment(env);
        Spawn(arguments, environment, inRead.Get(), outWrite.Get(),
              errors == ChildErrors::Apart ? errWrite.Get() : outWrite.Get());
        exited_.Reset(OpenPidFd(pid_));
    }
    ~ChildProcess() {
        if (pid_ > 0) Stop(SIGKILL);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Its process id, for what the system tells about it (-1 once collected).
    pid_t Pid() const { return pid_; }

    // Writes `text` to its standard input; throws std::runtime_error when not all of it went (the child
    // closed its input or ended).
    void Write(const std::string& text) {
        // A child that has gone must fail the test, not end the test program with SIGPIPE.
        sigset_t pipeSignal, old;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &old);
        const ssize_t n = ::write(input_.Get(), text.data(), text.size());
        if (n < 0 && errno == EPIPE) {
            const timespec none{};
            ::sigtimedwait(&pipeSignal, nullptr, &none);
        }
        ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
        if (n != static_cast<ssize_t>(text.size())) throw std::runtime_error("writing to the child failed");
    }
    // Ends its standard input, as a closed terminal does.
    void CloseInput() { input_.Reset(); }

    // The next line of standard output without its newline; nothing when none comes in time.
    std::optional<std::string> ReadLine() { return ReadLineOf(out_); }
    // The same of standard error (nothing at all when it goes with the output).
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

    // Ends its input and takes everything it prints until it ends (what the line reads took excepted), and
    // its exit status; -1 when it had to be killed or died by a signal.
    int Finish(std::string& out, std::string& err) {
        input_.Reset();
        const auto deadline = std::chrono::steady_clock::now() + kChildWait;
        while (ReadBoth(deadline)) {
        }
        out = std::exchange(out_.text, {});
        err = std::exchange(err_.text, {});
        return Wait(deadline);
    }

    // Sends `signal` and collects the exit status as Finish does, without reading; -1 for a child already
    // collected.
    int Stop(int signal) {
        Signal(signal);
        return Wait(std::chrono::steady_clock::now() + kChildWait);
    }
    // Sends `signal` while the child is not yet collected (a pid of -1 would reach every process we may
    // signal).
    void Signal(int signal) {
        if (pid_ > 0) ::kill(pid_, signal);
    }

  private:
    // Starts arguments[0] with the given standard streams; throws std::runtime_error when it cannot.
    void Spawn(std::vector<std::string>& arguments, std::vector<std::string>& environment, int in, int out,
               int err) {
        const std::vector<char*> argv = NullTerminated(arguments);
        const std::vector<char*> envp = NullTerminated(environment);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
        const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            pid_ = -1;
            throw std::runtime_error("cannot start " + arguments[0]);
        }
    }

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
        if (s.ended || !ReadableBefore(s.fd.Get(), deadline)) return false;
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
        std::optional<int> status = ReapBefore(pid_, exited_.Get(), deadline);
        if (!status) {
            ::kill(pid_, SIGKILL);
            status = Reap(pid_);
        }
        pid_ = -1;
        return WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
    }

    pid_t pid_ = -1;
    Fd input_;
    Stream out_;
    Stream err_;
    Fd exited_;
};

// How a program that ran to its end ended.
struct RunResult {
    int status = -1;  // the exit status; -1 when it was killed or died by a signal
    std::string out;  // standard output (with standard error for ChildErrors::WithOutput)
    std::string err;
    std::vector<std::string> OutLines() const { return Lines(out); }
};

// Runs `program` to its end with its standard input closed at once. Throws as ChildProcess does.
inline RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                            const Env& env = {}, ChildErrors errors = ChildErrors::Apart) {
    ChildProcess child(program, args, env, errors);
    RunResult r;
    r.status = child.Finish(r.out, r.err);
    return r;
}

// A forked copy of the test program running `body`, for what must happen in another process: exit status 0
// when the body returned, 1 when it threw. Fork only while this process runs no other thread: a lock that
// another thread held at the fork stays taken in the child for ever. A child still running when the object
// goes is killed.
class ForkedChild {
  public:
    // Throws std::runtime_error when the system cannot fork.
    explicit ForkedChild(const std::function<void()>& body) : pid_(::fork()) {
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            int rc = 0;
            try {
                body();
            } catch (...) {
                rc = 1;
            }
            ::_exit(rc);
        }
        exited_.Reset(OpenPidFd(pid_));
    }
    ~ForkedChild() {
        if (pid_ > 0) {
            Kill();
            Reap(pid_);
        }
    }
    ForkedChild(const ForkedChild&) = delete;
    ForkedChild& operator=(const ForkedChild&) = delete;

    void Kill() {
        if (pid_ > 0) ::kill(pid_, SIGKILL);
    }

    // The wait status, or nothing when the child still runs after `limit` (or was collected before).
    std::optional<int> Wait(std::chrono::milliseconds limit) {
        if (pid_ <= 0) return std::nullopt;
        const std::optional<int> status =
            ReapBefore(pid_, exited_.Get(), std::chrono::steady_clock::now() + limit);
        if (status) pid_ = -1;
        return status;
    }

  private:
    pid_t pid_;
    Fd exited_;
};

// Threads of this process other than the sanitizer runtime's own: ThreadSanitizer keeps one from the first
// thread a program starts (the build says how many in TESSEL_SANITIZER_THREADS).
inline long OwnThreads() {
    return static_cast<long>(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {})) -
           TESSEL_SANITIZER_THREADS;
}

// Whether a child ended by itself with exit status 0.
inline bool ExitedCleanly(const std::optional<int>& status) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

}  // namespace tessel_test
