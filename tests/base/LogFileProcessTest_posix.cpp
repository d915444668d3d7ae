// One log written by several processes at once, capped small so that it rotates all the time (Linux, where
// the writers' turns are the same for every process on the machine), and the log kept private to its owner
// whatever was at its name before.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "common/platform/AtomicFile.h"
#include "driver/base/untLogFile.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace {

struct RotationCase {
    const char* name;
    int keptFiles;
    bool allKept;  // the files kept hold every line written
};

void PrintTo(const RotationCase& c, std::ostream* os) {
    *os << c.name;
}

class LogRotation : public ::testing::TestWithParam<RotationCase> {};

constexpr int kWriters = 2;
constexpr int kLinesEach = 50000;
constexpr std::uint64_t kCap = 64 * 1024;

// Every line a writer process puts in the log: its number, its sequence number, and a tail long enough that
// a line cut or mixed with another could not pass for a whole one.
std::string LineOf(int writer, int seq) {
    return "w" + std::to_string(writer) + " " + std::to_string(seq) + " " +
           std::string(20 + seq % 17, 'a' + writer);
}

TEST_P(LogRotation, TwoProcessesLoseSplitAndMixNoLine) {
    const RotationCase& c = GetParam();
    // Each line is flushed to the disk; a memory file system keeps the 10^5 flushes quick.
    const bool shm = std::filesystem::is_directory("/dev/shm") && std::getenv("TMPDIR") == nullptr;
    std::optional<tessel_test::ScopedEnv> memory;
    if (shm) memory.emplace("TMPDIR", "/dev/shm");
    TempDir dir;
    const std::string path = dir.File("a.log");
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TLogFile log;
            log.SetRotation(kCap, c.keptFiles);
            log.SetFileName(path);
            log.SetEnabled(true);
            for (int i = 0; i < kLinesEach; ++i) log.Write(LineOf(w, i));
            _exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    // Oldest file first: the lines of each writer must come in its order, without a gap.
    std::vector<std::string> files;
    for (int n = c.keptFiles; n >= 1; --n) {
        if (std::filesystem::exists(TLogFile::RotatedName(path, n)))
            files.push_back(TLogFile::RotatedName(path, n));
    }
    files.push_back(path);
    EXPECT_FALSE(std::filesystem::exists(TLogFile::RotatedName(path, c.keptFiles + 1)));
    ASSERT_GT(files.size(), 2u) << "the log never rotated";

    const std::regex line(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d\.\d{3} w(\d) (\d+) ([a-z]+))");
    std::map<int, int> next;  // the sequence number expected next from each writer
    std::map<int, int> first;
    for (const std::string& file : files) {
        std::string text;
        tessel::ReadWholeFile(file, text);
        EXPECT_LE(text.size(), kCap) << file;
        std::size_t pos = 0;
        while (pos < text.size()) {
            const auto end = text.find("\r\n", pos);
            ASSERT_NE(end, std::string::npos) << file << ": a line without its end";
            const std::string one = text.substr(pos, end - pos);
            pos = end + 2;
            std::smatch m;
            ASSERT_TRUE(std::regex_match(one, m, line)) << file << ": " << one;
            const int w = std::stoi(m[1]);
            const int seq = std::stoi(m[2]);
            ASSERT_EQ(m[3].str(), LineOf(w, seq).substr(LineOf(w, seq).rfind(' ') + 1)) << one;
            if (!next.count(w)) first[w] = next[w] = seq;
            ASSERT_EQ(seq, next[w]) << "writer " << w << " in " << file;
            ++next[w];
        }
    }
    ASSERT_FALSE(next.empty());
    for (int w = 0; w < kWriters; ++w) {
        // With few files kept, a writer that finished early (a busy machine may run the two one after the
        // other) may have all its lines rotated away; one that is there ends with its last line.
        if (!c.allKept && !next.count(w)) continue;
        EXPECT_EQ(next[w], kLinesEach) << "writer " << w << "'s last line";
        if (c.allKept) {
            EXPECT_EQ(first[w], 0) << "writer " << w << "'s first line";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LogRotation,
                         ::testing::Values(RotationCase{"EveryFileKept", 200, true},
                                           RotationCase{"DefaultKeptFiles", TLogFile::kDefaultKeptFiles,
                                                        false}),
                         [](const auto& info) { return std::string(info.param.name); });

std::string ReadAll(const std::string& path) {
    std::string s;
    tessel::ReadWholeFile(path, s);
    return s;
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
    if (GetParam().written) {
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
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
