// The registers' station logic without a line: counters, stored answers, the search rule, addresses and the
// registers' own requests.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

#include "driver/engine/untCounter.h"
#include "driver/link/CRC.h"
#include "support/Frames.h"
#include "support/TempDir.h"
#include "tools/emulator/EmuStation.h"

namespace {

constexpr std::uint8_t kComputer = 1;

// The unstuffed frame of a body, as the assembler hands it over.
Bytes Frame(const Bytes& body) {
    return UnstuffedFrame(body);
}

Bytes Request(std::uint8_t dst, std::uint8_t c1, std::uint8_t c2, const Bytes& payload,
              std::uint8_t src = kComputer) {
    Bytes body{dst, src, 0x00, c1, c2, static_cast<std::uint8_t>(payload.size())};
    body.insert(body.end(), payload.begin(), payload.end());
    return Frame(body);
}

// Header bytes of a reply body.
enum : std::size_t { kC1 = 3, kC2 = 4, kOpcode = 6 };

using K = EmuRequestKind;

class StationTest : public ::testing::Test {
  protected:
    explicit StationTest(EmuRepeatCheck check = EmuRepeatCheck::Counters)
        : station_(TCounters::OpenInDirectory(dir_.Path()), check) {
        station_.AddRegister(2);
        station_.AddRegister(3);
    }

    EmuReply One(const Bytes& frame) {
        EmuReception r = station_.Receive(frame, true);
        EXPECT_EQ(r.replies.size(), 1u) << r.note;
        return r.replies.empty() ? EmuReply{} : r.replies.front();
    }

    TempDir dir_;
    EmuStation station_;
};

struct Step {
    std::uint8_t c1, c2;
    EmuRequestKind kind;
    std::uint8_t answerC1, answerC2;
};

struct CounterCase {
    const char* name;
    std::vector<Step> steps;  // requests for 11h to address 2, in order
};

// Every case under both rules: by the counters alone a request out of sequence is refused with 204 and not
// executed; a register that compares requests executes it. The counters move the same way.
class StationCounters : public ::testing::TestWithParam<std::tuple<CounterCase, EmuRepeatCheck>> {};

TEST_P(StationCounters, ClassifyExecuteAndAnswerWithTheUpdatedCounters) {
    const auto& [c, check] = GetParam();
    TempDir dir;
    EmuStation station(TCounters::OpenInDirectory(dir.Path()), check);
    station.AddRegister(2);
    std::uint64_t executions = 0;
    for (const Step& s : c.steps) {
        const EmuReception r = station.Receive(Request(2, s.c1, s.c2, {0x11}), true);
        ASSERT_EQ(r.replies.size(), 1u) << r.note;
        const EmuReply& reply = r.replies.front();
        const bool refused = s.kind == K::OutOfSequence && check == EmuRepeatCheck::Counters;
        EXPECT_EQ(reply.kind, s.kind) << int(s.c1) << "," << int(s.c2);
        EXPECT_EQ(reply.body[kC1], s.answerC1);
        EXPECT_EQ(reply.body[kC2], s.answerC2);
        EXPECT_EQ(reply.repeated, s.kind == K::Repetition);
        EXPECT_EQ(reply.refused, refused);
        if (refused) {
            EXPECT_EQ(reply.body, (Bytes{kComputer, 2, 0x01, s.answerC1, s.answerC2, 0x02, 0x11, 204}));
        }
        if (s.kind != K::Repetition && !refused) ++executions;
        EXPECT_EQ(station.ExecutionCount(2, 0x11), executions);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StationCounters,
    ::testing::Combine(
        ::testing::Values(
            // A fresh record holds zeros: the first request with zeros repeats them exactly.
            CounterCase{"FirstRequestIsRollback", {{0, 0, K::Rollback, 0, 1}}},
            CounterCase{"NextInSequence", {{0, 0, K::Rollback, 0, 1}, {1, 1, K::InSequence, 1, 2}}},
            CounterCase{
                "RepetitionAfterLostAnswer",
                {{0, 0, K::Rollback, 0, 1}, {0, 0, K::Repetition, 0, 1}, {0, 0, K::Repetition, 0, 1}}},
            CounterCase{"RollbackAfterAnswerTaken", {{0, 0, K::Rollback, 0, 1}, {0, 1, K::Rollback, 0, 2}}},
            CounterCase{
                "OutOfSequence",
                {{0, 0, K::Rollback, 0, 1}, {5, 9, K::OutOfSequence, 5, 2}, {6, 2, K::InSequence, 6, 3}}},
            CounterCase{"RightNumberWrongCount", {{0, 0, K::Rollback, 0, 1}, {1, 7, K::OutOfSequence, 1, 2}}},
            CounterCase{"WrapAround",
                        {{0, 0, K::Rollback, 0, 1},
                         {0xFF, 1, K::OutOfSequence, 0xFF, 2},
                         {0x00, 2, K::InSequence, 0, 3}}}),
        ::testing::Values(EmuRepeatCheck::Counters, EmuRepeatCheck::Request)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) == EmuRepeatCheck::Counters ? "" : "_ComparesRequests");
    });

// By the counters a repetition is answered from the stored answer whatever it asks.
TEST_F(StationTest, RepetitionGetsTheStoredAnswerWhateverItAsks) {
    const EmuReply first = One(Request(2, 0, 0, {0x1A, 1, 0}));
    for (const Bytes& asked : {Bytes{0x1A, 2, 0}, Bytes{0x13}}) {
        const EmuReply again = One(Request(2, 0, 0, asked));
        EXPECT_TRUE(again.repeated);
        EXPECT_EQ(again.body, first.body);
    }
    EXPECT_EQ(station_.ExecutionCount(2, 0x1A), 1u);
    EXPECT_EQ(station_.ExecutionCount(2, 0x13), 0u);
}

class RequestStationTest : public StationTest {
  protected:
    RequestStationTest() : StationTest(EmuRepeatCheck::Request) {}
};

TEST_F(RequestStationTest, RepetitionResendsTheStoredAnswerOfItsOwnRequestOnly) {
    const EmuReply first = One(Request(2, 0, 0, {0x11}));
    EmuRegisterModel changed = station_.Register(2).Model();
    changed.documentNumber = 777;  // an executed request would report it
    station_.Register(2).SetModel(changed);
    EXPECT_EQ(One(Request(2, 0, 0, {0x11})).body, first.body);
    EXPECT_EQ(station_.ExecutionCount(2, 0x11), 1u);

    // Another opcode with the same counters is executed, not answered with the wrong answer.
    const EmuReply other = One(Request(2, 0, 0, {0x13}));
    EXPECT_FALSE(other.repeated);
    EXPECT_EQ(other.body[kOpcode], 0x13);

    // So is the same opcode asking for something else: cash register 2 after an abandoned read of 1.
    changed.cashRegisters[1] = 100;
    changed.cashRegisters[2] = 200;
    station_.Register(2).SetModel(changed);
    const EmuReply one = One(Request(2, 1, 1, {0x1A, 1, 0}));
    const EmuReply two = One(Request(2, 1, 1, {0x1A, 2, 0}));
    EXPECT_FALSE(two.repeated);
    EXPECT_NE(two.body, one.body);
    EXPECT_EQ(station_.ExecutionCount(2, 0x1A), 2u);
    EXPECT_EQ(One(Request(2, 1, 1, {0x1A, 2, 0})).body, two.body);
    EXPECT_EQ(station_.ExecutionCount(2, 0x1A), 2u);
}

TEST_F(StationTest, EachRegisterAndEachComputerHasItsOwnCounters) {
    One(Request(2, 0, 0, {0x11}));
    One(Request(2, 1, 1, {0x11}));
    EXPECT_EQ(One(Request(3, 0, 0, {0x11})).kind, K::Rollback);
    EXPECT_EQ(One(Request(2, 0, 0, {0x11}, 9)).kind, K::Rollback);
    EXPECT_EQ(One(Request(2, 2, 2, {0x11})).kind, K::InSequence);
}

TEST_F(StationTest, SearchIsAnsweredByEveryRegisterAsTheNextRequestInSequence) {
    One(Request(2, 0, 0, {0x11}));  // each register: r2 0, r3 1; the computer: r0 1, r1 1
    One(Request(3, 0, 0, {0x11}));
    // The counters belong to the broadcast address on the computer's side; to register 2 they would be a
    // repetition.
    EmuReception r = station_.Receive(Request(0, 0, 0, {0xFA}), true);
    ASSERT_EQ(r.replies.size(), 2u);
    EXPECT_EQ(r.replies[0].body, (Bytes{kComputer, 2, 0x01, 1, 2, 0x02, 0xFA, 0x00}));
    EXPECT_EQ(r.replies[1].body, (Bytes{kComputer, 3, 0x01, 1, 2, 0x02, 0xFA, 0x00}));
    EXPECT_EQ(station_.ExecutionCount(3, 0xFA), 1u);
    // The computer took each answer (r0 2, r1 2): its next request to either register is in sequence.
    EXPECT_EQ(One(Request(2, 2, 2, {0xFC})).kind, K::InSequence);
    EXPECT_EQ(One(Request(3, 2, 2, {0xFC})).kind, K::InSequence);
    // Addressed to one register, only that one answers.
    EXPECT_EQ(One(Request(3, 9, 9, {0xFA})).kind, K::Search);
}

struct IgnoredCase {
    const char* name;
    Bytes frame;
    bool crcOk;
};

class StationIgnores : public StationTest, public ::testing::WithParamInterface<IgnoredCase> {};

TEST_P(StationIgnores, FramesNotForItsRegistersAndLeavesTheCountersAlone) {
    EmuReception r = station_.Receive(GetParam().frame, GetParam().crcOk);
    EXPECT_TRUE(r.replies.empty());
    EXPECT_FALSE(r.requestAnswer);
    EXPECT_FALSE(r.note.empty());
    EXPECT_EQ(One(Request(2, 0, 0, {0x11})).kind, K::Rollback);  // still a fresh record
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StationIgnores,
    ::testing::Values(IgnoredCase{"UnknownAddress", Request(9, 0, 0, {0x11}), true},
                      IgnoredCase{"BroadcastOtherThanSearch", Request(0, 0, 0, {0x11}), true},
                      IgnoredCase{"BadChecksum", Request(2, 0, 0, {0x11}), false},
                      IgnoredCase{"NoOpcode", Frame({2, kComputer, 0, 0, 0, 0}), true},
                      IgnoredCase{"AnswerNobodyAwaits", Frame({2, kComputer, 1, 0, 0, 2, 0x80, 0}), true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StationTest, UnknownOpcodeIsAnsweredCommandUnavailable) {
    EXPECT_EQ(One(Request(2, 0, 0, {0x30, 0x01})).body, (Bytes{kComputer, 2, 0x01, 0, 1, 0x02, 0x30, 138}));
}

TEST_F(StationTest, RegisterRequestCarriesItsCountersAndTheAnswerAdvancesThem) {
    const Bytes payload{0x83, 1, 2, 3};
    EXPECT_EQ(station_.BeginRequest(2, kComputer, payload),
              (Bytes{kComputer, 2, 0x00, 0, 0, 4, 0x83, 1, 2, 3}));

    // Answers from another computer, of another opcode, to another register or to an earlier request are
    // not this one's.
    EXPECT_FALSE(station_.Receive(Frame({2, 7, 0x01, 0, 5, 2, 0x83, 0}), true).requestAnswer);
    EXPECT_FALSE(station_.Receive(Frame({2, kComputer, 0x01, 0xFF, 5, 2, 0x83, 0}), true).requestAnswer);
    EXPECT_FALSE(station_.Receive(Frame({2, kComputer, 0x01, 0, 5, 2, 0x84, 0}), true).requestAnswer);
    EXPECT_FALSE(station_.Receive(Frame({3, kComputer, 0x01, 0, 5, 2, 0x83, 0}), true).requestAnswer);

    EmuReception r = station_.Receive(Frame({2, kComputer, 0x01, 0, 5, 3, 0x83, 0, 0x42}), true);
    ASSERT_TRUE(r.requestAnswer);
    EXPECT_EQ(r.requestAnswer->ResultCode, 0);
    EXPECT_EQ(r.requestAnswer->Data, Bytes{0x42});
    EXPECT_FALSE(station_.RequestInProgress());

    const Bytes next = station_.BeginRequest(2, kComputer, payload);
    EXPECT_EQ(next[kC1], 1);  // r0 counted up
    EXPECT_EQ(next[kC2], 5);  // the answer's C2
    // Unanswered, it goes out again with the same counters, and its late answer is ignored.
    station_.CancelRequest();
    EXPECT_FALSE(station_.Receive(Frame({2, kComputer, 0x01, 1, 6, 2, 0x83, 0}), true).requestAnswer);
    EXPECT_EQ(station_.BeginRequest(2, kComputer, payload), next);
}

// The computer keeps (r2, r3) = (C1 of the last request taken, requests taken); a rollback must reach it as
// c1 = r2, c2 = r3, and the request after it as the next in sequence.
TEST_F(StationTest, RollbackRequestRepeatsTheCountersOfTheLastOneAnsweredAndTheSequenceGoesOn) {
    const Bytes payload{0x80, 1};
    EXPECT_EQ(station_.BeginRequest(2, kComputer, payload)[kC1], 0);
    // The computer took it (r2 0, r3 1) and answered with those.
    ASSERT_TRUE(station_.Receive(Frame({2, kComputer, 0x01, 0, 1, 2, 0x80, 0}), true).requestAnswer);

    const Bytes rollback = station_.BeginRequest(2, kComputer, payload, true);
    EXPECT_EQ(rollback[kC1], 0);
    EXPECT_EQ(rollback[kC2], 1);
    // Executed again in place of the first (r2 0, r3 2).
    ASSERT_TRUE(station_.Receive(Frame({2, kComputer, 0x01, 0, 2, 2, 0x80, 0}), true).requestAnswer);

    const Bytes next = station_.BeginRequest(2, kComputer, payload);
    EXPECT_EQ(next[kC1], 1);
    EXPECT_EQ(next[kC2], 2);
}

TEST_F(StationTest, RefusesWhatCannotBeServed) {
    EXPECT_THROW(station_.AddRegister(0), std::invalid_argument);
    EXPECT_THROW(station_.AddRegister(2), std::invalid_argument);
    EXPECT_THROW(station_.Register(9), std::out_of_range);
    EXPECT_THROW(station_.BeginRequest(9, kComputer, {0x80}), std::invalid_argument);
    EXPECT_THROW(station_.BeginRequest(2, kComputer, {}), std::invalid_argument);
    EXPECT_THROW(station_.BeginRequest(2, kComputer, Bytes(247, 0x80)), std::invalid_argument);
    EXPECT_NO_THROW(station_.BeginRequest(2, kComputer, Bytes(246, 0x80)));
    EXPECT_THROW(EmuStation(nullptr), std::invalid_argument);
}

}  // namespace
