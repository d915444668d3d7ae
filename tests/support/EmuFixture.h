#pragma once
// Emulated registers on a new pseudo-terminal that the driver reaches as a COM port, and the engines and
// automation objects set up to talk to them, for the tests of the driver against the emulator in process.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/com/ComPtr.h"
#include "driver/automation/oleMain.h"
#include "support/DriverFixture.h"
#include "support/EmuPort.h"

namespace tessel_test {

// An engine on port 1 with its counters files in `countersFolder`, its port open. A pseudo-terminal has no
// modem lines to pace, and a short time-out keeps a failing test short.
inline std::unique_ptr<TEcrDrv> OpenEmuEngine(const std::string& countersFolder) {
    auto engine = std::make_unique<TEcrDrv>(TEcrDrv::TOptions{countersFolder, {}});
    engine->SetPortNumber(1);
    engine->SetFuel(true);
    engine->Timeout = 300;
    engine->SetDeviceEnabled(true);
    return engine;
}

// An automation object set for port 1 as OpenEmuEngine sets an engine, with a time-out of 500 ms; its port
// is not yet open. The first object of the process makes the engine on the calling thread.
inline tessel::ComPtr<ITesselDriver3> NewEmuObject() {
    tessel::ComPtr<ITesselDriver3> driver;
    driver.Attach(new TTesselDrv());
    driver->put_PortNumber(1);
    driver->put_Fuel(VARIANT_TRUE);
    driver->put_Timeout(500);
    return driver;
}

// An engine on COM1 against one emulated register at address 2, and the received commands it announces.
class EmuEngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ForgetDriverSettings();
        engine_ = OpenEmuEngine(counters_.Path());
        engine_->OnCommand = [this](TEcrDrv&, std::int32_t id) {
            announced_.push_back(id);
            announcedOn_ = std::this_thread::get_id();
        };
    }
    void TearDown() override { engine_.reset(); }

    // Turns the received command in the holder into its answer with result 0, back to the register that sent
    // it, and sends that; the result code.
    std::int32_t SendAnswer() {
        TCommand& held = engine_->Holder();
        held.CommandType = 1;
        held.DstAddress = held.SrcAddress;
        held.SrcAddress = engine_->SrcAddress;
        engine_->CommandResultCode = 0;
        return engine_->SendCommand();
    }

    // Pumps the engine thread's queue until `count` commands have been announced or `ms` have passed.
    bool PumpUntil(std::size_t count, std::uint32_t ms) {
        return tessel_test::PumpUntil([this, count] { return announced_.size() >= count; }, ms);
    }

    TempDir counters_;
    EmuPort line_{1};
    std::unique_ptr<TEcrDrv> engine_;
    std::vector<std::int32_t> announced_;
    std::thread::id announcedOn_;
};

}  // namespace tessel_test
