// The line statistics file shared by processes that update one record at once while another reads it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "driver/engine/untLineStats.h"
#include "support/TempDir.h"

namespace {

using C = TLineCounter;

TEST(LineStats, WritersInSeveralProcessesLoseNoUpdateAndAReaderSeesOnlyWholeOnes) {
    constexpr int kWriters = 2;
    constexpr int kUpdates = 5000;
    constexpr std::size_t kBytes = 10;
    TempDir dir;
    const std::string file = TLineStats::FileIn(dir.Path());
    TLineStats mine(file);  // the file exists before anyone reads it
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TLineStats stats(file);
            // Each update moves two counters at once: a reader must never see one without the other.
            for (int i = 0; i < kUpdates; ++i) stats.FrameSent(1, 2, true, kBytes);
            _exit(0);
        }
        children.push_back(child);
    }
    std::uint64_t seen = 0;
    int readings = 0;
    for (bool running = true; running;) {
        const TLineStatsSnapshot s = TLineStats::Read(file);
        ASSERT_TRUE(s.Damaged.empty());
        ++readings;
        if (!s.Records.empty()) {
            const TLineRecord& r = s.Records.front();
            ASSERT_EQ(r[C::BytesSent], kBytes * r[C::RequestsSent]);
            ASSERT_GE(r[C::RequestsSent], seen);
            seen = r[C::RequestsSent];
        }
        running = seen < kWriters * kUpdates && readings < 1000000;
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const TLineStatsSnapshot s = TLineStats::Read(file);
    ASSERT_EQ(s.Records.size(), 1u);
    EXPECT_EQ(s.Records.front()[C::RequestsSent], std::uint64_t{kWriters * kUpdates});
    EXPECT_GT(readings, 1);
}

// A record cut in the middle of its write (a crash) reads as damaged, never as numbers that were not counted,
// and the next update starts it again.
TEST(LineStats, ARecordCutInItsWriteIsNeverMisread) {
    TempDir dir;
    const std::string file = TLineStats::FileIn(dir.Path());
    {
        TLineStats stats(file);
        stats.Count(3, 4, C::Timeouts);
    }
    {
        std::FILE* f = std::fopen(file.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, TLineStats::kHeaderSize + 16 + 8 * static_cast<long>(C::Timeouts), SEEK_SET);
        std::fputc(7, f);
        std::fclose(f);
    }
    EXPECT_EQ(TLineStats::Read(file).Damaged.size(), 1u);
    TLineStats(file).Count(3, 4, C::Timeouts);
    const TLineStatsSnapshot s = TLineStats::Read(file);
    ASSERT_EQ(s.Records.size(), 1u);
    EXPECT_EQ(s.Records.front()[C::Timeouts], 1u);
}

}  // namespace
