// The store shared by several processes: forked children call it directly and end with _exit.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/platform/Registry.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

using namespace tessel;

namespace {

using Names = std::vector<std::string>;

// A pipe whose ends close themselves.
class Pipe {
  public:
    Pipe() {
        if (::pipe2(fds_, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    }
    ~Pipe() {
        CloseWrite();
        if (fds_[0] >= 0) ::close(fds_[0]);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    void CloseWrite() {
        if (fds_[1] >= 0) ::close(fds_[1]);
        fds_[1] = -1;
    }
    void Signal() {
        const char c = 1;
        if (::write(fds_[1], &c, 1) != 1) std::_Exit(3);
    }
    // True when a byte arrives within `timeoutMs`.
    bool AwaitByte(int timeoutMs) { return Read(timeoutMs) == 1; }
    // True when every write end is closed within `timeoutMs`.
    bool AwaitClosed(int timeoutMs) { return Read(timeoutMs) == 0; }

  private:
    // Bytes read (0 at the end of the stream), or -1 on a time-out or failure.
    int Read(int timeoutMs) {
        pollfd p{fds_[0], POLLIN, 0};
        int r;
        do {
            r = ::poll(&p, 1, timeoutMs);
        } while (r < 0 && errno == EINTR);
        if (r <= 0) return -1;
        char c;
        return static_cast<int>(::read(fds_[0], &c, 1));
    }

    int fds_[2] = {-1, -1};
};

using tessel_test::ExitedCleanly;
using ChildProcess = tessel_test::ForkedChild;

void RunChild(const std::function<void()>& body) {
    ChildProcess child(body);
    EXPECT_TRUE(ExitedCleanly(child.Wait(std::chrono::seconds(30))));
}

Registry OpenOrThrow(const std::string& path) {
    Registry reg;
    if (!reg.OpenKey(path, false)) throw RegistryError("no key " + path);
    return reg;
}

class RegistryProcesses : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* old = std::getenv("TESSEL_REGISTRY_DIR")) old_ = old;
        ::setenv("TESSEL_REGISTRY_DIR", dir_.Path().c_str(), 1);
    }
    void TearDown() override {
        if (old_)
            ::setenv("TESSEL_REGISTRY_DIR", old_->c_str(), 1);
        else
            ::unsetenv("TESSEL_REGISTRY_DIR");
    }

    TempDir dir_;
    std::optional<std::string> old_;
};

TEST_F(RegistryProcesses, ReaderSeesChangesOfAnotherProcess) {
    Registry reader;
    ASSERT_TRUE(reader.OpenKey("Shared", true));
    reader.WriteInteger("Mine", 1);
    EXPECT_FALSE(reader.ValueExists("FromChild"));

    RunChild([] {
        Registry w = OpenOrThrow("Shared");
        w.WriteString("FromChild", "привет");
        w.WriteInteger("Mine", 2);
        if (!w.OpenKey("Sub", true)) throw RegistryError("no Sub");
    });
    EXPECT_EQ(reader.ReadString("FromChild"), "привет");
    EXPECT_EQ(reader.ReadInteger("Mine"), 2);
    EXPECT_EQ(reader.GetKeyNames(), Names{"Sub"});

    RunChild([] {
        Registry w = OpenOrThrow("Shared");
        w.DeleteValue("FromChild");
        w.DeleteKey("Sub");
    });
    EXPECT_FALSE(reader.ValueExists("FromChild"));
    EXPECT_FALSE(reader.HasSubKeys());
}

TEST_F(RegistryProcesses, ConcurrentWritersLoseNothing) {
    constexpr int kWriters = 3, kEach = 25;
    {
        Registry seed;
        ASSERT_TRUE(seed.OpenKey("Race", true));
    }
    Pipe start;
    std::vector<std::unique_ptr<ChildProcess>> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.push_back(std::make_unique<ChildProcess>([&start, w] {
            // All writers begin together: when the parent closes the last write end.
            start.CloseWrite();
            if (!start.AwaitClosed(30000)) throw RegistryError("no start");
            Registry reg = OpenOrThrow("Race");
            for (int i = 0; i < kEach; ++i)
                reg.WriteInteger("P" + std::to_string(w) + "_" + std::to_string(i), w * 1000 + i);
            if (!reg.OpenKey("Writer" + std::to_string(w), true)) throw RegistryError("no subkey");
        }));
    }
    start.CloseWrite();
    for (auto& w : writers) EXPECT_TRUE(ExitedCleanly(w->Wait(std::chrono::seconds(60))));

    Registry reg;
    ASSERT_TRUE(reg.OpenKey("Race", false));
    EXPECT_EQ(reg.GetValueNames().size(), std::size_t{kWriters * kEach});
    for (int w = 0; w < kWriters; ++w)
        for (int i = 0; i < kEach; ++i)
            EXPECT_EQ(reg.ReadInteger("P" + std::to_string(w) + "_" + std::to_string(i)), w * 1000 + i);
    EXPECT_EQ(reg.GetKeyNames(), (Names{"Writer0", "Writer1", "Writer2"}));
}

// A blob that carries its own sequence number and whose every byte depends on it, so that any mix of two
// states, or a cut one, is detected.
constexpr std::size_t kBlobSize = 16 * 1024;

Bytes MakeBlob(std::uint32_t seq) {
    Bytes b(kBlobSize);
    for (std::size_t i = 0; i < kBlobSize; ++i)
        b[i] = static_cast<std::uint8_t>(seq * 131 + i * 7 + (i >> 8));
    for (int k = 0; k < 4; ++k) b[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(seq >> (8 * k));
    return b;
}

std::optional<std::uint32_t> BlobSequence(const Bytes& b) {
    if (b.size() != kBlobSize) return std::nullopt;
    std::uint32_t seq = 0;
    for (int k = 0; k < 4; ++k) seq |= std::uint32_t{b[static_cast<std::size_t>(k)]} << (8 * k);
    if (b != MakeBlob(seq)) return std::nullopt;
    return seq;
}

TEST_F(RegistryProcesses, KilledWriterLeavesOldOrNewState) {
    const std::string keep = "Не трогать\nни строчки";
    Registry reg;
    ASSERT_TRUE(reg.OpenKey("Durability", true));
    reg.WriteString("Keep", keep);
    // Kill moments must cover a whole write, rename and flushes included, however slow the disk is.
    auto writeTime = std::chrono::microseconds(0);
    for (std::uint32_t probe = 1; probe <= 3; ++probe) {
        const auto t0 = std::chrono::steady_clock::now();
        reg.WriteBinary("Blob", MakeBlob(probe));
        writeTime = std::max(writeTime, std::chrono::duration_cast<std::chrono::microseconds>(
                                            std::chrono::steady_clock::now() - t0));
    }
    const long maxDelayUs = std::clamp<long>(2 * writeTime.count(), 3000, 50000);
    reg.WriteBinary("Blob", MakeBlob(0));

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed) + ", delays up to " + std::to_string(maxDelayUs) + " us");
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> delay(0, maxDelayUs);
    std::uint32_t last = 0;
    int advanced = 0;
    for (int iteration = 0; iteration < 200; ++iteration) {
        Pipe ready;
        ChildProcess child([&ready, last] {
            Registry writer = OpenOrThrow("Durability");
            ready.Signal();
            for (std::uint32_t seq = last + 1;; ++seq) writer.WriteBinary("Blob", MakeBlob(seq));
        });
        ready.CloseWrite();
        ASSERT_TRUE(ready.AwaitByte(30000)) << "iteration " << iteration;
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        child.Kill();
        ASSERT_TRUE(child.Wait(std::chrono::seconds(30)).has_value());

        Registry check;
        ASSERT_TRUE(check.OpenKey("Durability", false)) << "iteration " << iteration;
        ASSERT_EQ(check.GetValueNames(), (Names{"Keep", "Blob"})) << "iteration " << iteration;
        ASSERT_EQ(check.ReadString("Keep"), keep);
        const auto seq = BlobSequence(check.ReadBinary("Blob"));
        ASSERT_TRUE(seq.has_value()) << "iteration " << iteration << ": the blob is a mix or cut";
        ASSERT_GE(*seq, last) << "iteration " << iteration << ": a completed write was lost";
        if (*seq > last) ++advanced;
        last = *seq;
    }
    // Some kills must have come after a completed write, or the test proved nothing about the new state.
    EXPECT_GT(advanced, 0);
}

}  // namespace
