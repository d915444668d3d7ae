// The search engine against a driver double that records every call and answers the search request from a
// script, raising IPageEvents from its own thread as the driver's engine thread would.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/com/ComText.h"
#include "common/platform/Registry.h"
#include "driver/search/Search.h"
#include "search/SearchDriver.h"

namespace {

using Clock = std::chrono::steady_clock;
using searchtest::Only;
using searchtest::ScriptedAnswer;
using searchtest::SearchDriver;

// Keeps every notification; a test waits for the end of the search.
class Recorder {
  public:
    TECRSearch::TNotifyEvent Handler() {
        return [this](const TSearchNotification& n) {
            if (onNotify) onNotify(n);
            std::lock_guard lock(mutex_);
            notes_.push_back(n);
            changed_.notify_all();
        };
    }
    bool WaitFinished(std::uint32_t ms = 10000) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms),
                                 [this] { return !notes_.empty() && notes_.back().State == ssFinished; });
    }
    std::vector<int> States() const {
        std::lock_guard lock(mutex_);
        std::vector<int> states;
        for (const auto& n : notes_) states.push_back(n.State);
        return states;
    }
    std::vector<TSearchECR> Found() const {
        std::lock_guard lock(mutex_);
        std::vector<TSearchECR> found;
        for (const auto& n : notes_)
            if (n.State == ssFound) found.push_back(n.Current);
        return found;
    }
    std::vector<TSearchNotification> Notes() const {
        std::lock_guard lock(mutex_);
        return notes_;
    }

    // Runs first, on the search thread; may throw.
    std::function<void(const TSearchNotification&)> onNotify;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<TSearchNotification> notes_;
};

class SearchEngine : public ::testing::Test {
  protected:
    void SetUp() override {
        tessel::Registry reg;
        reg.DeleteKey("Software\\Korvex\\TesselDrv\\TesselDrv\\Параметры поиска");
        driver_.openable = {3, 5};
    }

    // Port by port, the order these tests follow call by call; the order of all ports at once goes through
    // the real driver's logical devices (e2e SearchOrderEmu, the search window's tests).
    std::unique_ptr<TECRSearch> MakeSearch(TSearchOrder order = TSearchOrder::PortByPort) {
        auto search = std::make_unique<TECRSearch>(&driver_);
        search->SetOrder(order);
        search->SetOnNotify(recorder_.Handler());
        return search;
    }

    SearchDriver driver_;
    Recorder recorder_;
};

TEST_F(SearchEngine, OnePortOneSpeedBothKindsMakesTheseCallsInOrder) {
    driver_.answers[{3, 4, false}] = {{30, 7}};
    auto search = MakeSearch();
    search->Start(Only({3}, {4}, true, true));
    ASSERT_TRUE(recorder_.WaitFinished());
    search.reset();

    const std::vector<std::string> expected = {
        "PortNumber=3", "DeviceEnabled=true", "BaudRate=4", "Fuel=false", "SearchDevice",
        // the answer, read on the search thread, then the device's description
        "CommandID=100", "GetCommandParams", "DstAddress=7", "GetDeviceMetrics",
        // the fuel kind, where nothing answers
        "Fuel=true", "SearchDevice", "DeviceEnabled=false"};
    EXPECT_EQ(driver_.Calls(), expected);
    EXPECT_EQ(recorder_.States(),
              (std::vector<int>{ssStarted, ssNextPort, ssTrying, ssFound, ssTrying, ssFinished}));

    const auto notes = recorder_.Notes();
    EXPECT_EQ(notes[1].CurrentPort, 3);
    EXPECT_EQ(notes[2].CurrentSpeed, 4);
    EXPECT_EQ(notes[2].CurrentKind, kKindOrdinary);
    EXPECT_EQ(notes[4].CurrentKind, kKindFuel);
    const auto found = recorder_.Found();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Port, 3);
    EXPECT_EQ(found[0].BaudRate, 4);
    EXPECT_FALSE(found[0].Fuel);
    EXPECT_EQ(found[0].Address, 7);
    EXPECT_EQ(found[0].Description, "ККМ 7");
    EXPECT_GT(found[0].ID, 0);
    EXPECT_EQ(driver_.refs, 1u) << "the search holds the driver only while it lives";
}

TEST_F(SearchEngine, WithoutRoomForALogicalDeviceAllPortsAtOnceGoesPortByPort) {
    driver_.answers[{3, 4, false}] = {{30, 7}};
    auto search = MakeSearch(TSearchOrder::AllPorts);
    search->Start(Only({3}, {4}, true, false));
    ASSERT_TRUE(recorder_.WaitFinished());
    search.reset();
    const std::vector<std::string> expected = {
        // the current device's port freed, no device to be had, the current one selected again
        "DeviceEnabled=false", "AddLD", "LDIndex=0",
        // then as port by port
        "PortNumber=3", "DeviceEnabled=true", "BaudRate=4", "Fuel=false", "SearchDevice", "CommandID=100",
        "GetCommandParams", "DstAddress=7", "GetDeviceMetrics", "DeviceEnabled=false"};
    EXPECT_EQ(driver_.Calls(), expected);
    ASSERT_EQ(recorder_.Found().size(), 1u);
}

TEST_F(SearchEngine, AnswersWithinTheWaitAreReportedInTheirOrderAndALateOneIsMissed) {
    // 9 first, 4 within the wait after it, 6 long after the wait has ended.
    driver_.answers[{5, 6, true}] = {{20, 9}, {550, 4}, {1200, 6}};
    auto search = MakeSearch();
    search->Start(Only({5}, {6}, false, true));
    ASSERT_TRUE(recorder_.WaitFinished());

    const auto found = recorder_.Found();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].Address, 9);
    EXPECT_EQ(found[1].Address, 4);
    for (const auto& device : found) {
        EXPECT_EQ(device.Port, 5);
        EXPECT_EQ(device.BaudRate, 6);
        EXPECT_TRUE(device.Fuel);
    }
    EXPECT_LT(found[0].ID, found[1].ID);
}

// An answer that reached the driver in time counts however late its event is raised: the end of a quiet wait
// has the events' thread hand over what it holds.
TEST_F(SearchEngine, AnAnswerThatCameInTimeCountsThoughItsEventIsLate) {
    driver_.answers[{3, 4, false}] = {{20, 7}};
    driver_.holdEvents = true;
    auto search = MakeSearch();
    search->SetDeliverAnswers([&] {
        driver_.RaiseHeld();
        search->AnswersDelivered();
    });
    search->Start(Only({3}, {4}, true, false));
    ASSERT_TRUE(recorder_.WaitFinished());
    const auto found = recorder_.Found();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Address, 7);
}

TEST_F(SearchEngine, APortThatFailsIsPassedOverAndTheSearchGoesOn) {
    driver_.searchFails = {5};
    driver_.answers[{3, 1, false}] = {{10, 2}};
    auto search = MakeSearch();
    // Port 2 does not open; port 5 opens but refuses the search request; port 3 answers.
    search->Start(Only({2, 3, 5}, {1}, true, true));
    ASSERT_TRUE(recorder_.WaitFinished());

    const auto found = recorder_.Found();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Port, 3);
    EXPECT_EQ(found[0].Address, 2);

    // A failing search request ends its port: one request on ports 2 and 5, closed in every case.
    const auto calls = driver_.Calls();
    auto requestsOn = [&calls](const std::string& port) {
        int requests = 0;
        bool on = false;
        for (const auto& call : calls) {
            if (call.rfind("PortNumber=", 0) == 0) on = call == "PortNumber=" + port;
            if (on && call == "SearchDevice") ++requests;
        }
        return requests;
    };
    EXPECT_EQ(requestsOn("2"), 1);
    EXPECT_EQ(requestsOn("5"), 1);
    EXPECT_EQ(requestsOn("3"), 2);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "DeviceEnabled=false"), 3);
}

TEST_F(SearchEngine, ADeviceThatCannotDescribeItselfShowsTheDriverResultAndAnUnreadableAnswerIsDropped) {
    driver_.metricsFail = {8};
    driver_.unreadable = {11};
    driver_.answers[{3, 3, false}] = {{10, 11}, {20, 8}, {20, 12}};
    auto search = MakeSearch();
    search->Start(Only({3}, {3}, true, false));
    ASSERT_TRUE(recorder_.WaitFinished());

    const auto found = recorder_.Found();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].Address, 8);
    EXPECT_EQ(found[0].Description, "Нет связи");
    EXPECT_EQ(found[1].Address, 12);
    EXPECT_EQ(found[1].Description, "ККМ 12");
}

TEST_F(SearchEngine, AnErrorOfTheNextPortNotificationSkipsThatPort) {
    recorder_.onNotify = [](const TSearchNotification& n) {
        if (n.State == ssNextPort && n.CurrentPort == 3) throw std::runtime_error("refused");
    };
    driver_.answers[{5, 4, false}] = {{10, 1}};
    auto search = MakeSearch();
    search->Start(Only({3, 5}, {4}, true, false));
    ASSERT_TRUE(recorder_.WaitFinished());

    const auto calls = driver_.Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "PortNumber=3"), 0);
    ASSERT_EQ(recorder_.Found().size(), 1u);
    EXPECT_EQ(recorder_.Found()[0].Port, 5);
}

// How the search ends when it is stopped while it waits for answers: by Stop, or by its destruction.
class StopDuringTheWait : public SearchEngine, public ::testing::WithParamInterface<bool> {};

TEST_P(StopDuringTheWait, EndsAtOnce) {
    const bool byDestruction = GetParam();
    std::mutex m;
    std::condition_variable cv;
    bool searched = false;
    driver_.afterSearch = [&] {
        std::lock_guard lock(m);
        searched = true;
        cv.notify_all();
    };
    auto search = MakeSearch();
    // Many combinations ahead: a search that went on would take many seconds.
    search->Start(Only({3, 5}, {1, 2, 3, 4, 5, 6, 7, 8}, true, true));
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return searched; }));
    }
    const auto before = Clock::now();
    if (byDestruction) {
        search.reset();
    } else {
        search->Stop();
        EXPECT_FALSE(search->Searching());
        EXPECT_TRUE(search->Stopped());
    }
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before);
    EXPECT_LT(took.count(), 400) << "the 700 ms wait must be cut short";

    const auto calls = driver_.Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SearchDevice"), 1);
    EXPECT_EQ(calls.back(), "DeviceEnabled=false");
    const auto states = recorder_.States();
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back(), ssFinished);
    EXPECT_EQ(std::count(states.begin(), states.end(), ssTrying), 1);
}

INSTANTIATE_TEST_SUITE_P(ByStopOrDestruction, StopDuringTheWait, ::testing::Bool());

TEST_F(SearchEngine, AStopRightAfterStartIsNotLost) {
    auto search = MakeSearch();
    search->Start(Only({3, 5}, {1, 2, 3, 4, 5, 6, 7, 8}, true, true));
    const auto before = Clock::now();
    search->Stop();
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before).count(), 400);
    const auto calls = driver_.Calls();
    EXPECT_LE(std::count(calls.begin(), calls.end(), "SearchDevice"), 1);

    EXPECT_EQ(recorder_.States().back(), ssFinished);

    // The engine can search again afterwards.
    Recorder again;
    search->SetOnNotify(again.Handler());
    driver_.answers[{5, 2, false}] = {{10, 3}};
    search->Start(Only({5}, {2}, true, false));
    ASSERT_TRUE(again.WaitFinished());
    ASSERT_EQ(again.Found().size(), 1u);
    EXPECT_EQ(again.Found()[0].Address, 3);
}

TEST_F(SearchEngine, EventsOutsideASearchAreIgnored) {
    auto search = MakeSearch();
    EXPECT_EQ(driver_.SinkCount(), 1u);
    EXPECT_EQ(driver_.FireCommand(55), S_OK);
    search->Start(Only({3}, {4}, true, false));
    ASSERT_TRUE(recorder_.WaitFinished());
    EXPECT_TRUE(recorder_.Found().empty());
    const auto calls = driver_.Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "GetCommandParams"), 0);
    search.reset();
    EXPECT_EQ(driver_.SinkCount(), 0u) << "destruction disconnects the sink";
}

TEST_F(SearchEngine, CreationFailsWithoutTheEventInterface) {
    driver_.offersEvents = false;
    try {
        TECRSearch search(&driver_);
        FAIL() << "created without events";
    } catch (const ESearchError& e) {
        EXPECT_STREQ(e.what(), "Невозможно подключиться к событийному интерфейсу");
    }
    EXPECT_EQ(driver_.refs, 1u);
    EXPECT_THROW(TECRSearch(nullptr), std::invalid_argument);
}

}  // namespace
