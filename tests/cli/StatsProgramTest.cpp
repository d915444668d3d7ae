// The line statistics against the emulator's faults: every tessel run is a process of its own, so the counts
// outlive each one (a restart), and two runs at once count into one record.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "driver/engine/untLineStats.h"
#include "support/ChildProcess.h"
#include "support/DriverRegistration.h"
#include "support/EmulatorProgram.h"
#include "support/TempDir.h"

using namespace tessel_test;
using C = TLineCounter;

namespace {

using Deltas = std::map<C, std::uint64_t>;

// What a request without data costs on the line (no counter here needs stuffing).
constexpr std::uint64_t kRequestBytes = 10;

class StatsProgram : public ::testing::Test {
  protected:
    RunResult Tessel(const std::string& port, std::vector<std::string> steps, int com = 1) const {
        Env env = driver_.Settings();
        env["TESSEL_COM" + std::to_string(com)] = port;
        steps.insert(steps.begin(), {"set", "PortNumber=" + std::to_string(com)});
        return RunProgram(TESSEL_CLI, steps, env);
    }
    std::unique_ptr<ChildProcess> Listen(const std::string& port,
                                         const std::vector<std::string>& more) const {
        Env env = driver_.Settings();
        env["TESSEL_COM1"] = port;
        std::vector<std::string> args{"set", "PortNumber=1", "listen"};
        args.insert(args.end(), more.begin(), more.end());
        auto child = std::make_unique<ChildProcess>(TESSEL_CLI, args, env);
        EXPECT_FALSE(child->ReadUntil("Listening").empty());
        return child;
    }

    // Zero before the first exchange, when there is no file yet.
    TLineRecord Record(std::int32_t port, std::uint8_t address) const {
        const std::string file = TLineStats::FileIn(driver_.Folder());
        if (!std::filesystem::exists(file)) return TLineRecord{port, address};
        const TLineStatsSnapshot s = TLineStats::Read(file);
        EXPECT_TRUE(s.Damaged.empty());
        for (const TLineRecord& r : s.Records)
            if (r.Port == port && r.Address == address) return r;
        return TLineRecord{port, address};
    }

    // The counters of (port, address) moved by `deltas` since `before`, and the others not at all.
    void ExpectMoved(const TLineRecord& before, const Deltas& deltas, const std::string& what) const {
        const TLineRecord now = Record(before.Port, before.Address);
        for (std::size_t i = 0; i < kLineCounterCount; ++i) {
            const auto c = static_cast<C>(i);
            if (c == C::BytesSent || c == C::BytesReceived || c == C::ExchangeMsTotal || c == C::LastEvent)
                continue;
            const auto d = deltas.find(c);
            EXPECT_EQ(now[c] - before[c], d == deltas.end() ? 0 : d->second) << what << ", counter " << i;
        }
        EXPECT_GT(now[C::LastEvent], 0u) << what;
    }

    RegisteredCopy driver_;
    TempDir files_;
};

struct Injection {
    const char* name;
    std::vector<std::string> emulator;  // commands before the run
    std::vector<std::string> steps;
    Deltas deltas;
};

TEST_F(StatsProgram, EveryCounterMovesByWhatWasInjected) {
    EmulatorProgram emulator(kRegisterAt2, driver_.Settings());
    const std::vector<Injection> injections{
        {"clean",
         {},
         {"set", "Timeout=400", "set", "RepCount=3", "call", "GetECRStatus"},
         {{C::RequestsSent, 1}, {C::AnswersReceived, 1}, {C::Exchanges, 1}}},
        {"an answer dropped",
         {"drop +1"},
         {"call", "GetECRStatus"},
         {{C::RequestsSent, 2},
          {C::AnswersReceived, 1},
          {C::Repeats, 1},
          {C::Timeouts, 1},
          {C::Exchanges, 1}}},
        {"an answer corrupted",
         {"corrupt +1"},
         {"call", "GetECRStatus"},
         {{C::RequestsSent, 2},
          {C::AnswersReceived, 2},
          {C::ChecksumFailures, 1},
          {C::Repeats, 1},
          {C::Exchanges, 1}}},
        // The first try's answer comes during the second try's wait; the second try's answer comes after the
        // call, during the wait, and is dropped as a late copy.
        {"answers late",
         {"delay 700"},
         {"call", "GetECRStatus", "wait", "1500"},
         {{C::RequestsSent, 2},
          {C::AnswersReceived, 2},
          {C::Repeats, 1},
          {C::Timeouts, 1},
          {C::DroppedAnswers, 1},
          {C::Exchanges, 1}}},
        // Every answer lost: the register may have executed it, so the next request goes out of sequence.
        {"every answer lost",
         {"delay 0", "drop +1", "drop +2"},
         {"set", "RepCount=2", "call", "GetDeviceMetrics"},
         {{C::RequestsSent, 2}, {C::Repeats, 1}, {C::Timeouts, 2}}},
        {"refused by the register",
         {},
         {"set", "RepCount=3", "call", "GetECRStatus"},
         {{C::RequestsSent, 2}, {C::AnswersReceived, 2}, {C::RefusedByRegister, 1}, {C::Exchanges, 1}}},
    };
    for (const Injection& c : injections) {
        const TLineRecord before = Record(1, 2);
        for (const std::string& command : c.emulator)
            ASSERT_EQ(emulator.Command(command).rfind("OK", 0), 0u) << command;
        const RunResult r = Tessel(emulator.Path(), c.steps);
        EXPECT_EQ(r.status, c.deltas.count(C::Exchanges) ? 0 : 1) << c.name << "\n" << r.out << r.err;
        ExpectMoved(before, c.deltas, c.name);
        const TLineRecord after = Record(1, 2);
        EXPECT_EQ(after[C::BytesSent] - before[C::BytesSent], kRequestBytes * c.deltas.at(C::RequestsSent))
            << c.name;
        EXPECT_GE(after[C::BytesReceived] - before[C::BytesReceived], 10 * c.deltas.count(C::AnswersReceived))
            << c.name;
    }
    const TLineRecord total = Record(1, 2);
    ASSERT_TRUE(total.PercentileMs(0.5).has_value());
    // The late answer took more than the time-out; the others about one line exchange.
    EXPECT_GT(*total.PercentileMs(0.99), 400);
    EXPECT_LT(*total.PercentileMs(0.5), 400);
}

// Requests of the register that the driver takes, then one out of sequence that it refuses by itself: a
// register started afresh asks with counters the driver has seen pass.
TEST_F(StatsProgram, RequestsRefusedByTheDriverAreCounted) {
    const std::string rules = files_.File("rules.txt");
    std::ofstream(rules) << "[*]\n";
    {
        EmulatorProgram first({"--address", "2", "--timeout", "3000"}, driver_.Settings());
        const auto listener = Listen(first.Path(), {"60", rules, "count=2"});
        const TLineRecord before = Record(1, 2);
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(first.Command("send 2 83 01 00 00 64 00 00 00 00 01"), "ANSWER 0 \"Ошибок нет\"");
        std::string out, err;
        EXPECT_EQ(listener->Finish(out, err), 0) << err;
        ExpectMoved(before, {{C::RequestsReceived, 2}, {C::AnswersSent, 2}}, "taken");
    }
    EmulatorProgram afresh({"--address", "2", "--timeout", "3000"}, driver_.Settings());
    const auto listener = Listen(afresh.Path(), {"2", rules});
    const TLineRecord before = Record(1, 2);
    EXPECT_TRUE(afresh.Command("send 2 83 01 00 00 64 00 00 00 00 01").starts_with("ANSWER 204"));
    std::string out, err;
    EXPECT_EQ(listener->Finish(out, err), 0) << err;
    ExpectMoved(before, {{C::RequestsReceived, 1}, {C::AnswersSent, 1}, {C::RefusedByUs, 1}}, "refused");
}

// Two programs at once, each with a register of its own that the same COM number reaches, count into one
// record without losing an update; a reset zeroes it and keeps the peer.
TEST_F(StatsProgram, TwoProgramsAtOnceCountIntoOneRecord) {
    constexpr int kCalls = 8;
    std::vector<std::string> steps;
    for (int i = 0; i < kCalls; ++i) steps.insert(steps.end(), {"call", "GetECRStatus"});
    EmulatorProgram one({"--address", "7"}, driver_.Settings());
    EmulatorProgram two({"--address", "7"}, driver_.Settings());
    std::vector<std::unique_ptr<ChildProcess>> runs;
    for (const EmulatorProgram* e : {&one, &two}) {
        Env env = driver_.Settings();
        env["TESSEL_COM1"] = e->Path();
        std::vector<std::string> args{"set", "PortNumber=1", "set", "DstAddress=7"};
        args.insert(args.end(), steps.begin(), steps.end());
        runs.push_back(std::make_unique<ChildProcess>(TESSEL_CLI, args, env));
    }
    for (auto& run : runs) {
        std::string out, err;
        EXPECT_EQ(run->Finish(out, err), 0) << out << err;
    }
    ExpectMoved(TLineRecord{1, 7},
                {{C::RequestsSent, 2 * kCalls}, {C::AnswersReceived, 2 * kCalls}, {C::Exchanges, 2 * kCalls}},
                "two at once");

    Env env = driver_.Settings();
    const RunResult reset = RunProgram(TESSEL_CLI, {"stats", "--reset"}, env);
    EXPECT_EQ(reset.status, 0) << reset.err;
    const RunResult json = RunProgram(TESSEL_CLI, {"stats", "--json"}, env);
    EXPECT_NE(json.out.find("{\"port\": 1, \"address\": 7, \"requests_sent\": 0,"), std::string::npos)
        << json.out;
}

}  // namespace
