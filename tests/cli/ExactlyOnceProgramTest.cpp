// Exactly once across processes: a client that lost every answer to a request and exited leaves the next
// client, on the same counters, a register it can trust.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/DriverRegistration.h"
#include "support/EmulatorProgram.h"
#include "support/TempDir.h"

using namespace tessel_test;

namespace {

struct AfterLossCase {
    const char* name;
    const char* nextRegister;  // read by the second client
    const char* value;         // what it must read
    const char* executions;    // reads the register executed in all
};

void PrintTo(const AfterLossCase& c, std::ostream* os) {
    *os << c.name;
}

class ExactlyOnceAcrossClients : public ::testing::TestWithParam<AfterLossCase> {
  protected:
    RunResult Tessel(const std::vector<std::string>& steps, const std::string& port) const {
        Env env = driver_.Settings();
        env["TESSEL_COM1"] = port;
        std::vector<std::string> args{"set", "PortNumber=1"};
        args.insert(args.end(), steps.begin(), steps.end());
        return RunProgram(TESSEL_CLI, args, env);
    }

    RegisteredCopy driver_;
    TempDir files_;
};

TEST_P(ExactlyOnceAcrossClients, TheNextClientGetsItsOwnAnswer) {
    const AfterLossCase& c = GetParam();
    const std::string model = files_.File("model.txt");
    std::ofstream(model) << "[cash]\n6 = 600\n7 = 700\n";
    EmulatorProgram emulator({"--address", "2", "--model", model}, driver_.Settings());
    ASSERT_EQ(emulator.Command("drop +1").rfind("OK", 0), 0u);
    ASSERT_EQ(emulator.Command("drop +2").rfind("OK", 0), 0u);

    const RunResult lost =
        Tessel({"set", "Timeout=300", "set", "RepCount=2", "set", "RegisterNumber=6", "call", "GetCashReg"},
               emulator.Path());
    EXPECT_EQ(lost.OutLines(), (std::vector<std::string>{"GetCashReg: (-1) Нет связи"})) << lost.err;

    const RunResult next = Tessel(
        {"set", std::string("RegisterNumber=") + c.nextRegister, "call", "GetCashReg", "get", "CashRegister"},
        emulator.Path());
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(next.OutLines(), (std::vector<std::string>{"GetCashReg: (0) Ошибок нет",
                                                         std::string("CashRegister = ") + c.value}));
    EXPECT_EQ(emulator.Command("count 2 1A"), std::string("COUNT ") + c.executions);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExactlyOnceAcrossClients,
                         ::testing::Values(AfterLossCase{"AnotherRegister", "7", "7.00", "2"},
                                           AfterLossCase{"TheSameRegisterAgain", "6", "6.00", "1"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
