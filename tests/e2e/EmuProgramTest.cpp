// The TesselEmu program as a child process: its first line, frames on its pseudo-terminal, its standard-input
// commands, the port mapping it records, and its exit status.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/link/CUComm.h"
#include "driver/link/EcrFrame.h"

extern char** environ;

namespace {

constexpr int kWaitMs = 1500;

std::string ProgramPath() {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "TesselEmu").string();
}

struct Fd {
    int fd = -1;
    ~Fd() { Close(); }
    void Close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

// Waits at most kWaitMs for `fd` to become readable.
bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, kWaitMs) == 1;
}

// The program with its standard input and output on pipes; killed if a test leaves it running.
class Child {
  public:
    explicit Child(const std::vector<std::string>& args) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        stdin_.fd = in[1];
        stdout_.fd = out[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        const std::string path = ProgramPath();
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        if (rc != 0) throw std::runtime_error("cannot start " + path);
    }
    ~Child() {
        if (pid_ > 0) ::kill(pid_, SIGKILL);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void Write(const std::string& text) {
        ASSERT_EQ(::write(stdin_.fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    void CloseInput() { stdin_.Close(); }

    // The next line of its output without the newline; nullopt when none came in time.
    std::optional<std::string> ReadLine() {
        for (;;) {
            if (auto nl = buffer_.find('\n'); nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return line;
            }
            char chunk[1024];
            const ssize_t n = Readable(stdout_.fd) ? ::read(stdout_.fd, chunk, sizeof chunk) : 0;
            if (n <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // Its exit status, waiting at most kWaitMs; -1 when it did not end (it is killed then) or was killed.
    int Wait() {
        Fd exited;
        exited.fd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
        if (exited.fd < 0 || !Readable(exited.fd)) ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int Stop(int signal) {
        ::kill(pid_, signal);
        return Wait();
    }

  private:
    pid_t pid_ = -1;
    Fd stdin_;
    Fd stdout_;
    std::string buffer_;
};

// The computer's end on the program's pseudo-terminal.
class Terminal {
  public:
    struct Received {
        Bytes frame;  // unstuffed; empty when none came in time
        bool crcOk = false;
    };

    explicit Terminal(const std::string& path) {
        fd_.fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        assembler_.OnFrame = [this](TEcrFrame& f) { ready_.push_back({f.Data(), f.CrcOk()}); };
    }
    void Send(const Bytes& body) {
        const Bytes wire = BuildFrame(body);
        ASSERT_EQ(::write(fd_.fd, wire.data(), wire.size()), static_cast<ssize_t>(wire.size()));
    }
    Received Frame() {
        std::uint8_t chunk[512];
        while (ready_.empty() && Readable(fd_.fd)) {
            const ssize_t n = ::read(fd_.fd, chunk, sizeof chunk);
            if (n > 0) assembler_.Feed(chunk, static_cast<std::size_t>(n));
        }
        if (ready_.empty()) return {};
        Received out = std::move(ready_.front());
        ready_.pop_front();
        return out;
    }

  private:
    Fd fd_;
    TEcrFrame assembler_;
    std::deque<Received> ready_;
};

class EmuProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(ProgramPath())) GTEST_SKIP() << "TesselEmu is not built";
    }
    // Starts the program; the terminal's path from its first line.
    std::string Start(const std::vector<std::string>& args) {
        child_ = std::make_unique<Child>(args);
        const auto first = child_->ReadLine();
        EXPECT_TRUE(first && first->rfind("PTY /", 0) == 0) << first.value_or("(none)");
        return first && first->size() > 4 ? first->substr(4) : std::string();
    }

    std::unique_ptr<Child> child_;
};

class EmuProgramStops : public EmuProgram, public ::testing::WithParamInterface<int> {};

TEST_P(EmuProgramStops, ServesItsTerminalRecordsThePortAndExitsZeroOnASignal) {
    const std::string path = Start({"--address", "2", "--com", "4"});
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(CommDevicePath(4), path);  // where the driver's port 4 looks
    child_->CloseInput();                // without input it still serves the line
    Terminal computer(path);
    computer.Send({2, 1, 0x00, 0, 0, 0x01, 0x11});
    const Bytes answer = computer.Frame().frame;
    ASSERT_EQ(answer.size(), 32u);
    EXPECT_EQ((Bytes{answer[2], answer[7], answer[8]}), (Bytes{2, 0x11, 0x00}));  // from 2, status, result 0
    EXPECT_EQ(child_->Stop(GetParam()), 0);
}

INSTANTIATE_TEST_SUITE_P(Signals, EmuProgramStops, ::testing::Values(SIGTERM, SIGINT));

TEST_F(EmuProgram, CommandsOnStandardInputPlayRequestsAndFaults) {
    const std::string path = Start({"--address", "3", "--timeout", "200", "--corrupt", "1"});
    ASSERT_FALSE(path.empty());
    Terminal computer(path);

    child_->Write("send 3 83 01 02\n");
    const Bytes request = computer.Frame().frame;
    ASSERT_EQ(request.size(), 12u);
    EXPECT_EQ((Bytes(request.begin() + 1, request.end() - 2)),
              (Bytes{1, 3, 0x00, 0, 0, 3, 0x83, 0x01, 0x02}));
    computer.Send({3, 1, 0x01, 0, 9, 0x03, 0x83, 0x00, 0x55});
    EXPECT_EQ(child_->ReadLine(), "ANSWER 0 \"Ошибок нет\" DATA 55");
    child_->Write("send 3 83\n");
    EXPECT_EQ(computer.Frame().frame.size(), 10u);
    EXPECT_EQ(child_->ReadLine(), "NO ANSWER");

    // Answer 1 goes out corrupted (option); answer 2 is dropped (command), so the repetition is answer 3.
    child_->Write("drop +2\n");
    EXPECT_EQ(child_->ReadLine(), "OK answer 2 will be dropped");
    computer.Send({3, 1, 0x00, 0, 0, 0x01, 0x13});
    EXPECT_FALSE(computer.Frame().crcOk);
    computer.Send({3, 1, 0x00, 1, 1, 0x01, 0x13});
    computer.Send({3, 1, 0x00, 1, 1, 0x01, 0x13});
    EXPECT_TRUE(computer.Frame().crcOk);
    child_->Write("count 3 13\n");
    EXPECT_EQ(child_->ReadLine(), "COUNT 2");

    child_->Write("send 9 83\nfrobnicate\n");
    EXPECT_EQ(child_->ReadLine().value_or("").rfind("ERROR ", 0), 0u);
    EXPECT_EQ(child_->ReadLine().value_or("").rfind("ERROR ", 0), 0u);
    EXPECT_EQ(child_->Stop(SIGTERM), 0);
}

TEST_F(EmuProgram, ExitStatusOfHelpAndOfFailures) {
    child_ = std::make_unique<Child>(std::vector<std::string>{"--help"});
    EXPECT_EQ(child_->ReadLine().value_or("").rfind("Usage: TesselEmu", 0), 0u);
    EXPECT_EQ(child_->Wait(), 0);
    child_ = std::make_unique<Child>(std::vector<std::string>{"--address", "0"});
    EXPECT_EQ(child_->Wait(), 2);
    child_ = std::make_unique<Child>(std::vector<std::string>{"--device", "/nonexistent/tty"});
    EXPECT_EQ(child_->Wait(), 1);
}

}  // namespace
