// The device search through a real automation object against emulated registers: two on the line of COM3,
// one on the line of COM5. The test's thread owns the object and pumps its queue while the search runs, as
// the search dialog's thread does, so the driver's IPageEvents reach the search.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "common/com/ComPtr.h"
#include "common/platform/MessageQueue.h"
#include "driver/automation/oleMain.h"
#include "driver/search/Search.h"
#include "support/ComSinks.h"
#include "support/EmuFixture.h"
#include "support/NetLine.h"
#include "support/TempDir.h"

namespace {

using Clock = std::chrono::steady_clock;
using tessel::ComPtr;
using tessel_test::PumpUntil;

class SearchEngineEmu : public ::testing::Test {
  protected:
    void SetUp() override {
        tessel_test::ForgetDriverSettings();
        line3_->AddRegister(9, Model("Первая ККМ на COM3"));
        line3_->AddRegister(4, Model("Вторая ККМ на COM3"));
        line5_->AddRegister(2, Model("ККМ на COM5"));

        driver_.Attach(new TTesselDrv());
        driver_->put_Timeout(500);
        // Wakes the pump below for every notification of the search thread.
        wake_ = std::make_unique<tessel::MessageWindow>([](std::uint32_t, std::uintptr_t, std::intptr_t) {});
    }

    void TearDown() override {
        wake_.reset();
        driver_.Reset();
    }

    static EmuRegisterModel Model(const std::string& description) {
        EmuRegisterModel model;
        model.description = description;
        return model;
    }

    static TSearchParams Only(std::vector<std::size_t> ports, std::size_t speed, bool ordinary, bool fuel) {
        TSearchParams params;
        params.SetAll(TSearchList::Ports, false);
        params.SetAll(TSearchList::BaudRates, false);
        for (std::size_t p : ports) params.SetChecked(TSearchList::Ports, p - 1, true);
        params.SetChecked(TSearchList::BaudRates, speed - 1, true);
        params.SetChecked(TSearchList::ECRTypes, 0, ordinary);
        params.SetChecked(TSearchList::ECRTypes, 1, fuel);
        return params;
    }

    std::unique_ptr<TECRSearch> MakeSearch(TSearchOrder order = TSearchOrder::AllPorts) {
        auto search = std::make_unique<TECRSearch>(driver_.Get());
        search->SetOrder(order);
        search->SetOnNotify([this](const TSearchNotification& n) {
            {
                std::lock_guard lock(mutex_);
                notes_.push_back(n);
            }
            wake_->Post(1, 0, 0);
        });
        return search;
    }

    bool Finished() {
        std::lock_guard lock(mutex_);
        return !notes_.empty() && notes_.back().State == ssFinished;
    }
    std::vector<TSearchNotification> Notes(int state) {
        std::lock_guard lock(mutex_);
        std::vector<TSearchNotification> out;
        for (const auto& n : notes_)
            if (n.State == state) out.push_back(n);
        return out;
    }

    struct Expected {
        std::uint8_t port;
        bool fuel;
        std::uint8_t address;
        std::string description;
    };
    void ExpectFound(const std::vector<Expected>& expected, std::uint8_t speed) {
        const auto found = Notes(ssFound);
        ASSERT_EQ(found.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const TSearchECR& device = found[i].Current;
            EXPECT_EQ(device.Port, expected[i].port) << i;
            EXPECT_EQ(device.Fuel, expected[i].fuel) << i;
            EXPECT_EQ(device.Address, expected[i].address) << i;
            EXPECT_EQ(device.BaudRate, speed) << i;
            EXPECT_EQ(device.Description, expected[i].description) << i;
            EXPECT_GT(device.ID, 0) << i;
        }
    }

    tessel_test::ScopedEngineFactory engines_;
    tessel_test::EmuPort line3_{3, {}};
    tessel_test::EmuPort line5_{5, {}};
    ComPtr<ITesselDriver> driver_;
    std::unique_ptr<tessel::MessageWindow> wake_;
    std::mutex mutex_;
    std::vector<TSearchNotification> notes_;
};

TEST_F(SearchEngineEmu, FindsEveryRegisterWithItsAddressSpeedKindAndDescriptionInAnswerOrder) {
    // The registers of one line answer the search in the order the line serves them.
    const std::vector<std::uint8_t> order3 = line3_->Addresses();
    ASSERT_EQ(order3.size(), 2u);
    auto descriptionOf = [](std::uint8_t address) {
        return address == 9 ? "Первая ККМ на COM3" : "Вторая ККМ на COM3";
    };

    // Port by port, the answers come in an order a test can name (SearchOrderEmu has all ports at once).
    auto search = MakeSearch(TSearchOrder::PortByPort);
    search->Start(Only({3, 5}, 4, true, true));
    ASSERT_TRUE(PumpUntil([this] { return Finished(); }, 15000));

    std::vector<Expected> expected;
    for (bool fuel : {false, true})
        for (std::uint8_t address : order3) expected.push_back({3, fuel, address, descriptionOf(address)});
    for (bool fuel : {false, true}) expected.push_back({5, fuel, 2, "ККМ на COM5"});
    ExpectFound(expected, 4);
    EXPECT_EQ(Notes(ssTrying).size(), 4u);
    EXPECT_EQ(Notes(ssNextPort).size(), 2u);
    EXPECT_FALSE(search->Searching());

    VARIANT_BOOL enabled = VARIANT_TRUE;
    ASSERT_EQ(driver_->get_DeviceEnabled(&enabled), S_OK);
    EXPECT_EQ(enabled, VARIANT_FALSE) << "every port is closed after its step";
}

TEST_F(SearchEngineEmu, AllThirtyTwoPortsWithOneSpeedAndOneKindTakeUnderThreeSeconds) {
    TempDir missing;
    std::vector<std::unique_ptr<tessel_test::ScopedEnv>> nowhere;
    for (int port = 1; port <= 32; ++port) {
        if (port == 3 || port == 5) continue;
        nowhere.push_back(std::make_unique<tessel_test::ScopedEnv>(
            tessel_test::PortVariable(port), missing.File("ttyNone" + std::to_string(port))));
    }
    TSearchParams params = Only({}, 4, true, false);
    params.SetAll(TSearchList::Ports, true);

    auto search = MakeSearch();
    const auto start = Clock::now();
    search->Start(params);
    ASSERT_TRUE(PumpUntil([this] { return Finished(); }, 10000));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_LT(took.count(), 3000);

    const std::vector<std::uint8_t> order3 = line3_->Addresses();
    ExpectFound({{3, false, order3[0], order3[0] == 9 ? "Первая ККМ на COM3" : "Вторая ККМ на COM3"},
                 {3, false, order3[1], order3[1] == 9 ? "Первая ККМ на COM3" : "Вторая ККМ на COM3"},
                 {5, false, 2, "ККМ на COM5"}},
                4);
    const auto ports = Notes(ssNextPort);
    ASSERT_EQ(ports.size(), 32u);
    for (std::size_t i = 0; i < ports.size(); ++i) EXPECT_EQ(ports[i].CurrentPort, static_cast<int>(i + 1));
}

TEST_F(SearchEngineEmu, StopDuringTheWaitForAnswersEndsAtOnce) {
    // The client's own sink, raised right after the search's IPageEvents.
    tessel_test::CommandSink client;
    DWORD cookie = 0;
    ASSERT_EQ(tessel_test::Advise(driver_.Get(), DIID_IDriverEvents, &client, &cookie), S_OK);
    auto search = MakeSearch();
    // Every speed and both kinds: a search that went on would take many seconds.
    TSearchParams params = Only({3}, 1, true, true);
    params.SetAll(TSearchList::BaudRates, true);
    search->Start(params);
    // The first answer reaches the search, then this client: the search now waits for more.
    ASSERT_TRUE(PumpUntil([&client] { return client.Count() > 0; }, 5000));

    const auto before = Clock::now();
    search->Stop();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before);
    EXPECT_LT(took.count(), 400);
    EXPECT_TRUE(Notes(ssFound).empty()) << "stopped before describing what answered";
    EXPECT_EQ(Notes(ssTrying).size(), 1u);
    PumpUntil([this] { return Finished(); }, 1000);
    EXPECT_TRUE(Finished());
    VARIANT_BOOL enabled = VARIANT_TRUE;
    ASSERT_EQ(driver_->get_DeviceEnabled(&enabled), S_OK);
    EXPECT_EQ(enabled, VARIANT_FALSE);

    search.reset();
    driver_.Reset();
    EXPECT_EQ(client.refs, 1u) << "the object's release let go of its sink";
}

// Registers that each answer at one speed, on two serial lines and behind a raw network stream (which keeps
// the speed of its converter: any the driver names), searched at two speeds in either order: every register
// is found once, at its own speed, the network one with its address.
class SearchOrderEmu : public ::testing::TestWithParam<TSearchOrder> {};

TEST_P(SearchOrderEmu, FindsEveryRegisterOnceAtItsSpeedWithTheNetworkAddress) {
    tessel_test::ForgetDriverSettings();
    tessel_test::ScopedEngineFactory engines;
    tessel_test::EmuPort at4800(3, {4}, 4800);
    tessel_test::EmuPort at9600(5, {9}, 9600);
    tessel_test::EmuNetPort network(7, false, {2});
    ComPtr<ITesselDriver> driver;
    driver.Attach(new TTesselDrv());
    driver->put_Timeout(500);
    LONG devices = 0;
    driver->get_LDCount(&devices);

    std::mutex mutex;
    std::vector<TSearchECR> found;
    bool finished = false;
    auto search = std::make_unique<TECRSearch>(driver.Get());
    search->SetOrder(GetParam());
    search->SetOnNotify([&](const TSearchNotification& n) {
        std::lock_guard lock(mutex);
        if (n.State == ssFound) found.push_back(n.Current);
        finished = n.State == ssFinished;
    });
    TSearchParams params;
    params.SetAll(TSearchList::Ports, false);
    params.SetAll(TSearchList::BaudRates, false);
    for (std::size_t port : {3, 5, 7}) params.SetChecked(TSearchList::Ports, port - 1, true);
    for (std::size_t speed : {3, 4}) params.SetChecked(TSearchList::BaudRates, speed - 1, true);
    search->Start(params);
    ASSERT_TRUE(PumpUntil(
        [&] {
            std::lock_guard lock(mutex);
            return finished;
        },
        20000));
    search.reset();

    std::vector<std::string> seen;
    for (const TSearchECR& d : found)
        seen.push_back("COM" + std::to_string(d.Port) + (d.PortAddress.empty() ? "" : "=" + d.PortAddress) +
                       " " + std::to_string(d.BaudRate) + " " + std::to_string(d.Address) + " " +
                       d.Description);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"COM3 3 4 Эмулятор ККМ", "COM5 4 9 Эмулятор ККМ",
                                              "COM7=" + network.Address() + " 3 2 Эмулятор ККМ"}));
    LONG after = 0;
    driver->get_LDCount(&after);
    EXPECT_EQ(after, devices) << "the search's own logical devices are gone";
    driver.Reset();
}

INSTANTIATE_TEST_SUITE_P(Orders, SearchOrderEmu,
                         ::testing::Values(TSearchOrder::AllPorts, TSearchOrder::PortByPort),
                         [](const auto& info) {
                             return std::string(info.param == TSearchOrder::AllPorts ? "AllPorts"
                                                                                     : "PortByPort");
                         });

}  // namespace
