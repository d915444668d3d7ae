// The search window's behaviour against a view that records what it is told and runs posted tasks on the
// test's thread (the window's thread here), and a driver double whose registers answer from a thread of
// their own; the parameters window's behaviour against a view of three check lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/platform/Registry.h"
#include "driver/forms/SearchForm.h"
#include "driver/forms/SearchParamsForm.h"
#include "search/SearchDriver.h"

namespace {

using searchtest::Only;
using searchtest::SearchDriver;

class RecordingView final : public ISearchView {
  public:
    // What the form told the window, one line per call, in order.
    std::vector<std::string> log;
    std::int32_t selected = 0;
    // What the parameters window's user does; false: Cancel.
    std::function<bool(TSearchParams&)> editParams = [](TSearchParams&) { return false; };
    // Calls other than Post made off the window's thread, and posts made from other threads.
    int offThread = 0;
    int foreignPosts = 0;

    void SetBusy(bool) override {}
    void ShowError(const std::string& text) override { Note("error ", text); }
    void Post(std::function<void()> task) override {
        std::lock_guard lock(mutex_);
        if (std::this_thread::get_id() != owner_) ++foreignPosts;
        tasks_.push_back(std::move(task));
        posted_.notify_all();
    }
    void ShowInfo(const std::string& text) override { Note("info ", text); }
    void ShowProgressControls(bool shown) override { Note("progress controls ", shown); }
    void ShowCombination(const std::string& port, const std::string& speed,
                         const std::string& kind) override {
        Note("combination ", port + "|" + speed + "|" + kind);
    }
    void SetProgress(int position, int maximum) override {
        Note("progress ", std::to_string(position) + "/" + std::to_string(maximum));
    }
    void SetStartButton(const std::string& caption, bool enabled) override {
        Note("start ", caption + (enabled ? "" : " disabled"));
    }
    void EnableStart(bool enabled) override { Note("start enabled ", enabled); }
    void EnableSetup(bool enabled) override { Note("setup enabled ", enabled); }
    void ClearRows() override { Note("clear", std::string()); }
    void AddRow(const TSearchRow& r) override {
        Note("row ", r.port + "|" + r.speed + "|" + r.address + "|" + r.kind + "|" + r.name);
        ids.push_back(r.id);
    }
    std::int32_t SelectedRow() const override { return selected; }
    bool EditParams(TSearchParams& params) override { return editParams(params); }
    void Close(bool ok) override { Note("close ", ok); }

    // Runs posted tasks on this thread until `done` holds; false when it did not within `ms`.
    bool Pump(const std::function<bool()>& done, int ms = 10000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            std::unique_lock lock(mutex_);
            if (!posted_.wait_until(lock, until, [this] { return !tasks_.empty(); })) return false;
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
        }
        return true;
    }
    std::size_t Waiting() const {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }
    bool Logged(const std::string& line) const {
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    std::vector<std::int32_t> ids;  // of the rows, in order

  private:
    void Note(const char* what, const std::string& value) {
        if (std::this_thread::get_id() != owner_) ++offThread;
        log.push_back(what + value);
    }
    void Note(const char* what, bool value) { Note(what, std::string(value ? "1" : "0")); }

    const std::thread::id owner_ = std::this_thread::get_id();
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

class SearchForm : public ::testing::Test {
  protected:
    void SetUp() override {
        tessel::Registry().DeleteKey("Software\\Korvex\\TesselDrv\\TesselDrv\\Параметры поиска");
        driver_.openable = {3};
    }
    // A form over the parameters saved now.
    std::unique_ptr<TSearchForm> MakeForm(const TSearchParams& saved) {
        saved.Save();
        return std::make_unique<TSearchForm>(calls_, view_);
    }
    bool Finished() const {
        return view_.Logged("start Начать") && view_.log.back().rfind("info Поиск", 0) == 0;
    }
    // The driver's calls after the first `from`.
    std::vector<std::string> CallsFrom(std::size_t from) const {
        const auto calls = driver_.Calls();
        return {calls.begin() + static_cast<long>(std::min(from, calls.size())), calls.end()};
    }

    SearchDriver driver_;
    TDriverCalls calls_{&driver_};
    RecordingView view_;
};

// A whole search (COM3 at 9600, both kinds, a register answering at each): the controls through its start,
// combinations, finds and end, every one of them touched on the window's thread; then the second register
// chosen becomes the driver's connection.
TEST_F(SearchForm, SearchFindsBothKindsAndTheChosenRegisterSetsTheConnection) {
    driver_.answers[{3, 4, false}] = {{20, 2}};
    driver_.answers[{3, 4, true}] = {{20, 5}};
    auto form = MakeForm(Only({3}, {4}, true, true));
    form->Init();
    view_.log.clear();
    form->StartClicked();
    ASSERT_TRUE(view_.Pump([&] { return view_.Logged("info Поиск завершен. Найдено ККМ: 2"); }));
    const std::vector<std::string> expected = {
        "start enabled 0",
        "setup enabled 0",
        "start Прервать",
        "info Выполняется поиск:",
        "combination ||",
        "progress controls 1",
        "progress 0/16",
        "clear",
        "progress 0/16",
        "combination : COM3|: 9600|: обычная",
        "progress 1/16",
        "row COM3|9600|2|обычная|ККМ 2",
        "combination : COM3|: 9600|: бензиновая",
        "progress 2/16",
        "row COM3|9600|5|бензиновая|ККМ 5",
        "setup enabled 1",
        "start Начать",
        "progress controls 0",
        "info Поиск завершен. Найдено ККМ: 2",
    };
    EXPECT_EQ(view_.log, expected);
    EXPECT_EQ(view_.offThread, 0);
    EXPECT_GT(view_.foreignPosts, 0) << "the notifications come from the search thread";
    EXPECT_FALSE(form->Running());

    ASSERT_EQ(view_.ids.size(), 2u);
    view_.selected = view_.ids[1];
    const std::size_t searched = driver_.Calls().size();
    form->Choose();
    EXPECT_EQ(CallsFrom(searched),
              (std::vector<std::string>{"Fuel=true", "PortNumber=3", "BaudRate=4", "DstAddress=5"}));
    EXPECT_EQ(view_.log.back(), "close 1");
}

struct ChooseCase {
    const char* name;
    int row;  // index of the row selected; -1 none, -2 a row the form does not know
    const char* refused;
    std::vector<std::string> puts;
    std::vector<std::string> tail;  // the last lines of the view's log
};

class SearchChoose : public SearchForm, public ::testing::WithParamInterface<ChooseCase> {};

// Rows from notifications alone, as the window's thread applies them: a choice sets the four members in
// their order and closes with OK; no row, an unknown one, or a refused member closes with Cancel.
TEST_P(SearchChoose, ClosesWithOkOnlyWhenTheConnectionIsSet) {
    auto form = MakeForm(TSearchParams());
    for (std::uint8_t address : {7, 9}) {
        TSearchNotification n;
        n.State = ssFound;
        n.Current = {4, address == 9, 6, address, "ККМ", 0, ""};
        form->Notified(n);
    }
    view_.selected = GetParam().row >= 0    ? view_.ids.at(static_cast<std::size_t>(GetParam().row))
                     : GetParam().row == -2 ? 1000000
                                            : 0;
    if (GetParam().refused != nullptr) driver_.refused = {GetParam().refused};
    form->Choose();
    EXPECT_EQ(CallsFrom(0), GetParam().puts);
    const std::vector<std::string> tail(view_.log.end() - static_cast<long>(GetParam().tail.size()),
                                        view_.log.end());
    EXPECT_EQ(tail, GetParam().tail);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SearchChoose,
    ::testing::Values(
        ChooseCase{
            "Fuel", 1, nullptr, {"Fuel=true", "PortNumber=4", "BaudRate=6", "DstAddress=9"}, {"close 1"}},
        ChooseCase{"NoRow", -1, nullptr, {}, {"row COM4|38400|9|бензиновая|ККМ", "close 0"}},
        ChooseCase{"UnknownRow", -2, nullptr, {}, {"row COM4|38400|9|бензиновая|ККМ", "close 0"}},
        ChooseCase{"Refused",
                   0,
                   "BaudRate",
                   {"Fuel=false", "PortNumber=4", "BaudRate=6"},
                   {"error Неверное значение параметра", "close 0"}}),
    [](const auto& info) { return std::string(info.param.name); });

// "Прервать" while the search waits for answers: the button is held until the search has ended, which it
// does at once; then a window closed during a new search stops it and lets the engine go.
TEST_F(SearchForm, InterruptAndCloseEndTheSearchAtOnce) {
    auto form = MakeForm(Only({3}, {1, 2, 3, 4, 5, 6, 7, 8}, true, true));
    form->StartClicked();
    ASSERT_TRUE(view_.Pump([&] { return view_.Logged("combination : COM3|: 1200|: обычная"); }));
    view_.log.clear();
    const auto before = std::chrono::steady_clock::now();
    form->StartClicked();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
    EXPECT_EQ(view_.log.front(), "start enabled 0");
    ASSERT_TRUE(view_.Pump([&] { return Finished(); }));
    EXPECT_EQ(view_.log.back(), "info Поиск завершен. Найдено ККМ: 0");
    EXPECT_FALSE(form->Running());

    form->StartClicked();
    ASSERT_TRUE(view_.Pump([&] { return form->Running(); }));
    form->Closing();
    const auto calls = driver_.Calls();
    const auto port = std::find_if(calls.rbegin(), calls.rend(), [](const std::string& call) {
        return call.rfind("DeviceEnabled=", 0) == 0;
    });
    EXPECT_TRUE(port == calls.rend() || *port == "DeviceEnabled=false") << "the port is left closed";
    EXPECT_EQ(driver_.SinkCount(), 0u) << "the engine went with the window";
    // What was posted before the close finds the form without its engine.
    EXPECT_TRUE(view_.Pump([&] { return view_.Waiting() == 0; }));
}

TEST_F(SearchForm, ParametersAreSavedOnlyWhenTheirWindowClosesWithOk) {
    auto form = MakeForm(Only({3}, {4}, true, false));
    std::string shownPorts;
    view_.editParams = [&](TSearchParams& params) {
        for (std::size_t i = 0; i < params.Count(TSearchList::Ports); ++i)
            if (params.Checked(TSearchList::Ports, i)) shownPorts += params.Items(TSearchList::Ports)[i].Text;
        params.SetChecked(TSearchList::Ports, 0, true);
        return false;
    };
    form->SetupClicked();
    EXPECT_EQ(shownPorts, "COM3");
    TSearchParams saved;
    saved.Load();
    EXPECT_FALSE(saved.Checked(TSearchList::Ports, 0));

    view_.editParams = [](TSearchParams& params) {
        params.SetChecked(TSearchList::Ports, 0, true);
        return true;
    };
    form->SetupClicked();
    saved.Load();
    EXPECT_TRUE(saved.Checked(TSearchList::Ports, 0));
    EXPECT_TRUE(form->Params().Checked(TSearchList::Ports, 0));
}

// Ports mapped to a network address show it; the bar counts a speed and kind once however many ports try
// it, starts again at each port and comes round to 0 past its end.
TEST_F(SearchForm, BarAndCombinationOfNotifications) {
    auto form = MakeForm(Only({3}, {4}, true, false));
    auto note = [&](int state, std::int32_t port, std::int32_t speed, std::int32_t kind) {
        TSearchNotification n;
        n.State = state;
        n.CurrentPort = port;
        n.CurrentSpeed = speed;
        n.CurrentKind = kind;
        n.CurrentPortAddress = port == 5 ? "tcp://10.0.0.7:4001" : "";
        form->Notified(n);
        return view_.log.back();
    };
    note(ssStarted, 0, 0, 0);
    EXPECT_EQ(note(ssTrying, 3, 4, 1), "progress 1/16");
    EXPECT_EQ(note(ssTrying, 5, 4, 1), "combination : COM5 (tcp://10.0.0.7:4001)|: 9600|: обычная");
    EXPECT_EQ(note(ssTrying, 3, 9, 2), "progress 2/16");
    EXPECT_EQ(view_.log[view_.log.size() - 2], "combination : COM3|: Недопустимое значение|: бензиновая");
    EXPECT_EQ(note(ssNextPort, 4, 0, 0), "progress 0/16");
    for (int i = 0; i < 16; ++i) note(ssTrying, 4, 1 + i % 8, 1 + i / 8);
    EXPECT_EQ(view_.log.back(), "progress 16/16");
    EXPECT_EQ(note(ssTrying, 4, 1, 1), "progress 0/16");
}

// The parameters window: each list's buttons keep what the user changed in the other lists, the defaults
// replace everything, and only OK gives the checks back.
class ListsView final : public ISearchParamsView {
  public:
    std::map<TSearchList, std::vector<bool>> lists;
    void SetBusy(bool) override {}
    void ShowError(const std::string&) override {}
    void ShowList(TSearchList list, const std::vector<TSearchItem>& items) override {
        lists[list].clear();
        for (const TSearchItem& item : items) lists[list].push_back(item.Checked);
    }
    std::vector<bool> Checks(TSearchList list) const override { return lists.at(list); }
};

TEST(SearchParamsForm, ListButtonsKeepTheUsersChecksAndOkGivesThemBack) {
    ListsView view;
    TSearchParamsForm form(view);
    TSearchParams caller = Only({3}, {4}, true, false);
    form.Show(caller);
    EXPECT_EQ(view.lists[TSearchList::ECRTypes], (std::vector<bool>{true, false}));
    EXPECT_EQ(view.lists[TSearchList::BaudRates],
              (std::vector<bool>{false, false, false, true, false, false, false, false}));
    view.lists[TSearchList::Ports][0] = true;  // the user checks COM1
    form.CheckAll(TSearchList::BaudRates, true);
    form.CheckAll(TSearchList::ECRTypes, false);
    EXPECT_EQ(view.lists[TSearchList::BaudRates], std::vector<bool>(8, true));
    EXPECT_EQ(view.lists[TSearchList::ECRTypes], (std::vector<bool>{false, false}));
    EXPECT_TRUE(view.lists[TSearchList::Ports][0]);
    EXPECT_FALSE(caller.Checked(TSearchList::Ports, 0)) << "nothing reaches the caller before OK";

    view.lists[TSearchList::ECRTypes][1] = true;
    form.Accept(caller);
    EXPECT_TRUE(caller.Checked(TSearchList::Ports, 0));
    EXPECT_TRUE(caller.Checked(TSearchList::Ports, 2));
    EXPECT_TRUE(caller.AnyChecked(TSearchList::ECRTypes) && !caller.Checked(TSearchList::ECRTypes, 0));
    EXPECT_TRUE(caller.Checked(TSearchList::BaudRates, 7));

    form.SetDefaults();
    EXPECT_EQ(view.lists[TSearchList::Ports], std::vector<bool>(32, true));
    EXPECT_EQ(view.lists[TSearchList::ECRTypes], (std::vector<bool>{true, false}));
}

}  // namespace
