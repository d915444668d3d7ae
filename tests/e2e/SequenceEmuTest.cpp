// Late answers, answers sent twice and requests that reuse the counters of one given up on, between the
// engine and the emulated register over a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/platform/AtomicFile.h"
#include "driver/base/untError.h"
#include "driver/engine/untEcrDrv.h"
#include "support/EmuFixture.h"
#include "support/MemoryRecordFile.h"
#include "tools/emulator/EmuScript.h"

namespace {

// Reads of the soak, each of a cash register of its own.
constexpr int kSoakReads = 100;

// The operation register 1 of the model.
constexpr std::uint16_t kOperations = 77;

// The cash register values of the model, in hundredths: register n holds 1111 * n.
constexpr std::uint64_t ValueOfRegister(int n) {
    return 1111ULL * static_cast<std::uint64_t>(n);
}

// Opcode and data of a register's request, from one line of a script.
Bytes Payload(const char* line) {
    return EmuScript::Parse(line).Steps().at(0).Payload();
}

std::size_t Occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

class SequenceEmu : public tessel_test::EmuEngineTest {
  protected:
    void SetUp() override {
        EmuEngineTest::SetUp();
        line_->UpdateModel(2, [](EmuRegisterModel& m) {
            for (int n = 1; n <= kSoakReads; ++n) m.cashRegisters[n] = ValueOfRegister(n);
            m.operationRegisters[1] = kOperations;
        });
        engine_->SetLogFileName(log_.File("drv.log"));
        engine_->SetLogEnabled(true);
        // How the register took each request it executed, and how many answers it sent (or dropped) from the
        // stored one.
        line_->SetFrameObserver([this](const EmuFrameEvent& ev) {
            const bool answer =
                ev.kind == EmuFrameEvent::Kind::Sent || ev.kind == EmuFrameEvent::Kind::Dropped;
            if (!answer || ev.note.rfind("answer ", 0) != 0) return;
            std::lock_guard lock(mutex_);
            if (ev.note.find("stored answer") != std::string::npos)
                ++storedAnswers_;
            else
                taken_.push_back(ev.note.substr(ev.note.find(", ") + 2));
            takenChanged_.notify_all();
        });
    }
    void TearDown() override {
        line_->SetFrameObserver(nullptr);
        EmuEngineTest::TearDown();
    }

    // How the register took its requests, once it has told of `count` of them (it tells after the answer
    // went out, so the engine may have the answer first), or after 5 s.
    std::vector<std::string> Taken(std::size_t count = 0) {
        std::unique_lock lock(mutex_);
        takenChanged_.wait_for(lock, std::chrono::seconds(5), [&] { return taken_.size() >= count; });
        return taken_;
    }
    int StoredAnswers() {
        std::lock_guard lock(mutex_);
        return storedAnswers_;
    }
    std::string Log() {
        std::string text;
        tessel::ReadWholeFile(log_.File("drv.log"), text);
        return text;
    }
    // C1 of the engine's next request to the register: how many of its answers the engine took.
    std::uint8_t NextRequestNumber() {
        TCommand next;
        next.PortNumber = 1;
        next.DstAddress = 2;
        engine_->Counters().CountersFor(next);
        return next.C1;
    }
    // The register sends `payload` and waits `timeoutMs` for the client's answer, on a thread of its own.
    void RegisterAsks(const Bytes& payload, std::uint32_t timeoutMs) {
        asking_ =
            std::jthread([this, payload, timeoutMs] { answer_ = line_->SendRequest(2, payload, timeoutMs); });
    }
    std::unique_ptr<TCommand> AnswerToRegister() {
        asking_.join();
        return std::move(answer_);
    }

    TempDir log_;
    std::mutex mutex_;
    std::condition_variable takenChanged_;
    std::vector<std::string> taken_;
    int storedAnswers_ = 0;
    std::unique_ptr<TCommand> answer_;
    std::jthread asking_;  // joined before what it writes goes
};

// The register executes longer than the time-out and answers the repetition from its stored answer at once:
// each value arrives twice. The first copy answers the request; the second is dropped, never taken for the
// next read of the same opcode, and moves no counter.
TEST_F(SequenceEmu, LateAnswersGiveEveryRegisterItsOwnValueAndKeepTheSequence) {
    line_->SetExecutionDelay(350);
    engine_->Timeout = 200;
    engine_->RepCount = 3;
    for (int n = 1; n <= 4; ++n) {
        engine_->RegisterNumber = n;
        engine_->CashRegister = 0;
        ASSERT_EQ(engine_->GetCashReg(), 0) << n << ": " << engine_->ResultDescription;
        EXPECT_EQ(engine_->CashRegister, static_cast<Currency>(ValueOfRegister(n) * 100)) << n;
    }
    tessel_test::PumpFor(300);  // the last value's second copy

    EXPECT_EQ(line_->ExecutionCount(2, 0x1A), 4u) << "nothing is executed twice";
    EXPECT_EQ(Taken(4), (std::vector<std::string>{"rollback", "in sequence", "in sequence", "in sequence"}));
    EXPECT_EQ(NextRequestNumber(), 4);
    EXPECT_TRUE(announced_.empty());
    EXPECT_EQ(engine_->Received().Count(), 0u);
    const int copies = StoredAnswers();
    EXPECT_GE(copies, 4) << "every first try timed out and was repeated";
    EXPECT_EQ(Occurrences(Log(), "Отброшен повторный ответ"), static_cast<std::size_t>(copies));
}

// Reads and writes through the engine's properties.
std::int32_t ReadCash(TEcrDrv& e, int n) {
    e.RegisterNumber = n;
    e.CashRegister = 0;
    return e.GetCashReg();
}
bool HasCash(const TEcrDrv& e, int n) {
    return e.CashRegister == Currency(ValueOfRegister(n) * 100);
}
std::int32_t WriteName(TEcrDrv& e, int row, const char* name) {
    e.TableNumber = 2;
    e.RowNumber = row;
    e.FieldNumber = 2;
    e.FieldType = 1;
    e.FieldValue = name;
    return e.WriteTable();
}
std::string ReadName(TEcrDrv& e, int row) {
    e.TableNumber = 2;
    e.RowNumber = row;
    e.FieldNumber = 2;
    e.FieldValue = "?";
    return e.ReadTable() == 0 ? e.FieldValue : "(failed)";
}

// Every try of a request loses its answer; the client then retries it, or goes on with another one. The next
// request gets its own answer, and nothing is executed twice: a retry is answered from the register's stored
// answer, another request goes with the next number, is refused as out of sequence (nothing executed) and
// goes once more in sequence.
struct LostCase {
    const char* name;
    std::function<std::int32_t(TEcrDrv&)> lost;
    std::function<std::int32_t(TEcrDrv&)> next;
    std::function<bool(TEcrDrv&)> nextDone;  // the next request's own outcome is there
    std::uint8_t opcode;
    std::uint64_t executions;  // of `opcode` by the register, in all
    std::vector<std::string> taken;
};

void PrintTo(const LostCase& c, std::ostream* os) {
    *os << c.name;
}

class SequenceEmuLost : public SequenceEmu, public ::testing::WithParamInterface<LostCase> {};

TEST_P(SequenceEmuLost, TheNextRequestGetsItsOwnAnswerAndNothingRunsTwice) {
    const LostCase& c = GetParam();
    line_->DropAnswer(1);
    line_->DropAnswer(2);
    engine_->Timeout = 150;
    engine_->RepCount = 2;
    ASSERT_EQ(c.lost(*engine_), E_NOCONNECTION);

    ASSERT_EQ(c.next(*engine_), 0) << engine_->ResultDescription;
    EXPECT_TRUE(c.nextDone(*engine_));
    EXPECT_EQ(line_->ExecutionCount(2, c.opcode), c.executions);
    // The dialogue goes on in sequence.
    ASSERT_EQ(engine_->GetECRStatus(), 0) << engine_->ResultDescription;
    std::vector<std::string> taken = c.taken;
    taken.push_back("in sequence");
    EXPECT_EQ(Taken(taken.size()), taken);
    EXPECT_TRUE(announced_.empty());
}

const std::vector<std::string> kRefusedThenTaken{"rollback", "out of sequence, refused", "in sequence"};

INSTANTIATE_TEST_SUITE_P(
    Cases, SequenceEmuLost,
    ::testing::Values(
        LostCase{"ReadOfAnotherRegister", [](TEcrDrv& e) { return ReadCash(e, 4); },
                 [](TEcrDrv& e) { return ReadCash(e, 3); }, [](TEcrDrv& e) { return HasCash(e, 3); }, 0x1A, 2,
                 kRefusedThenTaken},
        LostCase{"ReadRetried",
                 [](TEcrDrv& e) { return ReadCash(e, 4); },
                 [](TEcrDrv& e) { return ReadCash(e, 4); },
                 [](TEcrDrv& e) { return HasCash(e, 4); },
                 0x1A,
                 1,
                 {"rollback"}},
        LostCase{"OtherOpcode", [](TEcrDrv& e) { return ReadCash(e, 1); },
                 [](TEcrDrv& e) {
                     e.RegisterNumber = 1;
                     return e.GetOperationReg();
                 },
                 [](TEcrDrv& e) { return e.OperationRegister == kOperations; }, 0x1B, 1, kRefusedThenTaken},
        LostCase{"TableWriteRetried",
                 [](TEcrDrv& e) { return WriteName(e, 1, "Петров"); },
                 [](TEcrDrv& e) { return WriteName(e, 1, "Петров"); },
                 [](TEcrDrv& e) { return ReadName(e, 1) == "Петров"; },
                 0x1E,
                 1,
                 {"rollback", "in sequence"}},
        LostCase{"TwoTableWrites",
                 [](TEcrDrv& e) { return WriteName(e, 1, "Петров"); },
                 [](TEcrDrv& e) { return WriteName(e, 2, "Сидоров"); },
                 [](TEcrDrv& e) { return ReadName(e, 1) == "Петров" && ReadName(e, 2) == "Сидоров"; },
                 0x1E,
                 2,
                 {"rollback", "out of sequence, refused", "in sequence", "in sequence", "in sequence"}}),
    [](const auto& info) { return std::string(info.param.name); });

// A register busy at random: half of all tries, first tries and repetitions alike, are answered after the
// time-out. Every read returns its own register's value, none fails, and no request goes out of sequence.
TEST_F(SequenceEmu, ARegisterLateHalfTheTimeNeverGivesAReadAnotherReadsValue) {
    line_->SetRandomLateness({50, 160, 280, 7});
    engine_->Timeout = 150;
    engine_->RepCount = 3;
    for (int n = 1; n <= kSoakReads; ++n) {
        ASSERT_EQ(ReadCash(*engine_, n), 0) << n << ": " << engine_->ResultDescription;
        ASSERT_TRUE(HasCash(*engine_, n)) << n;
    }
    const std::vector<std::string> taken = Taken();
    EXPECT_EQ(line_->ExecutionCount(2, 0x1A), static_cast<std::uint64_t>(kSoakReads));
    EXPECT_EQ(std::count_if(
                  taken.begin(), taken.end(),
                  [](const std::string& kind) { return kind.find("out of sequence") != std::string::npos; }),
              0);
    EXPECT_GT(std::count_if(taken.begin(), taken.end(),
                            [](const std::string& kind) { return kind.find("late") != std::string::npos; }),
              kSoakReads / 4)
        << "the register was late";
}

// Two programs with counters files of their own talk to one register in turns: each finds the register's
// counters moved by the other, is refused as out of sequence, and goes again in sequence.
TEST_F(SequenceEmu, TwoProgramsWithCountersOfTheirOwnBothGetTheirAnswers) {
    engine_->SetDeviceEnabled(false);
    std::unique_ptr<TEcrDrv> other = tessel_test::OpenEmuEngine(counters_.Path());
    ASSERT_NE(other->Counters().FileName(), engine_->Counters().FileName());
    other->SetDeviceEnabled(false);
    const std::pair<TEcrDrv*, int> turns[] = {
        {engine_.get(), 1}, {engine_.get(), 2}, {other.get(), 3}, {engine_.get(), 4}, {other.get(), 1}};
    for (const auto& [program, n] : turns) {
        ASSERT_EQ(ReadCash(*program, n), 0) << n << ": " << program->ResultDescription;
        EXPECT_TRUE(HasCash(*program, n)) << n;
        program->SetDeviceEnabled(false);  // the port is the other program's now
    }
    EXPECT_EQ(line_->ExecutionCount(2, 0x1A), std::size(turns));
}

// A late answer on one port is never the answer awaited on another, though its opcode, addresses and C1 are
// those of the awaited one.
TEST_F(SequenceEmu, ALateAnswerOnAnotherPortIsNotTheAwaitedOne) {
    tessel_test::EmuPort second(2);
    second->UpdateModel(2, [](EmuRegisterModel& m) { m.operatorNumber = 22; });
    second->SetExecutionDelay(400);
    line_->UpdateModel(2, [](EmuRegisterModel& m) { m.operatorNumber = 11; });
    line_->SetExecutionDelay(500);
    ASSERT_EQ(engine_->AddLD(), 0);
    engine_->SetPortNumber(2);
    engine_->SetFuel(true);
    engine_->RepCount = 1;
    engine_->Timeout = 150;
    ASSERT_EQ(engine_->GetECRStatus(), E_NOCONNECTION);  // its answer comes during the next exchange

    engine_->SetLDIndex(0);
    engine_->Timeout = 1000;
    ASSERT_EQ(engine_->GetECRStatus(), 0) << engine_->ResultDescription;
    EXPECT_EQ(engine_->OperatorNumber, 11);
}

// Counters that cannot be written fail the exchange, though its answer came: on the next request the
// register's counters and ours would disagree. The request stays open, so the client's retry gets the
// register's stored answer and nothing runs twice.
TEST_F(SequenceEmu, ACountersWriteThatFailsFailsTheExchangeAndItsRetryRunsNothingTwice) {
    engine_.reset();
    auto fail = std::make_shared<std::atomic<bool>>(false);
    TEcrDrv::TOptions options;
    options.Counters = tessel_test::MemoryCounters(fail);
    engine_ = std::make_unique<TEcrDrv>(std::move(options));
    engine_->SetPortNumber(1);
    engine_->SetFuel(true);
    engine_->Timeout = 300;
    ASSERT_EQ(ReadCash(*engine_, 2), 0) << engine_->ResultDescription;

    *fail = true;
    EXPECT_EQ(ReadCash(*engine_, 3), E_UNKNOWN);
    EXPECT_NE(engine_->ResultDescription.find("Counters0.dat"), std::string::npos)
        << engine_->ResultDescription;
    *fail = false;
    ASSERT_EQ(ReadCash(*engine_, 3), 0) << engine_->ResultDescription;
    EXPECT_TRUE(HasCash(*engine_, 3));
    EXPECT_EQ(line_->ExecutionCount(2, 0x1A), 2u);
}

// The register gives up on its request before the client answers and asks something with the same counters.
struct ReusedCase {
    const char* name;
    const char* first;
    const char* next;
    bool isNew;  // else a repetition, answered from the stored answer
};

void PrintTo(const ReusedCase& c, std::ostream* os) {
    *os << c.name;
}

class SequenceEmuReused : public SequenceEmu, public ::testing::WithParamInterface<ReusedCase> {};

TEST_P(SequenceEmuReused, OnlyTheSameRequestGetsTheStoredAnswerAgain) {
    const ReusedCase& c = GetParam();
    RegisterAsks(Payload(c.first), 150);
    ASSERT_TRUE(PumpUntil(1, 2000));
    EXPECT_EQ(AnswerToRegister(), nullptr);
    engine_->CommandID = announced_[0];
    ASSERT_EQ(engine_->GetCommandParams(), 0);
    ASSERT_EQ(SendAnswer(), 0) << engine_->ResultDescription;  // too late for the register

    RegisterAsks(Payload(c.next), 2000);
    if (c.isNew) {
        ASSERT_TRUE(PumpUntil(2, 2000)) << "a new request is announced";
        engine_->CommandID = announced_[1];
        ASSERT_EQ(engine_->GetCommandParams(), 0);
        EXPECT_TRUE(engine_->Holder().ExecuteFlag);
        EXPECT_FALSE(engine_->Holder().RollbackFlag);
        Bytes asked{engine_->Holder().Code};
        asked.insert(asked.end(), engine_->Holder().Data.begin(), engine_->Holder().Data.end());
        EXPECT_EQ(asked, Payload(c.next));
        ASSERT_EQ(SendAnswer(), 0) << engine_->ResultDescription;
    } else {
        tessel_test::PumpFor(300);
    }
    const std::unique_ptr<TCommand> answer = AnswerToRegister();
    ASSERT_NE(answer, nullptr) << "the register got its answer";
    EXPECT_EQ(answer->Code, Payload(c.next)[0]);
    EXPECT_EQ(answer->ResultCode, 0);
    EXPECT_EQ(announced_.size(), c.isNew ? 2u : 1u);

    // The register's next request is new and in sequence.
    RegisterAsks(Payload("83 Summ=1.00"), 2000);
    ASSERT_TRUE(PumpUntil(announced_.size() + 1, 2000));
    engine_->CommandID = announced_.back();
    ASSERT_EQ(engine_->GetCommandParams(), 0);
    EXPECT_TRUE(engine_->Holder().ExecuteFlag);
    EXPECT_FALSE(engine_->Holder().RollbackFlag);
    ASSERT_EQ(SendAnswer(), 0);
    EXPECT_NE(AnswerToRegister(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, SequenceEmuReused,
                         ::testing::Values(ReusedCase{"SameRequest", "81 Code=123", "81 Code=123", false},
                                           ReusedCase{"OtherOpcode", "81 Code=123", "86 RecSumm=85.30", true},
                                           ReusedCase{"SameOpcodeOtherCode", "81 Code=123", "81 Code=124",
                                                      true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
