// The TesselEmu program as a child process: its first line, frames on its pseudo-terminal, its standard-input
// commands, the port mapping it records, and its exit status.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "driver/link/CUComm.h"
#include "driver/link/CUCommSpeed.h"
#include "driver/link/EcrFrame.h"
#include "support/ChildProcess.h"
#include "support/EmulatorProgram.h"
#include "support/Fd.h"
#include "tools/emulator/EmuProgram.h"

namespace {

using tessel_test::ChildProcess;
using tessel_test::EmulatorProgram;

// How long the computer's end waits for a frame.
constexpr std::chrono::milliseconds kFrameWait{1500};

// The computer's end on the program's pseudo-terminal.
class Terminal {
  public:
    struct Received {
        Bytes frame;  // unstuffed; empty when none came in time
        bool crcOk = false;
    };

    explicit Terminal(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        assembler_.OnFrame = [this](TEcrFrame& f) { ready_.push_back({f.Data(), f.CrcOk()}); };
    }
    // Sets the line's speed, as a driver does when it opens its port.
    void SetSpeed(std::uint32_t baud) { ASSERT_EQ(tessel_comm::SetLineRate(fd_.Get(), baud), 0); }
    void Send(const Bytes& body) {
        const Bytes wire = BuildFrame(body);
        ASSERT_EQ(::write(fd_.Get(), wire.data(), wire.size()), static_cast<ssize_t>(wire.size()));
    }
    Received Frame() {
        std::uint8_t chunk[512];
        while (ready_.empty() &&
               tessel_test::ReadableBefore(fd_.Get(), std::chrono::steady_clock::now() + kFrameWait)) {
            const ssize_t n = ::read(fd_.Get(), chunk, sizeof chunk);
            if (n > 0) assembler_.Feed(chunk, static_cast<std::size_t>(n));
        }
        if (ready_.empty()) return {};
        Received out = std::move(ready_.front());
        ready_.pop_front();
        return out;
    }

  private:
    tessel_test::Fd fd_;
    TEcrFrame assembler_;
    std::deque<Received> ready_;
};

class EmuProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(EmulatorProgram::Program())) GTEST_SKIP() << "TesselEmu is not built";
    }
    // Starts the program; the terminal's path from its first line.
    std::string Start(const std::vector<std::string>& args) {
        emulator_ = std::make_unique<EmulatorProgram>(args);
        return emulator_->Path();
    }
    ChildProcess& Child() { return emulator_->Process(); }

    std::unique_ptr<EmulatorProgram> emulator_;
};

class EmuProgramStops : public EmuProgram, public ::testing::WithParamInterface<int> {};

TEST_P(EmuProgramStops, ServesItsTerminalRecordsThePortAndExitsZeroOnASignalForgettingIt) {
    const std::string path = Start({"--address", "2", "--com", "4"});
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(CommDevicePath(4), path);  // where the driver's port 4 looks
    Child().CloseInput();                // without input it still serves the line
    Terminal computer(path);
    computer.Send({2, 1, 0x00, 0, 0, 0x01, 0x11});
    const Bytes answer = computer.Frame().frame;
    ASSERT_EQ(answer.size(), 32u);
    EXPECT_EQ((Bytes{answer[2], answer[7], answer[8]}), (Bytes{2, 0x11, 0x00}));  // from 2, status, result 0
    EXPECT_EQ(Child().Stop(GetParam()), 0);
    // Its terminal's name goes to the next terminal opened: port 4 must not lead there.
    EXPECT_EQ(CommDevicePath(4), "/dev/ttyS3");
}

// A mapping that another emulator has taken over is left to it.
TEST_F(EmuProgram, LeavesAPortThatAnotherProgramTookOver) {
    Start({"--address", "2", "--com", "4"});
    RecordComPort(4, "/dev/pts/other");
    EXPECT_EQ(Child().Stop(SIGTERM), 0);
    EXPECT_EQ(CommDevicePath(4), "/dev/pts/other");
}

INSTANTIATE_TEST_SUITE_P(Signals, EmuProgramStops, ::testing::Values(SIGTERM, SIGINT));

// Without --baud the registers listen at the driver's default speed; a driver at another one is told
// nothing by the line, so the emulator's terminal says it, once for each speed.
TEST_F(EmuProgram, AnswersOnlyAtItsSpeedAndSaysWhyNot) {
    const std::string path = Start({"--address", "2"});
    Terminal computer(path);
    for (int i = 0; i < 2; ++i) {
        computer.SetSpeed(9600);
        computer.Send({2, 1, 0x00, 0, 0, 0x01, 0x11});
        EXPECT_TRUE(computer.Frame().frame.empty());
        computer.SetSpeed(4800);
        computer.Send({2, 1, 0x00, 0, 0, 0x01, 0x11});
        EXPECT_EQ(computer.Frame().frame.size(), 32u);
    }
    EXPECT_EQ(Child().Stop(SIGTERM), 0);
    std::string out, err;
    Child().Finish(out, err);
    EXPECT_EQ(err,
              "TesselEmu: not understood: the line runs at 9600 baud, the registers at 4800 (see --baud)\n");
}

TEST_F(EmuProgram, CommandsOnStandardInputPlayRequestsAndFaults) {
    const std::string path = Start({"--address", "3", "--timeout", "200", "--corrupt", "1"});
    ASSERT_FALSE(path.empty());
    Terminal computer(path);

    Child().Write("send 3 83 01 02\n");
    const Bytes request = computer.Frame().frame;
    ASSERT_EQ(request.size(), 12u);
    EXPECT_EQ((Bytes(request.begin() + 1, request.end() - 2)),
              (Bytes{1, 3, 0x00, 0, 0, 3, 0x83, 0x01, 0x02}));
    computer.Send({3, 1, 0x01, 0, 9, 0x03, 0x83, 0x00, 0x55});
    EXPECT_EQ(Child().ReadLine(), "ANSWER 0 \"Ошибок нет\" DATA 55");
    Child().Write("send 3 83\n");
    EXPECT_EQ(computer.Frame().frame.size(), 10u);
    EXPECT_EQ(Child().ReadLine(), "NO ANSWER");

    // Answer 1 goes out corrupted (option); answer 2 is dropped (command), so the repetition is answer 3.
    Child().Write("drop +2\n");
    EXPECT_EQ(Child().ReadLine(), "OK answer 2 will be dropped");
    computer.Send({3, 1, 0x00, 0, 0, 0x01, 0x13});
    EXPECT_FALSE(computer.Frame().crcOk);
    computer.Send({3, 1, 0x00, 1, 1, 0x01, 0x13});
    computer.Send({3, 1, 0x00, 1, 1, 0x01, 0x13});
    EXPECT_TRUE(computer.Frame().crcOk);
    Child().Write("count 3 13\n");
    EXPECT_EQ(Child().ReadLine(), "COUNT 2");

    Child().Write("send 9 83\nfrobnicate\n");
    EXPECT_EQ(Child().ReadLine().value_or("").rfind("ERROR ", 0), 0u);
    EXPECT_EQ(Child().ReadLine().value_or("").rfind("ERROR ", 0), 0u);
    EXPECT_EQ(Child().Stop(SIGTERM), 0);
}

TEST_F(EmuProgram, ExitStatusOfHelpAndOfFailures) {
    std::string out, err;
    ChildProcess help(EmulatorProgram::Program(), {"--help"});
    EXPECT_EQ(help.ReadLine().value_or("").rfind("Usage: TesselEmu", 0), 0u);
    EXPECT_EQ(help.Finish(out, err), 0);
    EXPECT_EQ(ChildProcess(EmulatorProgram::Program(), {"--address", "0"}).Finish(out, err), 2);
    EXPECT_EQ(ChildProcess(EmulatorProgram::Program(), {"--device", "/nonexistent/tty"}).Finish(out, err), 1);
}

}  // namespace
