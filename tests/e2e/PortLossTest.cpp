// A port that goes away while an exchange waits for its answer: the wait ends at once with -3, no attempt
// follows on the lost line, and the next call opens the port again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "driver/base/untError.h"
#include "support/EmuFixture.h"
#include "support/PtyPair.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace {

using namespace tessel_test;
using Clock = std::chrono::steady_clock;

struct LossCase {
    const char* name;
    std::function<std::int32_t(TEcrDrv&)> wait;  // sends a status request and waits for its answer
};

void PrintTo(const LossCase& c, std::ostream* os) {
    *os << c.name;
}

class PortLossTest : public ::testing::TestWithParam<LossCase> {
  protected:
    PortLossTest() {
        ForgetDriverSettings();
        // The port is reached through a link, so that the test can put another line behind it.
        std::filesystem::create_symlink(first_.SlavePath(), link_);
    }
    void PointLinkAt(const std::string& path) {
        const std::string next = dir_.File("next");
        std::filesystem::create_symlink(path, next);
        std::filesystem::rename(next, link_);
    }

    TempDir dir_;
    std::string link_ = dir_.File("com1");
    PtyPair first_;
    PtyPair second_;
    ScopedEnv com_{PortVariable(1), link_};
};

TEST_P(PortLossTest, WaitEndsAtOnceWithoutRepeatsAndTheNextCallReopens) {
    TempDir counters;
    auto engine = OpenEmuEngine(counters.Path());
    engine->Timeout = 5000;
    engine->RepCount = 3;

    std::atomic<Clock::rep> closedAt{0};
    std::thread unplug([&] {
        // One second into the wait for the answer, the far end goes and another line takes its place: a
        // repeated request would reach that one.
        if (first_.Read(10, 3000).size() != 10) return;
        std::this_thread::sleep_for(std::chrono::seconds(1));
        closedAt = Clock::now().time_since_epoch().count();
        first_.CloseMaster();
        PointLinkAt(second_.SlavePath());
    });
    const std::int32_t result = GetParam().wait(*engine);
    const auto returned = Clock::now();
    unplug.join();

    ASSERT_NE(closedAt.load(), 0) << "the request never reached the line";
    const auto afterLoss = returned - Clock::time_point(Clock::duration(closedAt.load()));
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(afterLoss).count(), 100);
    EXPECT_EQ(result, E_PORTUNAVAILABLE);
    EXPECT_EQ(engine->ResultCode, E_PORTUNAVAILABLE);
    // The port says which one went and why.
    EXPECT_TRUE(engine->ResultDescription.starts_with("Порт недоступен: COM1 = " + link_ + ": "))
        << engine->ResultDescription;
    EXPECT_FALSE(engine->DeviceEnabled());
    EXPECT_TRUE(second_.Read(1, 200).empty()) << "the request was repeated after the port went away";

    // The next call opens the port again, now on a register that answers.
    auto emulator = EmuLine::StartOnNewPty();
    emulator->AddRegister(2);
    PointLinkAt(emulator->Path());
    engine->Timeout = 1000;
    EXPECT_EQ(engine->GetECRStatus(), 0) << engine->ResultDescription;
    EXPECT_TRUE(engine->DeviceEnabled());
    engine.reset();
}

INSTANTIATE_TEST_SUITE_P(Waits, PortLossTest,
                         ::testing::Values(LossCase{"Exchange", [](TEcrDrv& e) { return e.GetECRStatus(); }},
                                           LossCase{"SendCommand",
                                                    [](TEcrDrv& e) {
                                                        e.Holder().Code = 0x11;
                                                        e.Holder().CommandType = 0;
                                                        e.Holder().SrcAddress = e.SrcAddress;
                                                        e.Holder().DstAddress = e.DstAddress();
                                                        e.WaitAnswer = true;
                                                        return e.SendCommand();
                                                    }}),
                         [](const ::testing::TestParamInfo<LossCase>& info) { return info.param.name; });

}  // namespace
