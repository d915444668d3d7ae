// The emulator's script waits for the computer to open the line before the register sends its first request,
// starts anyway once its bound has passed, and is not played when the emulator is stopped meanwhile.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "tools/emulator/EmuProgram.h"

namespace {

using Clock = std::chrono::steady_clock;

EmuProgramOptions ScriptOptions(const TempDir& dir, std::uint32_t waitMs) {
    std::ofstream(dir.File("script.txt")) << "81 Code=123 Quantity=1.000\n";
    EmuProgramOptions options;
    options.scriptFile = dir.File("script.txt");
    options.scriptWaitMs = waitMs;
    options.answerTimeoutMs = 200;
    return options;
}

TEST(EmuScriptWait, TheFirstRequestGoesOutOnceTheComputerHasOpenedTheLine) {
    TempDir dir;
    Emulator emulator(ScriptOptions(dir, 10000));
    Bytes received;
    std::thread computer([&] {
        // Late, as a person starts the client in another terminal; what was sent before is discarded, as the
        // driver discards unread input.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        tessel_test::Fd fd(::open(emulator.Line().Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        ::tcflush(fd.Get(), TCIFLUSH);
        std::uint8_t buf[64];
        if (tessel_test::ReadableBefore(fd.Get(), Clock::now() + std::chrono::seconds(5))) {
            const ssize_t n = ::read(fd.Get(), buf, sizeof buf);
            if (n > 0) received.assign(buf, buf + n);
        }
    });
    const std::string played = emulator.PlayScript();
    computer.join();
    // 7E, to the computer (1) from the register (2), a request, its counters, the length and 81h.
    ASSERT_GE(received.size(), 8u) << played;
    EXPECT_EQ(received[0], 0x7E);
    EXPECT_EQ(received[1], 0x01);
    EXPECT_EQ(received[2], 0x02);
    EXPECT_EQ(received[3], 0x00);
    EXPECT_EQ(received[7], 0x81);
}

TEST(EmuScriptWait, WithoutAComputerTheScriptStartsOnceTheBoundHasPassed) {
    TempDir dir;
    Emulator emulator(ScriptOptions(dir, 300));
    const auto start = Clock::now();
    const std::string played = emulator.PlayScript();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_GE(ms, 300 + 200 - 5);  // the bound, then the request's own time-out
    EXPECT_LT(ms, 5000);
    EXPECT_NE(played.find("time-out"), std::string::npos) << played;
}

TEST(EmuScriptWait, AStopDuringTheWaitEndsItAtOnceAndNothingIsPlayed) {
    TempDir dir;
    Emulator emulator(ScriptOptions(dir, 10000));
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    const tessel_test::Fd stop(ends[0]);
    const tessel_test::Fd signal(ends[1]);
    std::thread person([&] {
        // Ctrl-C while no program has come to the line yet.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        [[maybe_unused]] const ssize_t n = ::write(signal.Get(), "x", 1);
    });
    const auto start = Clock::now();
    const std::string played = emulator.PlayScript(stop.Get());
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    person.join();
    EXPECT_LT(ms, 2000);
    EXPECT_EQ(played, "");
}

}  // namespace
