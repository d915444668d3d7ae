// The counters file among processes and special files (Linux): another process takes the next free number; a
// FIFO that carries a counters name is passed over and refused without blocking.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "driver/engine/untCounter.h"
#include "support/TempDir.h"

namespace {

// The number of the file that a new process takes in `dir` (its exit status), or -1 when it fails.
int NumberTakenByAnotherProcess(const std::string& dir) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int number = 255;
        try {
            const auto counters = TCounters::OpenInDirectory(dir);
            for (int n = 0; n < 10; ++n)
                if (counters->FileName() == dir + "/" + TCounters::FileNameFor(n)) number = n;
        } catch (...) {
        }
        ::_exit(number);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}

TEST(CountersFile, AnotherProcessTakesTheNextFreeNumber) {
    TempDir dir;
    EXPECT_EQ(NumberTakenByAnotherProcess(dir.Path()), 0);
    {
        const auto first = TCounters::OpenInDirectory(dir.Path());
        EXPECT_EQ(first->FileName(), dir.File("Counters0.dat"));
        EXPECT_EQ(NumberTakenByAnotherProcess(dir.Path()), 1);
        EXPECT_EQ(std::filesystem::file_size(dir.File("Counters0.dat")), TCounters::kFileSize);
    }
    EXPECT_EQ(NumberTakenByAnotherProcess(dir.Path()), 0);
}

TEST(CountersFile, NamesInUseOrNotFilesArePassedOver) {
    TempDir dir;
    const auto held = TCounters::OpenInDirectory(dir.Path());
    ASSERT_EQ(::mkdir(dir.File("Counters1.dat").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo(dir.File("Counters2.dat").c_str(), 0644), 0);
    EXPECT_EQ(TCounters::OpenInDirectory(dir.Path())->FileName(), dir.File("Counters3.dat"));
    EXPECT_THROW(TCounters::OpenInDirectory(dir.Path(), 3), std::runtime_error);
}

TEST(CountersFile, FailuresAreSystemErrorsNamingTheFile) {
    TempDir dir;
    const auto held = TCounters::OpenInDirectory(dir.Path());
    ASSERT_EQ(::mkdir(dir.File("d").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo(dir.File("f").c_str(), 0644), 0);
    const std::pair<std::string, std::errc> cases[] = {
        {held->FileName(), std::errc::device_or_resource_busy},
        {dir.File("none/c.dat"), std::errc::no_such_file_or_directory},
        {dir.File("d"), std::errc::is_a_directory},
        {dir.File("f"), std::errc::invalid_argument},
    };
    for (const auto& [name, error] : cases) {
        try {
            TCounters counters(name);
            ADD_FAILURE() << name << " was opened";
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code(), error) << name;
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(TCounters::OpenInDirectory(dir.File("none")), std::system_error);
}

}  // namespace
