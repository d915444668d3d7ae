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
#include "support/MemoryRecordFile.h"
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
    {"Answer", 1, {0x11, 0x22, 0x04, 0x07}, 0x11, 0x33, kNone, {0x12, 0x33, 0x04, 0x07}},
    {"AnswerWraps", 1, {0xFF, 0x22, 0x04, 0x07}, 0xFF, 0x00, kNone, {0x00, 0x00, 0x04, 0x07}},
    // Only the answer to the newest request counts. The register answered a request late and then its
    // repetition: the second copy counts nothing; nor does an answer to any older request.
    {"AnswerRepeated", 1, {0x12, 0x33, 0x04, 0x07}, 0x11, 0x33, kNone, {0x12, 0x33, 0x04, 0x07}, true},
    {"AnswerRepeatedWraps", 1, {0x00, 0x33, 0x04, 0x07}, 0xFF, 0x33, kNone, {0x00, 0x33, 0x04, 0x07}, true},
    {"AnswerOfThatRequestWithOtherCount",
     1,
     {0x12, 0x33, 0x04, 0x07},
     0x11,
     0x34,
     kNone,
     {0x12, 0x33, 0x04, 0x07},
     true},
    {"AnswerOfAnOlderRequest",
     1,
     {0x12, 0x33, 0x04, 0x07},
     0x0E,
     0x30,
     kNone,
     {0x12, 0x33, 0x04, 0x07},
     true},
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
    const bool stale = counters.ApplyReceived(*frame);

    // A frame that failed its checksum is kept out of the counters altogether.
    EXPECT_EQ(stale, crcOk && row.repeatedAnswer);
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

// A port thread counts the answers of a register while another counts its requests, on one record, and the
// caller's thread builds requests from it: no count may be lost, and no request may see half an update.
TEST(Counters, ThreadsKeepTheFileConsistent) {
    TempDir dir;
    const auto path = dir.File("c.dat");
    TCounters counters(path);
    constexpr int kFrames = 300;
    // The C2 of the answer to request c1, so that a request can tell which answer it was built from.
    auto c2Of = [](int c1) { return static_cast<std::uint8_t>(c1 * 7 + 3); };
    tessel_test::Latch start(3);
    std::thread answers([&] {
        start.arrive_and_wait();
        for (int i = 0; i < kFrames; ++i)
            EXPECT_FALSE(counters.ApplyReceived(*Frame(1, 2, 7, 1, static_cast<std::uint8_t>(i), c2Of(i))));
    });
    std::thread requests([&] {
        start.arrive_and_wait();
        for (int i = 0; i < kFrames; ++i) {
            auto request = Frame(0, 2, 7, 1, static_cast<std::uint8_t>(i + 1), static_cast<std::uint8_t>(i));
            counters.ApplyReceived(*request);
            EXPECT_TRUE(request->ExecuteFlag && !request->RollbackFlag) << i;
        }
    });
    start.arrive_and_wait();
    int torn = 0;
    for (int i = 0; i < kFrames; ++i) {
        auto request = Frame(0, 2, 1, 7);
        counters.CountersFor(*request);
        if (request->C1 != 0 && request->C2 != c2Of(request->C1 - 1)) ++torn;
    }
    answers.join();
    requests.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(ReadRecord(path, 2, 7),
              (Record{kFrames % 256, c2Of(kFrames - 1), kFrames % 256, kFrames % 256}));
}

}  // namespace

namespace {

// One step against the record of (1, 2): a request about to go out with the counters expected, an answer
// received, the engine restarted on the same files, or the last write of the open request cut short.
struct Step {
    enum Kind { Begin, Answer, Restart, CutLastWrite } kind;
    Bytes request{};      // Begin
    std::uint8_t c1 = 0;  // Begin: expected; Answer: carried
    std::uint8_t c2 = 0;
    bool refusable = false;  // Begin: expected
};

Step Begin(Bytes request, std::uint8_t c1, std::uint8_t c2, bool refusable = false) {
    return {Step::Begin, std::move(request), c1, c2, refusable};
}
Step Answer(std::uint8_t c1, std::uint8_t c2) {
    return {Step::Answer, {}, c1, c2};
}
const Step kRestart{Step::Restart};
const Step kCutLastWrite{Step::CutLastWrite};

struct OpenCase {
    const char* name;
    std::vector<Step> steps;
};

void PrintTo(const OpenCase& c, std::ostream* os) {
    *os << c.name;
}

const Bytes kReadCash4{0x1A, 4, 0};
const Bytes kReadCash5{0x1A, 5, 0};

class OpenRequests : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenRequests, ARequestNeverBorrowsTheCountersOfAnotherWhoseOutcomeIsUnknown) {
    TempDir dir;
    const std::string path = dir.File("Counters0.dat");
    auto counters = std::make_unique<TCounters>(path);
    int n = 0;
    for (const Step& step : GetParam().steps) {
        ++n;
        switch (step.kind) {
            case Step::Begin: {
                const auto got = counters->BeginRequest(1, 2, step.request);
                EXPECT_EQ(got.c1, step.c1) << "step " << n;
                EXPECT_EQ(got.c2, step.c2) << "step " << n;
                EXPECT_EQ(got.refusable, step.refusable) << "step " << n;
                break;
            }
            case Step::Answer:
                counters->ApplyReceived(*Frame(1, 1, 2, 1, step.c1, step.c2));
                break;
            case Step::Restart:
                counters.reset();
                counters = std::make_unique<TCounters>(path);
                break;
            case Step::CutLastWrite: {
                counters.reset();
                // A power cut in the middle of the slot's write: its checksum no longer matches.
                std::fstream open(TCounters::OpenRequestsFileFor(path),
                                  std::ios::binary | std::ios::in | std::ios::out);
                open.seekp(20);
                open.put('\x55');
                ASSERT_TRUE(open) << "the open-requests file";
                open.close();
                counters = std::make_unique<TCounters>(path);
                break;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenRequests,
    ::testing::Values(
        OpenCase{"EveryTryOfARequestCarriesTheCountersOfTheFirst",
                 {Begin(kReadCash4, 0, 0), Begin(kReadCash4, 0, 0), Answer(0, 5), Begin(kReadCash4, 1, 5)}},
        // The register may hold the lost request's answer: another request must not be a repetition of it.
        // It goes with the next number to be refused, each try with a number of its own, until the refusal
        // arrives and puts both sides in step.
        OpenCase{"AnotherRequestAfterALostOneGoesToBeRefused",
                 {Begin(kReadCash4, 0, 0), Begin(kReadCash5, 1, 0, true), Begin(kReadCash5, 2, 0, true),
                  Answer(2, 9), Begin(kReadCash5, 3, 9)}},
        OpenCase{"AfterARefusableRequestEvenTheSameOneMovesOn",
                 {Begin(kReadCash4, 0, 0), Begin(kReadCash5, 1, 0, true), Begin(kReadCash4, 2, 0, true)}},
        OpenCase{"ALateAnswerSettlesTheLostRequest",
                 {Begin(kReadCash4, 0, 0), Answer(0, 4), Begin(kReadCash5, 1, 4)}},
        OpenCase{"AnAnswerToAnOlderRequestSettlesNothing",
                 {Begin(kReadCash4, 0, 0), Answer(0xFF, 1), Begin(kReadCash5, 1, 0, true)}},
        OpenCase{"TheNextEngineKnowsTheLostRequest",
                 {Begin(kReadCash4, 0, 0), kRestart, Begin(kReadCash4, 0, 0), kRestart,
                  Begin(kReadCash5, 1, 0, true), kRestart, Begin(kReadCash5, 2, 0, true)}},
        // Without a readable record of the last request the counters are all there is.
        OpenCase{"ACutWriteForgetsTheRequest",
                 {Begin(kReadCash4, 0, 0), kCutLastWrite, Begin(kReadCash5, 0, 0)}}),
    [](const auto& info) { return std::string(info.param.name); });

// More peers than slots: the slot of a peer whose request was answered goes first, else the oldest.
TEST(OpenRequests, SlotsGoFirstToPeersWhoseRequestWasAnswered) {
    TempDir dir;
    TCounters counters(dir.File("Counters0.dat"));
    const std::uint8_t kPeers = TCounters::kOpenSlotCount;
    for (std::uint8_t peer = 1; peer <= kPeers; ++peer) counters.BeginRequest(1, peer, kReadCash4);
    counters.ApplyReceived(*Frame(1, 1, 7, 1, 0, 3));  // peer 7's request is answered
    counters.BeginRequest(1, kPeers + 1, kReadCash4);
    EXPECT_TRUE(counters.BeginRequest(1, 1, kReadCash5).refusable) << "peer 1 kept its slot";
    counters.BeginRequest(1, kPeers + 2, kReadCash4);  // no answered peer left: the oldest, peer 2, goes
    EXPECT_TRUE(counters.BeginRequest(1, 3, kReadCash5).refusable);
    EXPECT_FALSE(counters.BeginRequest(1, 2, kReadCash5).refusable);
}

// Counters that cannot be written fail the caller; a request whose open record was not written never goes.
TEST(Counters, WriteFailuresReachTheCaller) {
    auto fail = std::make_shared<std::atomic<bool>>(false);
    auto counters = tessel_test::MemoryCounters(fail);
    counters->BeginRequest(1, 2, kReadCash4);
    *fail = true;
    EXPECT_THROW(counters->ApplyReceived(*Frame(1, 1, 2, 1, 0, 1)), std::system_error);
    EXPECT_THROW(counters->BeginRequest(1, 2, kReadCash5), std::system_error)
        << "the request number must move";
    EXPECT_EQ(counters->BeginRequest(1, 2, kReadCash4).c1, 0) << "a retry writes nothing";
    *fail = false;
    EXPECT_TRUE(counters->BeginRequest(1, 2, kReadCash5).refusable)
        << "the failed answer left the request open";
}

}  // namespace
