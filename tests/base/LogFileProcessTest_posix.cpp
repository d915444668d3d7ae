// A log held by another process (Linux, where the lock is the same for every process on the machine), and
// the log kept private to its owner whatever was at its name before.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "common/platform/AtomicFile.h"
#include "driver/base/untLogFile.h"
#include "support/TempDir.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::string s;
    tessel::ReadWholeFile(path, s);
    return s;
}

TEST(LogFile, HeldByAnotherProcessFailsSilently) {
    TempDir dir;
    const auto path = dir.File("a.log");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    int release[2];
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TLogFile other;
        other.SetFileName(path);
        other.SetEnabled(true);
        other.Write("child");
        char c = 1;
        (void)!write(ready[1], &c, 1);
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    TLogFile log;
    log.SetFileName(path);
    log.SetEnabled(true);
    log.Write("parent while held");
    (void)!write(release[1], &c, 1);
    int status = 0;
    waitpid(child, &status, 0);
    log.Write("parent after release");
    const auto text = ReadAll(path);
    EXPECT_NE(text.find("child"), std::string::npos);
    EXPECT_EQ(text.find("parent while held"), std::string::npos);
    EXPECT_NE(text.find("parent after release"), std::string::npos);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

// What was at the log's name before the driver wrote to it.
struct PlantedLog {
    const char* name;
    std::function<void(const TempDir& dir, const std::string& log)> plant;
    bool written;  // the line goes into the log
};

void PrintTo(const PlantedLog& c, std::ostream* os) {
    *os << c.name;
}

class PrivateLog : public ::testing::TestWithParam<PlantedLog> {};

// The log carries the frames of table writes, cashiers' passwords among them: whatever it is written to
// is readable by its owner only, and it is never a file that someone else could read.
TEST_P(PrivateLog, IsOursAndReadableByUsAlone) {
    TempDir dir;
    const std::string path = dir.File("TesselDrv.log");
    GetParam().plant(dir, path);
    if (IsSkipped() || HasFatalFailure()) return;
    {
        TLogFile log;
        log.SetFileName(path);
        log.SetEnabled(true);
        log.Write("frame");
    }
    // Read through a link too: the file it names must not have the line either.
    EXPECT_EQ(ReadAll(path).find("frame") != std::string::npos, GetParam().written);
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    if (GetParam().written) EXPECT_EQ(st.st_mode & 0777, 0600u);
}

INSTANTIATE_TEST_SUITE_P(
    Planted, PrivateLog,
    ::testing::Values(PlantedLog{"Nothing", [](const TempDir&, const std::string&) {}, true},
                      PlantedLog{"OursReadableByAll",
                                 [](const TempDir&, const std::string& log) {
                                     tessel::WriteFileAtomically(log, "old line\r\n", 0644);
                                 },
                                 true},
                      PlantedLog{"LinkToAFile",
                                 [](const TempDir& dir, const std::string& log) {
                                     tessel::WriteFileAtomically(dir.File("target"), "someone's file\n",
                                                                 0644);
                                     std::filesystem::create_symlink(dir.File("target"), log);
                                 },
                                 false},
                      PlantedLog{"AnotherUsersFile",
                                 [](const TempDir&, const std::string& log) {
                                     // Only the administrator can give a file away; another user's file
                                     // exists for others.
                                     if (::geteuid() != 0)
                                         GTEST_SKIP() << "needs to give a file to another user";
                                     tessel::WriteFileAtomically(log, "", 0644);
                                     ASSERT_EQ(::chown(log.c_str(), 65534, 65534), 0);
                                 },
                                 false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
