#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "driver/base/untError.h"
#include "driver/link/untDriver.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ops = std::vector<std::string>;

// Records every call with its time; holds received bytes until they are read.
class FakePort : public ICommPort {
  public:
    void Open() override {
        if (!open_) Record("open");
        open_ = true;
    }
    void Close() override {
        if (open_) Record("close");
        open_ = false;
    }
    bool Enabled() const override { return open_; }
    int PortNumber() const override { return port_; }
    void SetPortNumber(int value) override {
        if (value < 1 || value > 32) throw EDriverError(E_INVALIDVALUE);
        Record("port");
        port_ = value;
    }
    int BaudIndex() const override { return baud_; }
    void SetBaudIndex(int value) override {
        Record("baud");
        baud_ = value;
    }
    void SetEvents(std::uint32_t events) override { events_ = events; }
    void SetRxCharHandler(RxCharHandler handler) override { rx_ = std::move(handler); }
    void Write(const Bytes& data) override {
        Open();
        Record("write");
        if (failWrite_) throw std::runtime_error("write refused");
        written_ = data;
    }
    Bytes Read(std::size_t count) override {
        Record("read" + std::to_string(count));
        Bytes out(input_.begin(), input_.begin() + static_cast<long>(std::min(count, input_.size())));
        input_.erase(input_.begin(), input_.begin() + static_cast<long>(out.size()));
        return out;
    }
    void PurgeInput() override { Record("purge"); }
    void SetDTR(bool on) override { Record(on ? "dtr1" : "dtr0"); }
    void SetRTS(bool on) override { Record(on ? "rts1" : "rts0"); }

    // Bytes arrive; the event thread would call the handler with the count waiting.
    void Receive(const Bytes& data) {
        input_.insert(input_.end(), data.begin(), data.end());
        rx_(input_.size());
    }
    Clock::time_point At(const std::string& op) const {
        for (std::size_t i = 0; i < ops_.size(); ++i) {
            if (ops_[i] == op) return times_[i];
        }
        throw std::logic_error("no " + op);
    }
    void Clear() {
        ops_.clear();
        times_.clear();
    }

    Ops ops_;
    std::vector<Clock::time_point> times_;
    Bytes written_;
    Bytes input_;
    std::uint32_t events_ = kAllCommEvents;
    RxCharHandler rx_;
    bool open_ = false;
    bool failWrite_ = false;
    int port_ = 2;
    int baud_ = 6;

  private:
    void Record(const std::string& op) {
        ops_.push_back(op);
        times_.push_back(Clock::now());
    }
};

// Collects frames, as a logical device does.
class RecordingDriver : public TDriver {
  public:
    using TDriver::TDriver;
    ~RecordingDriver() override { SetDeviceEnabled(false); }

    std::vector<Bytes> frames;
    int badEscapes = 0;
    bool callBase = false;

  protected:
    void FrameComplete(TEcrFrame& frame) override {
        frames.push_back(frame.Data());
        if (callBase) TDriver::FrameComplete(frame);
    }
    void BadEscape(TEcrFrame&) override { ++badEscapes; }
};

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

class DriverTest : public ::testing::Test {
  protected:
    DriverTest() : driver_(MakePort(fake_)) { fake_->Clear(); }

    static std::unique_ptr<ICommPort> MakePort(FakePort*& view) {
        auto port = std::make_unique<FakePort>();
        view = port.get();
        return port;
    }

    FakePort* fake_ = nullptr;  // owned by the driver
    RecordingDriver driver_;
};

TEST_F(DriverTest, StartsWithTheLinkDefaults) {
    EXPECT_FALSE(driver_.Fuel());
    EXPECT_EQ(driver_.BaudRate(), 3);
    EXPECT_EQ(fake_->BaudIndex(), 5);
    EXPECT_EQ(driver_.PortNumber(), 1);
    EXPECT_FALSE(driver_.DeviceEnabled());
    EXPECT_EQ(fake_->events_, static_cast<std::uint32_t>(evRxChar));
}

class DriverTimingTest : public DriverTest, public ::testing::WithParamInterface<std::pair<int, double>> {};

TEST_P(DriverTimingTest, HoldsRtsDroppedAroundTheWrite) {
    const auto [code, holdMs] = GetParam();
    driver_.SetBaudRate(code);
    driver_.SetDeviceEnabled(true);
    fake_->Clear();

    driver_.Send({0x7E, 0x02, 0x01});

    ASSERT_EQ(fake_->ops_, (Ops{"purge", "rts0", "write", "rts1"}));
    EXPECT_EQ(fake_->written_, (Bytes{0x7E, 0x02, 0x01}));
    const double lead = Ms(fake_->At("rts0"), fake_->At("write"));
    const double hold = Ms(fake_->At("write"), fake_->At("rts1"));
    EXPECT_GE(lead, 10.0);
    EXPECT_LT(lead, 10.0 + 150);
    EXPECT_GE(hold, holdMs);
    EXPECT_LT(hold, holdMs + 150);
}

// round(160000 / baud) + 20 ms.
INSTANTIATE_TEST_SUITE_P(Rates, DriverTimingTest,
                         ::testing::Values(std::pair{4, 37.0}, std::pair{3, 53.0}, std::pair{8, 21.0},
                                           std::pair{1, 153.0}));

TEST_F(DriverTest, FuelModeSendsWithoutTouchingTheLines) {
    driver_.SetFuel(true);
    driver_.Send({0x01});
    EXPECT_EQ(fake_->ops_, (Ops{"purge", "open", "write"}));
}

TEST_F(DriverTest, FailedWriteRaisesRtsAgainAndIsReported) {
    fake_->failWrite_ = true;
    EXPECT_THROW(driver_.Send({0x01}), std::runtime_error);
    EXPECT_EQ(fake_->ops_, (Ops{"purge", "rts0", "open", "write", "rts1"}));
}

TEST_F(DriverTest, PortNumberChangeClosesThePortFirst) {
    driver_.SetDeviceEnabled(true);
    fake_->Clear();
    driver_.SetPortNumber(1);  // unchanged
    EXPECT_TRUE(fake_->ops_.empty());
    driver_.SetPortNumber(4);
    EXPECT_EQ(fake_->ops_, (Ops{"close", "port"}));
    EXPECT_EQ(driver_.PortNumber(), 4);

    for (int bad : {0, 33}) {
        driver_.SetDeviceEnabled(true);
        EXPECT_THROW(driver_.SetPortNumber(bad), EDriverError) << bad;
        EXPECT_FALSE(driver_.DeviceEnabled()) << bad;  // closed before the number was refused
        EXPECT_EQ(driver_.PortNumber(), 4);
    }
}

TEST_F(DriverTest, BaudCodeGoesToThePortAtOnce) {
    driver_.SetDeviceEnabled(true);
    fake_->Clear();
    const int indexes[] = {3, 4, 5, 6, 8, 9, 11, 12};
    for (int code = 1; code <= 8; ++code) {
        driver_.SetBaudRate(code);
        EXPECT_EQ(fake_->BaudIndex(), indexes[code - 1]);
        EXPECT_EQ(driver_.BaudRate(), code);
    }
    EXPECT_EQ(fake_->ops_, Ops(8, "baud"));
    EXPECT_THROW(driver_.SetBaudRate(9), EDriverError);
    EXPECT_EQ(driver_.BaudRate(), 8);
}

TEST_F(DriverTest, EnablingSetsTheLineStatesOfTheMode) {
    for (const auto& [fuel, ops] :
         {std::pair{false, Ops{"open", "rts1"}}, std::pair{true, Ops{"open", "rts0", "dtr1"}}}) {
        driver_.SetFuel(fuel);
        fake_->Clear();
        driver_.SetDeviceEnabled(true);
        EXPECT_EQ(fake_->ops_, ops) << fuel;

        fake_->Clear();
        driver_.SetDeviceEnabled(true);  // unchanged: no effect
        driver_.SetFuel(!fuel);          // affects later transmissions only
        EXPECT_TRUE(fake_->ops_.empty());

        driver_.SetDeviceEnabled(false);
        EXPECT_EQ(fake_->ops_, Ops{"close"});
    }
}

TEST_F(DriverTest, ReceivedChunksAreReadStampedAndAssembled) {
    fake_->rx_(0);  // nothing waiting: nothing read
    EXPECT_TRUE(fake_->ops_.empty());

    // 7E 02 01 00 7D 9E 7D 9D 01 11 4A B7 (C1 7Eh, C2 7Dh), split inside an escape pair.
    fake_->Receive({0x7E, 0x02, 0x01, 0x00, 0x7D});
    EXPECT_FALSE(driver_.State().LineIdle().IsSet());
    fake_->Receive({0x9E, 0x7D, 0x9D, 0x01, 0x11, 0x4A, 0xB7});

    ASSERT_EQ(driver_.frames.size(), 1u);
    EXPECT_EQ(driver_.frames[0], (Bytes{0x7E, 0x02, 0x01, 0x00, 0x7E, 0x7D, 0x01, 0x11, 0x4A, 0xB7}));
    EXPECT_TRUE(driver_.Frame().CrcOk());
    EXPECT_EQ(fake_->ops_, (Ops{"read5", "read7"}));
    EXPECT_FALSE(driver_.State().LineIdle().IsSet());  // the override does not signal
}

TEST_F(DriverTest, BaseFrameHandlerMarksTheLineIdle) {
    driver_.callBase = true;
    fake_->Receive({0x7E, 0x02, 0x7D, 0x55});
    EXPECT_EQ(driver_.badEscapes, 1);
    fake_->Receive({0x7E, 0x02, 0x01, 0x00, 0x00, 0x00, 0x01, 0x11, 0x26});
    EXPECT_FALSE(driver_.State().LineIdle().IsSet());
    fake_->Receive({0x33});
    EXPECT_EQ(driver_.frames.size(), 1u);
    EXPECT_TRUE(driver_.State().LineIdle().IsSet());
}

TEST_F(DriverTest, SendWaitsForTheLineToFallQuiet) {
    driver_.SetFuel(true);
    const auto start = Clock::now();
    fake_->Receive({0x7E, 0x02});  // a frame has begun
    driver_.Send({0x01});
    EXPECT_GE(Ms(start, fake_->At("write")), 100.0);
    EXPECT_LT(Ms(start, fake_->At("write")), 100.0 + 300);
}

}  // namespace
