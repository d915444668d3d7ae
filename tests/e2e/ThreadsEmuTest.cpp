// Automation objects used, made and released on other threads while the register's requests arrive: the
// engine runs one operation at a time, and an event never reaches an object that another thread has freed.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/com/ComPtr.h"
#include "driver/automation/untDrvLink.h"
#include "driver/link/EcrFrame.h"
#include "support/ComSinks.h"
#include "support/EmuFixture.h"
#include "support/Latch.h"

namespace {

using tessel::ComPtr;
using tessel_test::Advise;
using tessel_test::CommandSink;
using tessel_test::NewEmuObject;
using tessel_test::PumpFor;
using tessel_test::PumpUntil;

// A request of the register at address 2 to the computer with the given counters, as it goes on the line.
Bytes RegisterRequest(std::uint8_t c1, std::uint8_t c2, const Bytes& payload) {
    Bytes body(6 + payload.size());
    const std::uint8_t header[6] = {1, 2, 0x00, c1, c2, static_cast<std::uint8_t>(payload.size())};
    std::copy(std::begin(header), std::end(header), body.begin());
    std::copy(payload.begin(), payload.end(), body.begin() + 6);
    return BuildFrame(body);
}

// Offsets in the unstuffed frames the emulator reports.
enum : std::size_t { kType = 3, kOpcode = 7, kResult = 8 };

// A sink that, once told, holds the engine's thread inside the event until the test lets it go.
class HoldingSink : public CommandSink {
  public:
    STDMETHOD(Invoke)
    (DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
     UINT* arg) override {
        const HRESULT hr = CommandSink::Invoke(id, riid, lcid, flags, params, result, info, arg);
        std::unique_lock lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(5), [this] { return let_; });
        left_ = true;
        return hr;
    }
    bool WaitEntered() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [this] { return entered_; });
    }
    void LetGo() {
        std::lock_guard lock(mutex_);
        let_ = true;
        changed_.notify_all();
    }
    bool Left() {
        std::lock_guard lock(mutex_);
        return left_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool let_ = false;
    bool left_ = false;
};

class ThreadsEmu : public ::testing::Test {
  protected:
    void SetUp() override { tessel_test::ForgetDriverSettings(); }
    void TearDown() override { line_->SetFrameObserver(nullptr); }

    tessel_test::ScopedEngineFactory engines_;  // fresh counters: the register's first request is in sequence
    tessel_test::EmuPort line_{1};
};

// A worker reads registers through the object while the engine's thread answers, by itself, requests of the
// register that are out of sequence: the automatic answers wait for the worker's exchange to end, so each
// of its answers is taken, none is announced, and every value is its register's.
TEST_F(ThreadsEmu, AutomaticAnswersWaitForAnotherThreadsExchange) {
    line_->UpdateModel(2, [](EmuRegisterModel& m) {
        for (int n = 1; n <= 4; ++n) m.cashRegisters[n] = 1111ULL * n;
    });
    CommandSink sink;  // outlives the object, which releases it when the test stops early
    auto driver = NewEmuObject();
    ASSERT_EQ(driver->put_DeviceEnabled(VARIANT_TRUE), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(Advise(driver.Get(), DIID_IDriverEvents, &sink, &cookie), S_OK);

    // Every request of the worker is followed on the line by a request of the register out of sequence.
    std::atomic<int> requests{0};
    std::atomic<int> refused{0};
    line_->SetFrameObserver([&](const EmuFrameEvent& ev) {
        if (ev.kind != EmuFrameEvent::Kind::Received || ev.bytes.size() <= kResult) return;
        if (ev.bytes[kType] == 0 && ev.bytes[kOpcode] == 0x1A) {
            const int n = requests++;
            line_->SendNoise(RegisterRequest(static_cast<std::uint8_t>(5 + 3 * n), 0xEE, {0x81, 1, 0, 0, 0}));
        } else if (ev.bytes[kType] == 1 && ev.bytes[kOpcode] == 0x81 && ev.bytes[kResult] == 204) {
            ++refused;
        }
    });

    constexpr int kReads = 8;
    std::vector<std::string> wrong;
    std::atomic<bool> done{false};
    std::jthread worker([&] {
        for (int i = 0; i < kReads; ++i) {
            const int n = 1 + i % 4;
            driver->put_RegisterNumber(n);
            LONG result = -1;
            driver->GetCashReg(&result);
            CY value{};
            driver->get_CashRegister(&value);
            if (result != 0 || value.int64 != 1111LL * n * 100)
                wrong.push_back(std::to_string(n) + ": " + std::to_string(result) + ", " +
                                std::to_string(value.int64));
        }
        done = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return done.load(); }, 30000));
    worker.join();
    ASSERT_TRUE(PumpUntil([&] { return refused.load() == kReads; }, 3000)) << refused.load() << " answered";
    line_->SetFrameObserver(nullptr);

    EXPECT_TRUE(wrong.empty()) << wrong.size() << " reads went wrong, the first " << wrong.front();
    EXPECT_EQ(requests.load(), kReads);
    EXPECT_EQ(sink.Count(), 0u) << "neither an answer nor a refused request is announced";
    EXPECT_EQ(line_->ExecutionCount(2, 0x1A), static_cast<std::uint64_t>(kReads));
    EXPECT_EQ(tessel_test::Unadvise(driver.Get(), DIID_IDriverEvents, cookie), S_OK);
}

// Another thread drops its last reference to an object while the engine's thread is inside that object's
// event: the object lives to the end of the call and goes on the engine's thread afterwards.
TEST_F(ThreadsEmu, AnObjectReleasedOnAnotherThreadDuringItsEventLivesToTheEndOfTheCall) {
    const LONG before = TTesselDrv::LiveObjects();
    auto driver = NewEmuObject();
    ASSERT_EQ(driver->put_DeviceEnabled(VARIANT_TRUE), S_OK);
    HoldingSink sink;
    tessel_test::Latch advised(1);
    std::atomic<bool> released{false};
    std::jthread other([&] {
        ComPtr<ITesselDriver3> object;
        object.Attach(new TTesselDrv());
        DWORD cookie = 0;
        EXPECT_EQ(Advise(object.Get(), DIID_IPageEvents, &sink, &cookie), S_OK);
        advised.count_down();
        if (!sink.WaitEntered()) return;
        object.Reset();
        released = true;
        sink.LetGo();
    });
    advised.wait();
    line_->SendNoise(RegisterRequest(0, 0, {0x80, 1, 2, 3}));
    ASSERT_TRUE(PumpUntil([&] { return sink.Left(); }, 5000));
    other.join();
    EXPECT_TRUE(released);
    EXPECT_EQ(sink.Count(), 1u);
    EXPECT_EQ(TTesselDrv::LiveObjects(), before + 1) << "the released object went after its event";
    EXPECT_EQ(sink.refs, 1u) << "its connection point let the sink go";
}

// A client that lets its only object go inside that object's event (a script dropping the driver once it has
// seen a request): the engine goes with the object, after the event, and nothing of it is used afterwards.
TEST_F(ThreadsEmu, TheLastObjectReleasedInsideItsOwnEventTakesTheEngineAfterTheEvent) {
    class ReleasingSink : public CommandSink {
      public:
        ComPtr<ITesselDriver3> object;
        STDMETHOD(Invoke)
        (DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
         UINT* arg) override {
            const HRESULT hr = CommandSink::Invoke(id, riid, lcid, flags, params, result, info, arg);
            object.Reset();
            return hr;
        }
    } sink;
    const LONG before = TTesselDrv::LiveObjects();
    sink.object = NewEmuObject();
    ASSERT_EQ(sink.object->put_DeviceEnabled(VARIANT_TRUE), S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(Advise(sink.object.Get(), DIID_IDriverEvents, &sink, &cookie), S_OK);
    line_->SendNoise(RegisterRequest(0, 0, {0x80, 1, 2, 3}));
    ASSERT_TRUE(PumpUntil([&] { return sink.Count() == 1; }, 5000));
    PumpFor(100);
    EXPECT_EQ(TTesselDrv::LiveObjects(), before);
    EXPECT_EQ(TDrvLinks::Current(), nullptr) << "the engine went with its last object";

    // A new object makes a new engine, which takes the port again.
    auto again = NewEmuObject();
    EXPECT_EQ(again->put_DeviceEnabled(VARIANT_TRUE), S_OK);
    LONG result = -1;
    EXPECT_EQ(again->GetECRStatus(&result), S_OK);
    EXPECT_EQ(result, 0);
}

// Objects made, advised and released on several threads while a burst of the register's requests is fanned
// out to every object: each object is told while it lives or not at all, and none is left behind.
TEST_F(ThreadsEmu, ObjectsComeAndGoOnOtherThreadsWhileRequestsArrive) {
    const LONG before = TTesselDrv::LiveObjects();
    auto driver = NewEmuObject();
    ASSERT_EQ(driver->put_DeviceEnabled(VARIANT_TRUE), S_OK);
    CommandSink owner;
    DWORD cookie = 0;
    ASSERT_EQ(Advise(driver.Get(), DIID_IDriverEvents, &owner, &cookie), S_OK);

    constexpr int kThreads = 3;
    constexpr std::size_t kRequests = 150;
    std::vector<std::unique_ptr<CommandSink>> sinks;  // outlive every object they are advised on
    for (int t = 0; t < kThreads; ++t) sinks.push_back(std::make_unique<CommandSink>());
    std::atomic<bool> stop{false};
    std::atomic<int> made{0};
    std::vector<std::jthread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!stop) {
                ComPtr<ITesselDriver3> object;
                object.Attach(new TTesselDrv());
                DWORD c = 0;
                Advise(object.Get(), DIID_IDriverEvents, sinks[t].get(), &c);
                LONG timeout = 0;
                object->get_Timeout(&timeout);
                ++made;
            }
        });
    }
    // Every thread is making objects before the requests come, however late the threads were scheduled.
    ASSERT_TRUE(PumpUntil([&] { return made.load() >= kThreads; }, 10000)) << made.load();
    // The same request again and again: the first is executed, the others are repetitions nobody answered,
    // and each is announced.
    const Bytes request = RegisterRequest(0, 0, {0x80, 1, 2, 3});
    for (std::size_t i = 0; i < kRequests; ++i) line_->SendNoise(request);
    const bool heard = PumpUntil([&] { return owner.Count() == kRequests; }, 10000);
    stop = true;
    threads.clear();
    PumpFor(50);
    EXPECT_TRUE(heard) << owner.Count() << " of " << kRequests;
    EXPECT_GE(made.load(), kThreads);
    EXPECT_EQ(TTesselDrv::LiveObjects(), before + 1);
    for (const auto& sink : sinks) EXPECT_EQ(sink->refs, 1u);
    EXPECT_EQ(tessel_test::Unadvise(driver.Get(), DIID_IDriverEvents, cookie), S_OK);
}

}  // namespace
