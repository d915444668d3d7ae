// Emulated registers on a pseudo-terminal: the test plays the computer with raw frames on the slave side.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "driver/commands/untStatusCommands.h"
#include "driver/link/CUCommSpeed.h"
#include "driver/link/EcrFrame.h"
#include "driver/link/untCodecs.h"
#include "support/TempDir.h"
#include "tools/emulator/EmuLine.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint8_t kComputer = 1;
constexpr std::uint32_t kWaitMs = 1500;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

Bytes Request(std::uint8_t dst, std::uint8_t c1, std::uint8_t c2, const Bytes& payload) {
    Bytes body(6 + payload.size());
    body[0] = dst;
    body[1] = kComputer;
    body[3] = c1;
    body[4] = c2;
    body[5] = static_cast<std::uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), body.begin() + 6);
    return body;
}

struct Received {
    Bytes frame;  // unstuffed
    bool crcOk = false;
};

// Header bytes of an unstuffed frame.
enum : std::size_t { kDst = 1, kSrc = 2, kType = 3, kC1 = 4, kC2 = 5, kOpcode = 7, kResult = 8 };

// The computer's end of the line: writes frames and reassembles what comes back.
class ComputerEnd {
  public:
    explicit ComputerEnd(int fd, bool owned = false) : fd_(fd), owned_(owned) {
        if (fd_ < 0) throw std::runtime_error("no terminal");
        assembler_.OnFrame = [this](TEcrFrame& f) { ready_.push_back({f.Data(), f.CrcOk()}); };
    }
    explicit ComputerEnd(const std::string& path)
        : ComputerEnd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK), true) {}
    ~ComputerEnd() {
        if (owned_) ::close(fd_);
    }
    ComputerEnd(const ComputerEnd&) = delete;
    ComputerEnd& operator=(const ComputerEnd&) = delete;

    void Send(const Bytes& body) {
        const Bytes wire = BuildFrame(body);
        ASSERT_EQ(::write(fd_, wire.data(), wire.size()), static_cast<ssize_t>(wire.size()));
    }
    // The next `count` frames, waiting at most `timeoutMs` in all; fewer when they do not come.
    std::vector<Received> Frames(std::size_t count, std::uint32_t timeoutMs = kWaitMs) {
        const auto start = Clock::now();
        while (ready_.size() < count && ReadOnce(timeoutMs - MsSince(start))) {
        }
        std::vector<Received> out;
        for (; !ready_.empty() && out.size() < count; ready_.pop_front()) out.push_back(ready_.front());
        return out;
    }
    Received One() {
        auto frames = Frames(1);
        if (frames.empty()) ADD_FAILURE() << "no frame";
        return frames.empty() ? Received{} : frames[0];
    }
    // Reads until `size` bytes in all have come, waiting at most kWaitMs.
    void ReadUntil(std::size_t size) {
        const auto start = Clock::now();
        while (raw_.size() < size && ReadOnce(kWaitMs - MsSince(start))) {
        }
    }
    int Fd() const { return fd_; }
    // Everything read so far, and in how many reads it came.
    const Bytes& Raw() const { return raw_; }
    int Chunks() const { return chunks_; }

  private:
    bool ReadOnce(double timeoutMs) {
        pollfd p{fd_, POLLIN, 0};
        if (timeoutMs <= 0 || ::poll(&p, 1, static_cast<int>(timeoutMs) + 1) <= 0) return false;
        std::uint8_t buffer[4096];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n <= 0) return false;
        raw_.insert(raw_.end(), buffer, buffer + n);
        ++chunks_;
        assembler_.Feed(buffer, static_cast<std::size_t>(n));
        return true;
    }

    int fd_;
    bool owned_;
    TEcrFrame assembler_;
    std::deque<Received> ready_;
    Bytes raw_;
    int chunks_ = 0;
};

class EmuLineTest : public ::testing::Test {
  protected:
    void Start(EmuLineOptions options = {}, std::vector<std::uint8_t> addresses = {2}) {
        options.countersDirectory = dir_.Path();
        line_ = EmuLine::StartOnNewPty(options);
        EmuRegisterModel model;
        model.clock = EmuDateTime{8, 12, 24, 15, 30, 45};
        for (std::uint8_t a : addresses) line_->AddRegister(a, model);
        computer_ = std::make_unique<ComputerEnd>(line_->Path());
    }

    TempDir dir_;
    // What an observer collects; declared before the line, so it outlives the line's thread.
    std::mutex mutex_;
    std::condition_variable seen_;
    std::vector<EmuFrameEvent> events_;
    std::unique_ptr<EmuLine> line_;
    std::unique_ptr<ComputerEnd> computer_;
};

TEST_F(EmuLineTest, StatusIsAnsweredWithTheRightBytesAndCounters) {
    Start();
    computer_->Send(Request(2, 0, 0, {0x11}));
    computer_->One();
    // The first request on a fresh record is a rollback: C1 0, C2 1. Then operator 1, version "10", build
    // 100, software date 1.6.05, document 1, flags 0, mode 1, submode 0, port 0, the set clock.
    EXPECT_EQ(computer_->Raw(),
              BuildFrame(HexToBytes("01 02 01 00 01 17 11 00 01 31 30 64 00 01 06 05 01 00 00 "
                                    "00 01 00 00 08 0C 18 0F 1E 2D")));
    // A driver closes and opens the terminal again: the line is still there, the record goes on.
    for (std::uint8_t n = 1; n <= 2; ++n) {
        computer_ = std::make_unique<ComputerEnd>(line_->Path());
        computer_->Send(Request(2, n, n, {0x11}));
        const Received next = computer_->One();
        EXPECT_EQ(next.frame[kC1], n);
        EXPECT_EQ(next.frame[kC2], n + 1);
    }
    EXPECT_EQ(line_->ExecutionCount(2, 0x11), 3u);
}

TEST_F(EmuLineTest, SearchIsAnsweredByEveryAddressWhichThenKeepsItsOwnCounters) {
    Start({}, {2, 5});
    line_->UpdateModel(5, [](EmuRegisterModel& m) { m.description = "Вторая"; });
    // Frames are handled in order: had a request for another address or a broadcast other than the
    // search been answered, its answer would come first.
    computer_->Send(Request(9, 0, 0, {0x11}));
    computer_->Send(Request(0, 0, 0, {0x11}));
    computer_->Send(Request(0, 9, 9, {0xFA}));
    const auto found = computer_->Frames(2);
    ASSERT_EQ(found.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(found[i].frame[kSrc], i == 0 ? 2 : 5);
        EXPECT_EQ(Bytes(found[i].frame.begin() + kDst, found[i].frame.end() - 2),
                  (Bytes{kComputer, found[i].frame[kSrc], 0x01, 1, 1, 0x02, 0xFA, 0x00}));
    }
    // Taken as answers by the computer (r0 1, r1 1), the next requests are in sequence for each.
    computer_->Send(Request(5, 1, 1, {0xFC}));
    computer_->Send(Request(2, 1, 1, {0x13}));
    const auto next = computer_->Frames(2);
    ASSERT_EQ(next.size(), 2u);
    TCommandFCh metrics;
    metrics.SetFrame(next[0].frame, next[0].crcOk);
    EXPECT_EQ(metrics.ResultCode, 0);
    EXPECT_EQ(metrics.UDescription, "Вторая");
    EXPECT_EQ(next[1].frame[kSrc], 2);
    EXPECT_EQ(next[1].frame[kC2], 2);
    EXPECT_EQ(line_->ExecutionCount(5, 0xFC), 1u);
    EXPECT_EQ(line_->ExecutionCount(2, 0xFC), 0u);
    EXPECT_EQ(line_->AnswerCount(), 4u);
}

TEST_F(EmuLineTest, LostAnswersAreSentFromTheStoreWhenTheComputerRepeats) {
    Start();
    line_->DropAnswer(1);
    line_->CorruptAnswer(2);
    for (int attempt = 0; attempt < 3; ++attempt) computer_->Send(Request(2, 0, 0, {0x11}));
    const auto frames = computer_->Frames(2);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_FALSE(frames[0].crcOk);
    EXPECT_TRUE(frames[1].crcOk);
    EXPECT_EQ(frames[1].frame[kC2], 1);
    // Only the checksum differs.
    EXPECT_TRUE(std::equal(frames[1].frame.begin(), frames[1].frame.end() - 2, frames[0].frame.begin()));
    EXPECT_EQ(line_->AnswerCount(), 3u);
    EXPECT_EQ(line_->ExecutionCount(2, 0x11), 1u);
}

TEST_F(EmuLineTest, NoiseAndDelay) {
    Start();
    line_->NoiseBeforeAnswer(1, {0x00, 0x11, 0x22});
    line_->SetAnswerDelay(120);
    const auto start = Clock::now();
    computer_->Send(Request(2, 0, 0, {0x13}));
    EXPECT_TRUE(computer_->One().crcOk);
    EXPECT_GE(MsSince(start), 115.0);
    EXPECT_EQ(Bytes(computer_->Raw().begin(), computer_->Raw().begin() + 4), (Bytes{0x00, 0x11, 0x22, 0x7E}));

    line_->SendNoise({0xAB, 0xCD});
    computer_->ReadUntil(computer_->Raw().size() + 2);
    EXPECT_EQ(Bytes(computer_->Raw().end() - 2, computer_->Raw().end()), (Bytes{0xAB, 0xCD}));
}

struct PacingCase {
    std::uint32_t baud;
    std::size_t split;
    int minChunks;
};

class EmuLinePacing : public EmuLineTest, public ::testing::WithParamInterface<PacingCase> {};

TEST_P(EmuLinePacing, AnswerTakesItsLineTimeAndComesInPieces) {
    EmuLineOptions options;
    options.pacing = {GetParam().baud, GetParam().split};
    Start(options);
    const auto start = Clock::now();
    computer_->Send(Request(2, 0, 0, {0x11}));
    computer_->One();
    const double elapsed = MsSince(start);
    const double lineTime = computer_->Raw().size() * 10.0 * 1000.0 / GetParam().baud;
    EXPECT_GE(elapsed, lineTime * 0.95) << computer_->Raw().size() << " bytes";
    EXPECT_LT(elapsed, lineTime + 250.0);
    EXPECT_GE(computer_->Chunks(), GetParam().minChunks);
}

INSTANTIATE_TEST_SUITE_P(Rates, EmuLinePacing,
                         ::testing::Values(PacingCase{9600, 8, 2}, PacingCase{4800, 0, 1},
                                           PacingCase{19200, 1, 2}));

struct SpeedCase {
    std::uint32_t computerBaud;  // what the computer sets on its side of the line; 0: nothing
    bool understood;
    const char* name;
};

void PrintTo(const SpeedCase& c, std::ostream* os) {
    *os << c.name;
}

class EmuLineSpeed : public EmuLineTest, public ::testing::WithParamInterface<SpeedCase> {};

// The pseudo-terminal keeps the speed the computer set on its slave side: registers at 9600 baud understand
// the computer only at 9600, and their own requests reach it only then.
TEST_P(EmuLineSpeed, RegistersUnderstandOnlyTheirOwnSpeed) {
    const SpeedCase& c = GetParam();
    EmuLineOptions options;
    options.baud = 9600;
    Start(options);
    if (c.computerBaud != 0) {
        ASSERT_EQ(tessel_comm::SetLineRate(computer_->Fd(), c.computerBaud), 0);
    }
    EXPECT_EQ(line_->Model(2).beepCount, 0u);
    computer_->Send(Request(2, 0, 0, {0x13}));  // a beep
    EXPECT_EQ(computer_->Frames(1, c.understood ? kWaitMs : 300).size(), c.understood ? 1u : 0u);
    EXPECT_EQ(line_->Model(2).beepCount, c.understood ? 1u : 0u) << "a frame not understood is not executed";

    EXPECT_FALSE(line_->SendRequest(2, {0x87}, 150));  // the computer never answers here
    EXPECT_EQ(computer_->Frames(1, c.understood ? kWaitMs : 300).size(), c.understood ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, EmuLineSpeed,
                         ::testing::Values(SpeedCase{0, true, "LineLeftAtTheRegistersSpeed"},
                                           SpeedCase{9600, true, "SameSpeed"},
                                           SpeedCase{4800, false, "Slower"},
                                           SpeedCase{115200, false, "Faster"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EmuLineTest, RegisterRequestIsAnsweredByTheComputerAndAdvancesTheCounters) {
    Start();
    std::unique_ptr<TCommand> answer;
    std::thread registerSide([&] { answer = line_->SendRequest(2, {0x87, 0x01, 0x02}, kWaitMs); });
    const Received request = computer_->One();
    EXPECT_EQ(Bytes(request.frame.begin() + kDst, request.frame.end() - 2),
              (Bytes{kComputer, 2, 0x00, 0, 0, 0x03, 0x87, 0x01, 0x02}));
    computer_->Send({2, kComputer, 0x01, 0, 7, 0x02, 0x87, 0x00});
    registerSide.join();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->ResultCode, 0);

    // The next request carries r0 + 1 and the answer's C2; one left unanswered gives nullptr in time.
    const auto start = Clock::now();
    EXPECT_FALSE(line_->SendRequest(2, {0x87}, 150));
    EXPECT_LT(MsSince(start), 1000.0);
    const Received next = computer_->One();
    EXPECT_EQ(next.frame[kC1], 1);
    EXPECT_EQ(next.frame[kC2], 7);
    EXPECT_THROW(line_->SendRequest(9, {0x87}, 10), std::invalid_argument);

    // Stopping the line ends a waiting request at once.
    const auto waitStart = Clock::now();
    std::thread waiting([&] { EXPECT_FALSE(line_->SendRequest(2, {0x87}, 5000)); });
    computer_->One();  // the request is out: the register waits
    line_->Stop();
    waiting.join();
    EXPECT_LT(MsSince(waitStart), 1500.0);
    EXPECT_TRUE(line_->Failure().empty());
}

TEST_F(EmuLineTest, ObserverSeesWhatCameAndWhatWentAndNobodyReadingHoldsNothingUp) {
    EmuLineOptions options;
    options.writeStallMs = 100;
    Start(options);
    line_->SetFrameObserver([this](const EmuFrameEvent& e) {
        std::lock_guard lock(mutex_);
        events_.push_back(e);
        seen_.notify_all();
    });
    computer_->Send(Request(9, 0, 0, {0x13}));
    computer_->Send(Request(2, 0, 0, {0x13}));
    computer_->One();
    // More than the terminal holds while nobody reads; 7Eh only restarts a receiver, so what is left
    // unread spoils nothing that follows.
    line_->SendNoise(Bytes(400000, 0x7E));
    using Kind = EmuFrameEvent::Kind;
    std::unique_lock lock(mutex_);
    ASSERT_TRUE(seen_.wait_for(lock, std::chrono::milliseconds(kWaitMs),
                               [&] { return events_.size() >= 4 && events_[3].kind == Kind::Problem; }));
    EXPECT_EQ(events_[0].kind, Kind::Received);
    EXPECT_EQ(events_[0].note, "no register at address 9");
    EXPECT_EQ(events_[2].kind, Kind::Sent);
    EXPECT_EQ(events_[2].note, "answer 1, rollback");
    EXPECT_NE(events_[3].note.find("nobody reads the line"), std::string::npos) << events_[3].note;
    lock.unlock();

    computer_->Send(Request(2, 1, 1, {0x13}));
    EXPECT_TRUE(computer_->One().crcOk);
    EXPECT_TRUE(line_->Running());
}

// A terminal made by another program: the test holds the master side and closes it.
TEST(EmuLineDevice, ServesANamedTerminalAndStopsWhenItHangsUp) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    char name[128];
    ASSERT_EQ(::ptsname_r(master, name, sizeof name), 0);

    TempDir dir;
    EmuLineOptions options;
    options.countersDirectory = dir.Path();
    auto line = EmuLine::StartOnDevice(name, options);
    line->AddRegister(2);
    {
        ComputerEnd computer(master);
        computer.Send(Request(2, 0, 0, {0x13}));
        EXPECT_EQ(computer.One().frame[kResult], 0);
    }
    ::close(master);
    pollfd p{line->StoppedFd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, static_cast<int>(kWaitMs)), 1);
    EXPECT_FALSE(line->Running());
    EXPECT_EQ(line->Failure(), "the line hung up");

    EXPECT_THROW(EmuLine::StartOnDevice(dir.File("missing"), options), std::system_error);
    EXPECT_THROW(EmuLine::StartOnDevice("/dev/null", options), std::invalid_argument);
}

}  // namespace
