// A log held by another process (Linux, where the lock is the same for every process on the machine).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

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

}  // namespace
