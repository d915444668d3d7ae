#include "tools/tessel/DeviceSearch.h"

#include <deque>
#include <mutex>
#include <vector>

#include "common/platform/MessageQueue.h"
#include "driver/search/Search.h"
#include "tools/tessel/ProgressLine.h"
#include "tools/tessel/ValueText.h"

namespace tessel::cli {

namespace {

constexpr std::uint32_t kWakeMessage = 0x0400 + 1;

// The settings a search changes, in the order they are put back (as the search dialog does on Cancel).
constexpr const char* kConnectionSettings[] = {"Fuel", "BaudRate", "SrcAddress", "DstAddress", "PortNumber"};

void Apply(const SearchChoice& choice, TSearchList list, TSearchParams& params) {
    if (!choice) return;
    for (std::size_t i = 0; i < choice->size(); ++i) params.SetChecked(list, i, (*choice)[i]);
}

const char* KindName(bool fuel) {
    return fuel ? "fuel" : "normal";
}

// The driver's connection settings as they were; put back by Restore, or when it goes.
class SavedConnection {
  public:
    explicit SavedConnection(DispatchDriver& driver) : driver_(driver) {
        for (std::size_t i = 0; i < std::size(kConnectionSettings); ++i)
            driver_.Get(kConnectionSettings[i], values_[i]);
    }
    ~SavedConnection() {
        try {
            Restore();
        } catch (...) {
            // Only on the way out of a failure, which is the one to report.
        }
    }
    SavedConnection(const SavedConnection&) = delete;
    SavedConnection& operator=(const SavedConnection&) = delete;

    // Throws DispatchError when the driver refuses a value.
    void Restore() {
        if (restored_) return;
        restored_ = true;
        for (std::size_t i = 0; i < std::size(kConnectionSettings); ++i)
            driver_.Put(kConnectionSettings[i], *values_[i]);
    }

  private:
    DispatchDriver& driver_;
    Variant values_[std::size(kConnectionSettings)];
    bool restored_ = false;
};

// The engine's notifications, handed from the search thread to this one.
class Inbox {
  public:
    Inbox() : wake_([](std::uint32_t, std::uintptr_t, std::intptr_t) {}) {}

    // Search thread. A full queue only delays the wake-up: the pump looks every second.
    void Post(const TSearchNotification& notification) {
        {
            std::lock_guard lock(mutex_);
            notes_.push_back(notification);
        }
        wake_.Post(kWakeMessage, 0, 0);
    }
    std::deque<TSearchNotification> Take() {
        std::lock_guard lock(mutex_);
        return std::exchange(notes_, {});
    }

  private:
    std::mutex mutex_;
    std::deque<TSearchNotification> notes_;
    tessel::MessageWindow wake_;
};

// Shows the engine's notifications: the progress on the progress line, each register found on the output.
class SearchReport {
  public:
    SearchReport(Session& session, ProgressLine& line) : session_(session), line_(line) {}

    void Show(const TSearchNotification& n) {
        const std::string port = "Searching COM" + std::to_string(n.CurrentPort) +
                                 (n.CurrentPortAddress.empty() ? "" : " (" + n.CurrentPortAddress + ")");
        switch (n.State) {
            case ssNextPort:
                // A plain log gets a line per port; a terminal sees the combinations pass.
                line_.Progress(port);
                line_.Update(port);
                break;
            case ssTrying:
                line_.Update(port + " at " + BaudRateText(n.CurrentSpeed) + " baud, " +
                             KindName(n.CurrentKind == kKindFuel));
                break;
            case ssFound:
                ++found_;
                line_.Clear();
                session_.Print(FoundLine(n.Current));
                break;
            case ssFinished:
                finished_ = true;
                break;
            default:
                break;
        }
    }
    std::size_t Found() const { return found_; }
    bool Finished() const { return finished_; }

  private:
    Session& session_;
    ProgressLine& line_;
    std::size_t found_ = 0;
    bool finished_ = false;
};

}  // namespace

TSearchParams SearchParamsFor(const SearchOptions& options) {
    TSearchParams params;
    params.Load();
    Apply(options.ports, TSearchList::Ports, params);
    Apply(options.speeds, TSearchList::BaudRates, params);
    Apply(options.kinds, TSearchList::ECRTypes, params);
    // In the order the search parameters check them.
    const std::pair<TSearchList, const char*> lists[] = {
        {TSearchList::Ports, "port"}, {TSearchList::BaudRates, "speed"}, {TSearchList::ECRTypes, "kind"}};
    for (const auto& [list, what] : lists) {
        if (!params.AnyChecked(list)) {
            throw UsageError(std::string("search: no ") + what + " chosen to search (--" + what +
                             "s, or the saved search parameters)");
        }
    }
    return params;
}

std::string FoundLine(const TSearchECR& device) {
    std::string line = "COM" + std::to_string(device.Port) +
                       (device.PortAddress.empty() ? "" : "=" + device.PortAddress) + " " +
                       BaudRateText(device.BaudRate) + " " + KindName(device.Fuel) + " " +
                       std::to_string(device.Address);
    if (!device.Description.empty()) line += " " + EscapeControls(device.Description);
    return line;
}

DeviceSearch::DeviceSearch(Session& session, MessagePump& pump, std::ostream& progress, bool terminal)
    : session_(session), pump_(pump), progress_(progress), terminal_(terminal) {}

std::size_t DeviceSearch::Run(const SearchOptions& options) {
    const TSearchParams params = SearchParamsFor(options);
    if (options.save) params.Save();

    ProgressLine line(progress_, ProgressLine::ModeFor(terminal_, options.quiet),
                      ProgressLine::StderrWidth());
    SavedConnection saved(session_.Driver());
    SearchReport report(session_, line);
    {
        // The inbox outlives the engine, whose thread posts to it until the engine has stopped.
        Inbox inbox;
        const auto driver = session_.Driver().Interface();
        TECRSearch search(driver.Get());
        search.SetOnNotify([&inbox](const TSearchNotification& n) { inbox.Post(n); });
        const auto showArrived = [&] {
            for (const TSearchNotification& n : inbox.Take()) report.Show(n);
            return report.Finished();
        };
        search.Start(params);
        if (!pump_.PumpUntil(showArrived)) {
            // A stop signal: the engine ends at its next step; what it found so far is shown.
            search.Stop();
            showArrived();
        }
    }
    saved.Restore();
    line.Clear();
    line.Line("Found " + std::to_string(report.Found()) + " register(s)");
    return report.Found();
}

}  // namespace tessel::cli
