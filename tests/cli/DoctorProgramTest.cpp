// tessel doctor as a new user meets it: a working setup, and each thing that keeps a register from working,
// which doctor must name in one line, with what to do, and fail for.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/DriverRegistration.h"
#include "support/EmulatorProgram.h"
#include "support/PtyPair.h"
#include "support/TempDir.h"
#include "tools/tessel/DoctorSystem.h"

using namespace tessel_test;

namespace {

// What is on COM1 for one case.
enum class Line { Register, RegisterAt9600, Nothing, HeldRegister, Unregistered };

struct DoctorCase {
    const char* name;
    Line line;
    const char* failure;  // the one FAIL line must contain this; nullptr: all is well
};

void PrintTo(const DoctorCase& c, std::ostream* os) {
    *os << c.name;
}

class Doctor : public ::testing::TestWithParam<DoctorCase> {
  protected:
    RegisteredCopy driver_;
    TempDir empty_;
};

TEST_P(Doctor, NamesTheCauseInOneLine) {
    const DoctorCase& c = GetParam();
    std::optional<EmulatorProgram> emulator;
    std::optional<PtyPair> silent;
    std::string port;
    if (c.line == Line::Nothing) {
        silent.emplace();
        port = silent->SlavePath();
    } else {
        emulator.emplace(c.line == Line::RegisterAt9600
                             ? std::vector<std::string>{"--address", "2", "--baud", "9600"}
                             : kRegisterAt2,
                         driver_.Settings());
        port = emulator->Path();
    }
    // A program that holds the port the way serial programs do: open, with an advisory lock.
    int holder = -1;
    if (c.line == Line::HeldRegister) {
        holder = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(holder, 0);
        ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    }
    Env env = c.line == Line::Unregistered ? Env{{"TESSEL_REGISTRY_DIR", empty_.Path()}} : driver_.Settings();
    env["TESSEL_COM1"] = port;
    const RunResult r = RunProgram(TESSEL_CLI, {"doctor"}, env);
    if (holder >= 0) ::close(holder);

    const std::vector<std::string> lines = r.OutLines();
    std::vector<std::string> failures;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(failures),
                 [](const std::string& l) { return l.starts_with("FAIL") || l.starts_with("warn"); });
    if (c.failure == nullptr) {
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_TRUE(failures.empty()) << r.out;
        EXPECT_EQ(lines.back(), "All is well.");
        return;
    }
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    ASSERT_EQ(failures.size(), 1u) << r.out;
    EXPECT_NE(failures[0].find(c.failure), std::string::npos) << r.out;
    // What to do follows the cause.
    const auto at = std::find(lines.begin(), lines.end(), failures[0]);
    ASSERT_NE(at + 1, lines.end());
    EXPECT_TRUE((at + 1)->starts_with("      -> ")) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Doctor,
    ::testing::Values(DoctorCase{"Healthy", Line::Register, nullptr},
                      DoctorCase{"Unregistered", Line::Unregistered, "driver: not registered for this user"},
                      DoctorCase{"HeldByAnotherProgram", Line::HeldRegister, "is held by another program: "},
                      DoctorCase{"RegisterAtAnotherSpeed", Line::RegisterAt9600,
                                 "does not answer at the saved 4800 baud, but answers at 9600 baud"},
                      DoctorCase{"NoRegister", Line::Nothing,
                                 "no register answers at address 2 at any speed"}),
    [](const auto& info) { return std::string(info.param.name); });

// Who may open a device, for users the test makes up: the administrator opens anything.
struct AccessCase {
    const char* name;
    tessel::cli::DeviceAccess device;
    tessel::cli::UserIdentity user;
    const char* cause;  // nullptr: may open
    const char* todo;
};

void PrintTo(const AccessCase& c, std::ostream* os) {
    *os << c.name;
}

class DoctorAccess : public ::testing::TestWithParam<AccessCase> {};

TEST_P(DoctorAccess, SaysWhoMayOpenAndWhatToDo) {
    const AccessCase& c = GetParam();
    const auto problem = tessel::cli::PermissionProblem(c.device, c.user);
    if (c.cause == nullptr) {
        EXPECT_FALSE(problem) << problem->cause;
        return;
    }
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->cause.find(c.cause), std::string::npos) << problem->cause;
    EXPECT_NE(problem->todo.find(c.todo), std::string::npos) << problem->todo;
}

const tessel::cli::DeviceAccess kDialoutPort{0660, 0, 20, "dialout"};
const tessel::cli::UserIdentity kCashier{1001, "cashier", {1001}, {1001}};

INSTANTIATE_TEST_SUITE_P(
    Cases, DoctorAccess,
    ::testing::Values(
        AccessCase{"NotInTheGroup", kDialoutPort, kCashier,
                   "only the group dialout may open it, and cashier is not in it",
                   "sudo usermod -aG dialout cashier"},
        AccessCase{"AddedButNotLoggedInAgain",
                   kDialoutPort,
                   {1001, "cashier", {1001}, {1001, 20}},
                   "was added to it but has not logged in again",
                   "log out and in again"},
        AccessCase{"InTheGroup", kDialoutPort, {1001, "cashier", {1001, 20}, {1001, 20}}, nullptr, nullptr},
        AccessCase{"Administrator", {0600, 0, 0, "root"}, {0, "root", {0}, {0}}, nullptr, nullptr},
        AccessCase{"OwnerOnly", {0600, 0, 0, "root"}, kCashier, "only its owner may open it", "udev rule"},
        AccessCase{"Owner", {0600, 1001, 0, "root"}, kCashier, nullptr, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
