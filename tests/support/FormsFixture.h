#pragma once
// The Qt-free dialog behaviours against the in-process driver and an emulated register on COM1: the driver
// object is reached through a ForwardingDriver, so that a test can make a method fail or see what was
// written, and through the TDriverCalls the forms are given.

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "driver/client/DriverCalls.h"
#include "support/EmuFixture.h"
#include "support/ForwardingDriver.h"

namespace tessel_test {

class FormsTest : public ::testing::Test {
  protected:
    FormsTest() : line_(1) {
        ForgetDriverSettings();
        object_ = NewEmuObject();
        forward_.emplace(tessel::ComPtr<ITesselDriver>(object_.Get()));
        calls_ = std::make_unique<TDriverCalls>(&*forward_);
    }
    ~FormsTest() override {
        calls_.reset();
        forward_.reset();
        object_.Reset();
    }

    const TDriverCalls& Calls() const { return *calls_; }
    ForwardingDriver& Forward() { return *forward_; }
    ITesselDriver3& Object() { return *object_.Get(); }

    // The driver's values, through the object itself.
    LONG GetLong(HRESULT (STDMETHODCALLTYPE ITesselDriver::*get)(LONG*)) {
        LONG value = 0;
        EXPECT_EQ((object_.Get()->*get)(&value), S_OK);
        return value;
    }
    bool GetBool(HRESULT (STDMETHODCALLTYPE ITesselDriver::*get)(VARIANT_BOOL*)) {
        VARIANT_BOOL value = VARIANT_FALSE;
        EXPECT_EQ((object_.Get()->*get)(&value), S_OK);
        return value != VARIANT_FALSE;
    }
    void AddDevices(int count) {
        for (int i = 0; i < count; ++i) ASSERT_EQ(Calls().Call(&ITesselDriver::AddLD), 0);
    }

    ScopedEngineFactory engines_;
    EmuPort line_;
    tessel::ComPtr<ITesselDriver3> object_;
    std::optional<ForwardingDriver> forward_;
    std::unique_ptr<TDriverCalls> calls_;
};

}  // namespace tessel_test
