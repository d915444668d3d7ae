#pragma once
// The device search: on a thread of its own, tries every chosen port, speed and kind of register through the
// driver's ITesselDriver, collects the devices that answer the search request (they arrive as the driver's
// IPageEvents), asks each for its description and reports progress through one notification callback.
//
// The search sends its request on every chosen port at one speed and kind, then collects the answers of all
// ports at once: the wait for answers, most of a search's time, is spent once for all ports rather than
// once for each. Each port is opened on a logical device of the search's own, which it removes again when it
// ends; the driver's current device stays current (its port is closed, so that the search may open it).

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/com/ComPtr.h"
#include "common/platform/SyncObjects.h"
#include "driver/automation/TesselDrv_TLB.h"
#include "driver/search/untEvent.h"
#include "driver/search/untSearchECR.h"
#include "driver/search/untSearchParams.h"

// Notification codes: the value of State when OnNotify is called.
enum TSearchState : int {
    ssStarted = 0,   // search started
    ssFinished = 1,  // search finished, normally or stopped
    ssTrying = 2,    // trying one combination: CurrentPort, CurrentSpeed, CurrentKind
    ssFound = 3,     // a device was found: Current, with its Description
    ssNextPort = 4,  // next port begins: CurrentPort
};

// Kinds of register (CurrentKind).
inline constexpr std::int32_t kKindOrdinary = 1;
inline constexpr std::int32_t kKindFuel = 2;

// How long the search waits for one more answer after the last one.
inline constexpr std::uint32_t kSearchAnswerWaitMs = 700;
// How long the end of that wait waits, at most, for the thread that raises the driver's events to hand over
// the answers the driver received in time.
inline constexpr std::uint32_t kSearchDeliveryWaitMs = 5000;

// How the search goes over the ports.
enum class TSearchOrder {
    // At each speed and kind, the request on every open port, then the answers of all ports together.
    // Notifications: 4 for each port as it is opened; then for each speed and kind, 2 for each port as the
    // request goes out on it and 3 for each register that answered.
    AllPorts,
    // One port after another, every speed and kind on each, with a wait for answers after every request,
    // on the driver's current device. Taken when the driver has no room for a logical device of the
    // search's own.
    PortByPort,
};

// What a notification reports, copied at the time of the call so a handler may hand it to another thread.
struct TSearchNotification {
    int State = ssStarted;
    std::int32_t CurrentPort = 0;
    std::int32_t CurrentSpeed = 0;
    std::int32_t CurrentKind = 0;
    std::string CurrentPortAddress;  // the network address CurrentPort is mapped to; empty for a serial one
    TSearchECR Current;
};

// Runs one body on a thread of its own; joins it when destroyed.
class TSearchThread {
  public:
    // Starts the thread at once. Throws std::system_error when no thread can be had.
    explicit TSearchThread(std::function<void()> body);
    ~TSearchThread();
    TSearchThread(const TSearchThread&) = delete;
    TSearchThread& operator=(const TSearchThread&) = delete;

    // Waits for the body to return. Idempotent. Never call it from the body itself.
    void WaitFor();

  private:
    std::thread thread_;
};

class TECRSearch {
  public:
    // Called on the search thread. It must not wait for the thread that calls Start, Stop or the destructor:
    // those wait for the search thread. An error it raises ends the current port (or is dropped for
    // notifications 0 and 1).
    using TNotifyEvent = std::function<void(const TSearchNotification&)>;

    // Takes a reference to `driver`, loads the parameters from the settings and connects to the driver's
    // IPageEvents. Throws ESearchError "Невозможно подключиться к событийному интерфейсу" when that fails,
    // std::invalid_argument for a null driver, tessel::RegistryError for damaged settings.
    explicit TECRSearch(ITesselDriver* driver);
    // Stops a running search and waits for it, then disconnects from the events.
    ~TECRSearch();
    TECRSearch(const TECRSearch&) = delete;
    TECRSearch& operator=(const TECRSearch&) = delete;

    // Set while no search runs.
    void SetOnNotify(TNotifyEvent handler) { onNotify_ = std::move(handler); }
    // Set while no search runs; AllPorts unless set.
    void SetOrder(TSearchOrder order) { order_ = order; }
    TSearchOrder Order() const { return order_; }
    // The answers reach the search only when the thread that raises the driver's events (the window's) runs
    // its loop, which a busy machine may delay beyond the 700 ms. With `deliver` set, a wait that ends
    // without an answer asks that thread (on the search thread; `deliver` must not wait for it) to raise what
    // the driver has received by then, and goes on collecting when that was an answer: a register is missed
    // for answering late, never for the computer being late. Each call of `deliver` must be answered by one
    // call of AnswersDelivered, in order, on any thread. Set while no search runs.
    void SetDeliverAnswers(std::function<void()> deliver) { deliverAnswers_ = std::move(deliver); }
    void AnswersDelivered();

    // Waits for a previous search thread to end, takes a copy of `params` and starts a new search at once.
    // Does not check the parameters (Validate does). Throws std::system_error when no thread can be had.
    void Start(const TSearchParams& params);
    // Stops a running search: the thread sees the stop before its next port, speed, kind or device
    // description, and the wait for answers ends at once. Returns when the thread has ended (at most one
    // driver call later). Without a search it only marks the engine stopped.
    void Stop();

    bool Searching() const { return searching_.load(); }
    bool Stopped() const { return stopped_.load(); }
    // The code of the last notification.
    int State() const { return state_.load(); }
    // The parameters of the last Start (the loaded settings before it).
    const TSearchParams& Params() const { return params_; }

  private:
    // A port of the search in the order of all ports at once, on a logical device of the search's own.
    struct TPortLine {
        std::int32_t port = 0;
        LONG device = 0;  // the logical device's number
        bool open = false;
    };

    // Thread body and its steps; see Execute for the order.
    void Execute();
    // All ports at once; `begun` stays false when no logical device could be had for them (nothing was
    // searched then).
    void SearchAllPorts(bool& begun);
    void SearchLines(std::vector<TPortLine>& lines);
    bool OpenLine(TPortLine& line);
    void CloseLine(TPortLine& line);
    void SelectDevice(LONG number);
    // Port by port.
    void SearchPortByPort();
    void SearchPort();
    void SearchCombination();
    void ClearFound();
    void CollectAnswers();
    // After a quiet wait: has the events' thread raise what the driver received meanwhile; true when that
    // gave an answer to take.
    bool DeliverLateAnswers();
    void TakeAnswers();
    void TakeAnswer(std::int32_t commandID);
    // Asks each device found for its description; `lines` (all ports at once) says on which logical device
    // each port is open.
    void DescribeFound(const std::vector<TPortLine>* lines = nullptr);
    // Whether port `port` is searched at speed `speed`: a port mapped to a raw network stream has no line
    // speed of the driver's to set (the converter keeps its own), so it is searched at the first speed only.
    bool TriesSpeed(std::int32_t port, std::int32_t speed) const;
    std::vector<std::int32_t> CheckedPorts() const;
    const std::string& AddressOf(std::int32_t port) const;
    void Notify(int state);
    // The driver's result of the last call: throws ESearchError with ResultDescription when it is not 0.
    void CheckResult();
    std::int32_t ResultCode();
    // Event thread: an answer to the search request arrived.
    void OnAnswer(std::int32_t commandID);
    void WaitForThread();

    tessel::ManualResetEvent answerEvent_;
    std::unique_ptr<TSearchThread> thread_;
    TSearchECRs found_;                        // under mutex_
    std::deque<std::int32_t> pendingAnswers_;  // under mutex_: CommandIDs not yet read
    mutable std::mutex mutex_;
    tessel::ComPtr<ITesselDriver> driver_;
    std::atomic<int> state_{ssFinished};
    std::unique_ptr<TEventDriver> eventSink_;
    // Written and read on the search thread only.
    std::int32_t currentPort_ = 0;
    TSearchECR current_;
    std::int32_t currentKind_ = 0;
    std::int32_t currentSpeed_ = 0;
    std::atomic<bool> searching_{false};
    std::atomic<bool> stopped_{false};
    TNotifyEvent onNotify_;
    std::function<void()> deliverAnswers_;
    // Deliveries asked for (search thread) and done (any thread); a late one counts for its own asking only.
    std::uint64_t deliveriesAsked_ = 0;
    std::atomic<std::uint64_t> deliveriesDone_{0};
    TSearchParams params_;
    TSearchOrder order_ = TSearchOrder::AllPorts;
    // Read when the search starts: the network address of each port (index = port), the first speed checked.
    std::vector<std::string> portAddresses_;
    std::int32_t firstSpeed_ = 0;
};
