// The port's device path on Linux: the environment, then the settings store, then the system's name; and
// who holds a busy port, as a lock file in a folder anyone may write tells it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <string>

#include "common/platform/AtomicFile.h"
#include "common/platform/Registry.h"
#include "driver/link/CUComm.h"
#include "driver/link/CUCommAddress.h"
#include "driver/link/CUCommAccess.h"
#include "support/PeakMemory.h"
#include "support/TempDir.h"

namespace {

TEST(Comm, DevicePathFromEnvironmentThenSettingsThenSystemName) {
    const char* key = "Software\\Korvex\\TesselDrv\\TesselDrv\\Ports";
    ::unsetenv("TESSEL_COM9");
    EXPECT_EQ(CommDevicePath(9), "/dev/ttyS8");

    tessel::Registry registry;
    ASSERT_TRUE(registry.OpenKey(key, true));
    registry.WriteString("COM9", "/dev/ttyUSB0");
    EXPECT_EQ(CommDevicePath(9), "/dev/ttyUSB0");
    EXPECT_EQ(CommDevicePath(10), "/dev/ttyS9");
    ::setenv("TESSEL_COM9", "", 1);  // empty counts as unset
    EXPECT_EQ(CommDevicePath(9), "/dev/ttyUSB0");
    ::setenv("TESSEL_COM9", "/dev/pts/7", 1);
    EXPECT_EQ(CommDevicePath(9), "/dev/pts/7");

    ::unsetenv("TESSEL_COM9");
    registry.DeleteKey(key);
}

// A network mapping is no device path: the port's title names the address, a serial port's its number only.
TEST(Comm, APortMappedToANetworkAddressIsTitledWithIt) {
    ::setenv("TESSEL_COM5", "tcp://10.0.0.7:4001", 1);
    ::setenv("TESSEL_COM6", "/dev/ttyUSB0", 1);
    EXPECT_TRUE(IsNetworkPort(5));
    EXPECT_FALSE(IsNetworkPort(6));
    EXPECT_EQ(CommPortTitle(5), "COM5 (tcp://10.0.0.7:4001)");
    EXPECT_EQ(CommPortTitle(6), "COM6");
    ::unsetenv("TESSEL_COM5");
    ::unsetenv("TESSEL_COM6");
}

// ---- the holder a lock file names ----

struct LockCase {
    const char* name;
    // Plants the lock file at `lock`; `pidText` is a live process's pid as a lock file writes it.
    std::function<void(const TempDir& dir, const std::string& lock, const std::string& pidText)> plant;
    bool named;
};

void PrintTo(const LockCase& c, std::ostream* os) {
    *os << c.name;
}

class LockFiles : public ::testing::TestWithParam<LockCase> {};

// Whatever is planted, the answer comes at once, takes no memory to speak of, and names the holder only
// when the lock is a plain file.
TEST_P(LockFiles, NameTheHolderOnlyFromAPlainFile) {
    TempDir dir;
    const std::string device = dir.File("ttyT9");
    tessel::WriteFileAtomically(device, "");
    const std::string lock = dir.File("LCK..ttyT9");
    const std::string parent = std::to_string(::getppid());
    GetParam().plant(dir, lock, std::string(10 - parent.size(), ' ') + parent + "\n");

    const long before = tessel_test::PeakKilobytes();
    auto holder = std::async(std::launch::async,
                             [&] { return tessel_comm::PortHolder(device, ::getpid(), {dir.Path()}); });
    if (holder.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // A reader stuck on a FIFO is let go by a writer, so that the test can end.
        const int fd = ::open(lock.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
        ADD_FAILURE() << "the lock file held the caller";
    }
    const std::string named = holder.get();
    EXPECT_LT(tessel_test::PeakKilobytes() - before, 64 * 1024)
        << "kilobytes taken while reading the lock file";
    EXPECT_EQ(named.substr(0, parent.size() + 1), GetParam().named ? parent + " " : "") << named;
}

INSTANTIATE_TEST_SUITE_P(
    Planted, LockFiles,
    ::testing::Values(LockCase{"PlainFile",
                               [](const TempDir&, const std::string& lock, const std::string& pid) {
                                   tessel::WriteFileAtomically(lock, pid);
                               },
                               true},
                      // Only the start of a file is read: a sparse gibibyte after the pid costs nothing.
                      LockCase{"HugeSparseFile",
                               [](const TempDir&, const std::string& lock, const std::string& pid) {
                                   tessel::WriteFileAtomically(lock, pid);
                                   std::filesystem::resize_file(lock, std::uintmax_t{1} << 30);
                               },
                               true},
                      LockCase{"Fifo",
                               [](const TempDir&, const std::string& lock, const std::string&) {
                                   ASSERT_EQ(::mkfifo(lock.c_str(), 0666), 0);
                               },
                               false},
                      LockCase{"LinkToAPlainFile",
                               [](const TempDir& dir, const std::string& lock, const std::string& pid) {
                                   tessel::WriteFileAtomically(dir.File("elsewhere"), pid);
                                   std::filesystem::create_symlink(dir.File("elsewhere"), lock);
                               },
                               false},
                      LockCase{"Folder",
                               [](const TempDir&, const std::string& lock, const std::string&) {
                                   std::filesystem::create_directory(lock);
                               },
                               false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
