// A port that another program holds, and one this user may not open: the result says who holds it and
// what to do.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <utility>

#include "driver/base/untError.h"
#include "driver/link/CUComm.h"
#include "support/ChildProcess.h"
#include "support/PtyPair.h"
#include "support/ScopedEnv.h"

namespace {

using namespace tessel_test;
constexpr int kPort = 9;
constexpr uid_t kNobody = 65534;

std::string NameOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

// What opening port kPort fails with.
std::pair<int, std::string> OpenFailure() {
    TComm comm;
    comm.SetPortNumber(kPort);
    try {
        comm.Open();
    } catch (const EDriverError& e) {
        return {e.ErrorCode(), e.what()};
    }
    return {0, "opened"};
}

// Reads what a child wrote to `fd` until it closed its end.
std::string ReadAll(int fd) {
    std::string text;
    char buf[512];
    while (ReadableBefore(fd, std::chrono::steady_clock::now() + kChildWait)) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    return text;
}

TEST(PortAccess, APortLockedByAnotherProgramNamesIt) {
    PtyPair pty;
    const ScopedEnv com(PortVariable(kPort), pty.SlavePath());
    Fd ready, readyWrite;
    OpenPipe(ready, readyWrite);
    ForkedChild holder([&] {
        const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0) throw std::runtime_error("no lock");
        const pid_t self = ::getpid();
        if (::write(readyWrite.Get(), &self, sizeof self) != sizeof self) throw std::runtime_error("no word");
        ::pause();  // until killed
    });
    readyWrite.Reset();
    pid_t holderPid = 0;
    ASSERT_TRUE(ReadableBefore(ready.Get(), std::chrono::steady_clock::now() + kChildWait));
    ASSERT_EQ(::read(ready.Get(), &holderPid, sizeof holderPid), static_cast<ssize_t>(sizeof holderPid));

    const auto [code, text] = OpenFailure();
    EXPECT_EQ(code, E_PORTBUSY);
    // The child is a copy of this program, under its name.
    EXPECT_EQ(text, "Порт занят приложением: COM9 (" + pty.SlavePath() + "), процесс " +
                        std::to_string(holderPid) + " (" + NameOf(::getpid()) + ")");
}

struct PermissionCase {
    const char* name;
    mode_t mode;
    bool dialout;        // the device belongs to the group dialout, else to root
    const char* advice;  // after "нет прав на порт COM9 (PATH): "
};

void PrintTo(const PermissionCase& c, std::ostream* os) {
    *os << c.name;
}

class PortPermissionTest : public ::testing::TestWithParam<PermissionCase> {};

// A user who may not open the device is told what lets them in. The user is played by a child that gives up
// the administrator's rights, which ignore the device's mode.
TEST_P(PortPermissionTest, SaysWhatLetsTheUserIn) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs the administrator to play another user";
    const group* dialout = ::getgrnam("dialout");
    if (dialout == nullptr) GTEST_SKIP() << "no group dialout";
    PtyPair pty;
    const ScopedEnv com(PortVariable(kPort), pty.SlavePath());
    ASSERT_EQ(::chown(pty.SlavePath().c_str(), 0, GetParam().dialout ? dialout->gr_gid : 0), 0);
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), GetParam().mode), 0);
    Fd said, saidWrite;
    OpenPipe(said, saidWrite);
    ForkedChild user([&] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            throw std::runtime_error("cannot become nobody");
        const auto [code, text] = OpenFailure();
        const std::string line = std::to_string(code) + " " + text;
        if (::write(saidWrite.Get(), line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            throw std::runtime_error("no word");
    });
    saidWrite.Reset();
    EXPECT_EQ(ReadAll(said.Get()),
              "-3 Порт недоступен: нет прав на порт COM9 (" + pty.SlavePath() + "): " + GetParam().advice);
    EXPECT_TRUE(ExitedCleanly(user.Wait(kChildWait)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortPermissionTest,
    ::testing::Values(PermissionCase{"GroupDialout", 0660, true,
                                     "пользователь должен входить в группу dialout (sudo usermod -aG dialout "
                                     "nobody, затем войти в систему заново)"},
                      PermissionCase{"OwnerOnly", 0600, false,
                                     "устройство открыто только для своего владельца: правило udev из README "
                                     "отдаёт последовательные порты группе dialout, в которую должен входить "
                                     "пользователь"}),
    [](const ::testing::TestParamInfo<PermissionCase>& info) { return info.param.name; });

}  // namespace
