#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "driver/engine/untCounter.h"
#include "driver/link/untCommand.h"
#include "support/Latch.h"
#include "support/TempDir.h"

namespace {

using Record = std::array<std::uint8_t, 4>;

// Records are read and written through a stream of the test's own, so what the tests see is the file.
Record ReadRecord(const std::string& path, std::int32_t port, std::uint8_t address) {
    Record r{};
    std::ifstream file(path, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(TCounters::RecordOffset(port, address)));
    file.read(reinterpret_cast<char*>(r.data()), static_cast<std::streamsize>(r.size()));
    EXPECT_TRUE(file) << path;
    return r;
}

// Written before the counters open the file: on Windows their hold keeps other writers out.
void WriteRecord(const std::string& path, std::int32_t port, std::uint8_t address, const Record& r) {
    if (!std::filesystem::exists(path)) std::ofstream(path, std::ios::binary).flush();
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(static_cast<std::streamoff>(TCounters::RecordOffset(port, address)));
    file.write(reinterpret_cast<const char*>(r.data()), static_cast<std::streamsize>(r.size()));
    ASSERT_TRUE(file) << path;
}

long long FileSize(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? -1 : static_cast<long long>(size);
}

std::unique_ptr<TCommand> Frame(std::uint8_t type, std::int32_t port, std::uint8_t src, std::uint8_t dst,
                                std::uint8_t c1 = 0, std::uint8_t c2 = 0, bool crcOk = true) {
    auto c = std::make_unique<TCommand>();
    c->CommandType = type;
    c->PortNumber = port;
    c->SrcAddress = src;
    c->DstAddress = dst;
    c->C1 = c1;
    c->C2 = c2;
    c->CrcOk = crcOk;
    return c;
}

struct Flags {
    bool execute, rollback, outOfSequence;
    bool operator==(const Flags&) const = default;
};

Flags FlagsOf(const TCommand& c) {
    return {c.ExecuteFlag, c.RollbackFlag, c.OutOfSequence};
}

// One received frame from address 9 on port 3 against a preset record of (3, 9).
struct ReceivedCase {
    const char* name;
    std::uint8_t type;
    Record before;
    std::uint8_t c1, c2;
    Flags flags;
    Record after;
    bool repeatedAnswer = false;
};

constexpr Flags kNone{false, false, false};
constexpr Flags kExecute{true, false, false};
constexpr Flags kRollback{true, true, false};
constexpr Flags kOutOfSequence{false, false, true};

const ReceivedCase kReceivedCases[] = {
    {"NewInSequence", 0, {0x11, 0x22, 0x04, 0x07}, 0x05, 0x07, kExecute, {0x11, 0x22, 0x05, 0x08}},
    {"NewWrapsC1", 0, {0x11, 0x22, 0xFF, 0x03}, 0x00, 0x03, kExecute, {0x11, 0x22, 0x00, 0x04}},
    {"NewWrapsCount", 0, {0x11, 0x22, 0x01, 0xFF}, 0x02, 0xFF, kExecute, {0x11, 0x22, 0x02, 0x00}},
    {"NextC1WrongC2", 0, {0x11, 0x22, 0x04, 0x07}, 0x05, 0x06, kOutOfSequence, {0x11, 0x22, 0x05, 0x08}},
    {"C1Skipped", 0, {0x11, 0x22, 0x04, 0x07}, 0x09, 0x07, kOutOfSequence, {0x11, 0x22, 0x09, 0x08}},
    {"C1Behind", 0, {0x11, 0x22, 0x04, 0x07}, 0x03, 0x07, kOutOfSequence, {0x11, 0x22, 0x03, 0x08}},
    {"Rollback", 0, {0x11, 0x22, 0x04, 0x07}, 0x04, 0x07, kRollback, {0x11, 0x22, 0x04, 0x08}},
    {"Repetition", 0, {0x11, 0x22, 0x04, 0x07}, 0x04, 0x08, kNone, {0x11, 0x22, 0x04, 0x07}},
    {"Answer", 1, {0x11, 0x22, 0x04, 0x07}, 0x09, 0x33, kNone, {0x12, 0x33, 0x04, 0x07}},
    {"AnswerWraps", 1, {0xFF, 0x22, 0x04, 0x07}, 0x09, 0x00, kNone, {0x00, 0x00, 0x04, 0x07}},
    // The register answered a request late and then its repetition: the second copy counts nothing.
    {"AnswerRepeated", 1, {0x12, 0x33, 0x04, 0x07}, 0x11, 0x33, kNone, {0x12, 0x33, 0x04, 0x07}, true},
    {"AnswerRepeatedWraps", 1, {0x00, 0x33, 0x04, 0x07}, 0xFF, 0x33, kNone, {0x00, 0x33, 0x04, 0x07}, true},
    {"AnswerOfThatRequestWithOtherCount",
     1,
     {0x12, 0x33, 0x04, 0x07},
     0x11,
     0x34,
     kNone,
     {0x13, 0x34, 0x04, 0x07}},
    {"RequestWithTheLastAnswersCounters",
     0,
     {0x12, 0x33, 0x04, 0x07},
     0x11,
     0x33,
     kOutOfSequence,
     {0x12, 0x33, 0x11, 0x08}},
    {"OtherType", 2, {0x11, 0x22, 0x04, 0x07}, 0x05, 0x07, kNone, {0x11, 0x22, 0x04, 0x07}},
};

class CounterCase : public ::testing::TestWithParam<std::tuple<ReceivedCase, bool>> {};

TEST_P(CounterCase, ReceivedFrameUpdatesRecordAndFlags) {
    const auto& [row, crcOk] = GetParam();
    TempDir dir;
    const auto path = dir.File("c.dat");
    WriteRecord(path, 3, 9, row.before);
    TCounters counters(path);

    auto frame = Frame(row.type, 3, 9, 1, row.c1, row.c2, crcOk);
    frame->ExecuteFlag = frame->RollbackFlag = frame->OutOfSequence = true;  // stale values must go
    const bool repeated = counters.ApplyReceived(*frame);

    // A frame that failed its checksum is kept out of the counters altogether.
    EXPECT_EQ(repeated, crcOk && row.repeatedAnswer);
    EXPECT_EQ(FlagsOf(*frame), crcOk ? row.flags : kNone);
    EXPECT_EQ(ReadRecord(path, 3, 9), crcOk ? row.after : row.before);
    EXPECT_EQ(ReadRecord(path, 3, 1), (Record{})) << "the record of the destination is not touched";
}

INSTANTIATE_TEST_SUITE_P(Table, CounterCase,
                         ::testing::Combine(::testing::ValuesIn(kReceivedCases), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "" : "_BadCrc");
                         });

TEST(Counters, RequestsOfTheComputerFollowItsAnswers) {
    TempDir dir;
    const auto path = dir.File("c.dat");
    TCounters counters(path);
    auto request = Frame(0, 1, 1, 2);
    counters.CountersFor(*request);
    EXPECT_EQ(request->C1, 0);
    EXPECT_EQ(request->C2, 0);
    counters.CountersFor(*request);
    EXPECT_EQ(request->C1, 0) << "without an answer the request goes out again with the same counters";

    counters.ApplyReceived(*Frame(1, 1, 2, 1, 0, 1));
    EXPECT_EQ(ReadRecord(path, 1, 2), (Record{0x01, 0x01, 0x00, 0x00}));
    counters.CountersFor(*request);
    EXPECT_EQ(request->C1, 1);
    EXPECT_EQ(request->C2, 1);
}

TEST(Counters, FirstRequestOfARegisterIsARollbackAndTheAnswerCountsIt) {
    TempDir dir;
    TCounters counters(dir.File("c.dat"));
    auto request = Frame(0, 1, 5, 1, 0, 0);
    counters.ApplyReceived(*request);
    EXPECT_EQ(FlagsOf(*request), kRollback);

    auto answer = Frame(1, 1, 1, 5);
    counters.CountersFor(*answer);
    EXPECT_EQ(answer->C1, 0);
    EXPECT_EQ(answer->C2, 1);
}

// Two stations of this design on one line, the answer to the second request lost once.
TEST(Counters, TwoStationsRecoverFromALostAnswer) {
    TempDir dir;
    TCounters computer(dir.File("a.dat"));
    TCounters ecr(dir.File("b.dat"));
    auto exchange = [&](bool answerLost) {
        auto request = Frame(0, 1, 1, 2);
        computer.CountersFor(*request);
        ecr.ApplyReceived(*request);
        const Flags taken = FlagsOf(*request);
        auto answer = Frame(1, 1, 2, 1);
        ecr.CountersFor(*answer);
        if (!answerLost) computer.ApplyReceived(*answer);
        return taken;
    };
    EXPECT_EQ(exchange(false), kRollback);  // both files new
    EXPECT_EQ(exchange(true), kExecute);
    EXPECT_EQ(exchange(false), kNone) << "the repeated request must not be executed again";
    EXPECT_EQ(exchange(false), kExecute);
    EXPECT_EQ(exchange(false), kExecute);
}

struct OffsetCase {
    std::int32_t port;
    std::uint8_t address;
    std::size_t offset;
};

class CounterOffset : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(CounterOffset, PortIsTakenModulo256) {
    EXPECT_EQ(TCounters::RecordOffset(GetParam().port, GetParam().address), GetParam().offset);
}

INSTANTIATE_TEST_SUITE_P(Ports, CounterOffset,
                         ::testing::Values(OffsetCase{0, 0, 0}, OffsetCase{1, 2, 4 * (2 + 256)},
                                           OffsetCase{257, 2, 4 * (2 + 256)},
                                           OffsetCase{255, 255, TCounters::kFileSize - 4},
                                           OffsetCase{-1, 0, 4 * 256 * 255}));

// Initial file size (-1: no file); the file always ends up with exactly 65536 records.
class CounterFileSize : public ::testing::TestWithParam<long long> {};

TEST_P(CounterFileSize, FileIsSizedAndKeepsItsRecords) {
    TempDir dir;
    const auto path = dir.File("c.dat");
    if (GetParam() > 0) std::ofstream(path, std::ios::binary) << std::string(GetParam() - 1, '\0') << '\xAB';
    if (GetParam() == 0) std::ofstream(path, std::ios::binary).flush();
    {
        TCounters counters(path);
        EXPECT_EQ(FileSize(path), static_cast<long long>(TCounters::kFileSize));
        counters.ApplyReceived(*Frame(1, 4, 6, 1, 0, 9));
    }
    TCounters reopened(path);
    EXPECT_EQ(FileSize(path), static_cast<long long>(TCounters::kFileSize));
    auto request = Frame(0, 4, 1, 6);
    reopened.CountersFor(*request);
    EXPECT_EQ(request->C1, 1);
    EXPECT_EQ(request->C2, 9);
    if (GetParam() > 0 && GetParam() <= static_cast<long long>(TCounters::kFileSize)) {
        std::ifstream file(path, std::ios::binary);
        file.seekg(GetParam() - 1);
        EXPECT_EQ(file.get(), 0xAB) << "existing counters survive";
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, CounterFileSize, ::testing::Values(-1, 0, 100, 262144, 262144 + 4096));

// A file another holder has is passed over, and so is a name that is not a file.
TEST(CountersFile, NamesHeldOrNotFilesArePassedOver) {
    TempDir dir;
    const auto held = TCounters::OpenInDirectory(dir.Path());
    EXPECT_EQ(held->FileName(), dir.File("Counters0.dat"));
    std::filesystem::create_directory(dir.File("Counters1.dat"));
    EXPECT_EQ(TCounters::OpenInDirectory(dir.Path())->FileName(), dir.File("Counters2.dat"));
    EXPECT_THROW(TCounters::OpenInDirectory(dir.Path(), 2), std::runtime_error);
}

TEST(CountersFile, FailuresAreSystemErrorsNamingTheFile) {
    TempDir dir;
    const auto held = TCounters::OpenInDirectory(dir.Path());
    std::filesystem::create_directory(dir.File("d"));
    for (const std::string& name : {held->FileName(), dir.File("none/c.dat"), dir.File("d")}) {
        try {
            TCounters counters(name);
            ADD_FAILURE() << name << " was opened";
        } catch (const std::system_error& e) {
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
        }
    }
    try {
        TCounters counters(held->FileName());
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::errc::device_or_resource_busy);
    }
    EXPECT_THROW(TCounters::OpenInDirectory(dir.File("none")), std::system_error);
}

// Two port threads count answers on one record while the caller's thread builds requests from it: no count
// may be lost, and no request may see half an update. Each thread alternates its own two C2 values, so no
// answer ever repeats the one counted before it.
TEST(Counters, ThreadsKeepTheFileConsistent) {
    TempDir dir;
    const auto path = dir.File("c.dat");
    TCounters counters(path);
    constexpr int kAnswersPerThread = 10000;
    tessel_test::Latch start(3);
    auto answers = [&](std::uint8_t c2) {
        start.arrive_and_wait();
        for (int i = 0; i < kAnswersPerThread; ++i)
            counters.ApplyReceived(*Frame(1, 2, 7, 1, 0, static_cast<std::uint8_t>(c2 + 2 * (i % 2))));
    };
    std::thread a(answers, 5), b(answers, 6);
    start.arrive_and_wait();
    int torn = 0;
    for (int i = 0; i < kAnswersPerThread; ++i) {
        auto request = Frame(0, 2, 1, 7);
        counters.CountersFor(*request);
        if (request->C1 != 0 && request->C2 == 0) ++torn;  // a count without its answer's C2
    }
    a.join();
    b.join();
    EXPECT_EQ(torn, 0);
    const Record r = ReadRecord(path, 2, 7);
    EXPECT_EQ(r[0], (2 * kAnswersPerThread) % 256);
    EXPECT_TRUE(r[1] == 7 || r[1] == 8) << int(r[1]) << ": the last answer of either thread";
}

}  // namespace
