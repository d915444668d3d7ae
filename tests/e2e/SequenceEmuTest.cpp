// Late answers, answers sent twice and requests that reuse the counters of one given up on, between the
// engine and the emulated register over a pseudo-terminal.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/platform/AtomicFile.h"
#include "driver/base/untError.h"
#include "driver/engine/untEcrDrv.h"
#include "support/EmuFixture.h"
#include "tools/emulator/EmuScript.h"

namespace {

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
            for (int n = 1; n <= 4; ++n) m.cashRegisters[n] = ValueOfRegister(n);
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
        });
    }
    void TearDown() override {
        line_->SetFrameObserver(nullptr);
        EmuEngineTest::TearDown();
    }

    std::vector<std::string> Taken() {
        std::lock_guard lock(mutex_);
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
    engine_->RepCount = 5;
    for (int n = 1; n <= 4; ++n) {
        engine_->RegisterNumber = n;
        engine_->CashRegister = 0;
        ASSERT_EQ(engine_->GetCashReg(), 0) << n << ": " << engine_->ResultDescription;
        EXPECT_EQ(engine_->CashRegister, static_cast<Currency>(ValueOfRegister(n) * 100)) << n;
    }
    tessel_test::PumpFor(300);  // the last value's second copy

    EXPECT_EQ(line_->ExecutionCount(2, 0x1A), 4u) << "nothing is executed twice";
    EXPECT_EQ(Taken(), (std::vector<std::string>{"rollback", "in sequence", "in sequence", "in sequence"}));
    EXPECT_EQ(NextRequestNumber(), 4);
    EXPECT_TRUE(announced_.empty());
    EXPECT_EQ(engine_->Received().Count(), 0u);
    const int copies = StoredAnswers();
    EXPECT_GE(copies, 4) << "every first try timed out and was repeated";
    EXPECT_EQ(Occurrences(Log(), "Отброшен повторный ответ"), static_cast<std::size_t>(copies));
}

// The engine gives up on a request whose answers are lost, then asks something else with the same counters:
// the register executes it instead of sending the stored answer of the request given up on.
struct AbandonedCase {
    const char* name;
    std::function<std::int32_t(TEcrDrv&)> next;
    std::function<bool(const TEcrDrv&)> answered;  // whether the next request's own answer arrived
};

void PrintTo(const AbandonedCase& c, std::ostream* os) {
    *os << c.name;
}

class SequenceEmuAbandoned : public SequenceEmu, public ::testing::WithParamInterface<AbandonedCase> {};

TEST_P(SequenceEmuAbandoned, TheRegisterExecutesANewRequestThatReusesTheCounters) {
    line_->DropAnswer(1);
    line_->DropAnswer(2);
    engine_->Timeout = 150;
    engine_->RepCount = 2;
    engine_->RegisterNumber = 1;
    ASSERT_EQ(engine_->GetCashReg(), E_NOCONNECTION);

    engine_->CashRegister = 0;
    engine_->OperationRegister = 0;
    ASSERT_EQ(GetParam().next(*engine_), 0) << engine_->ResultDescription;
    EXPECT_TRUE(GetParam().answered(*engine_));
    // The dialogue goes on in sequence.
    ASSERT_EQ(engine_->GetECRStatus(), 0) << engine_->ResultDescription;
    EXPECT_EQ(Taken(), (std::vector<std::string>{"rollback", "repetition", "in sequence"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SequenceEmuAbandoned,
    ::testing::Values(AbandonedCase{"SameOpcodeOtherRegister",
                                    [](TEcrDrv& e) {
                                        e.RegisterNumber = 2;
                                        return e.GetCashReg();
                                    },
                                    [](const TEcrDrv& e) {
                                        return e.CashRegister == Currency(ValueOfRegister(2) * 100);
                                    }},
                      AbandonedCase{"OtherOpcode",
                                    [](TEcrDrv& e) {
                                        e.RegisterNumber = 1;
                                        return e.GetOperationReg();
                                    },
                                    [](const TEcrDrv& e) { return e.OperationRegister == kOperations; }}),
    [](const auto& info) { return std::string(info.param.name); });

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
