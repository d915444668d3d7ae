#include "driver/search/Search.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/com/ComText.h"
#include "driver/link/CUCommAddress.h"

namespace {

// Answers waiting to be read; a line that floods the computer with answers cannot grow memory beyond this.
// More than every network address answering several times over.
constexpr std::size_t kMaxPendingAnswers = 1024;

// A failing HRESULT is a failed driver call, like a refused property in a client of the dual interface.
void Check(HRESULT hr, const char* member) {
    if (SUCCEEDED(hr)) return;
    char text[96];
    std::snprintf(text, sizeof text, "Ошибка вызова %s: 0x%08X", member, static_cast<unsigned>(hr));
    throw ESearchError(text);
}

template <typename Getter>
std::string GetText(Getter getter, const char* member) {
    BSTR raw = nullptr;
    const HRESULT hr = getter(&raw);
    tessel::UniqueBstr owned(raw);
    Check(hr, member);
    return tessel::BstrToUtf8(owned.get());
}

// Runs `work`; an error it raises is dropped. The search passes over what fails and goes on.
template <typename Work>
bool Attempt(Work&& work) {
    try {
        work();
        return true;
    } catch (...) {
        return false;
    }
}

// The logical devices the search adds for its ports. When the search ends, however it ends, they are
// removed and the device that was current before is current again (by its index: the devices added take the
// smallest free numbers, so the index is the old one once they are gone, and a device without a number is
// found as well).
class TSearchDevices {
  public:
    explicit TSearchDevices(ITesselDriver* driver) : driver_(driver) {
        Check(driver_->get_LDIndex(&index_), "LDIndex");
    }
    ~TSearchDevices() {
        // Nothing here may throw: the search may be ending through a failure already.
        for (const LONG number : numbers_) {
            LONG result = 0;
            if (SUCCEEDED(driver_->put_LDNumber(number))) static_cast<void>(driver_->DeleteLD(&result));
        }
        static_cast<void>(driver_->put_LDIndex(index_));
    }
    TSearchDevices(const TSearchDevices&) = delete;
    TSearchDevices& operator=(const TSearchDevices&) = delete;

    // Adds devices until there are `count` or the driver takes no more (99 devices at most).
    void Acquire(std::size_t count) {
        while (numbers_.size() < count) {
            LONG result = 0;
            Check(driver_->AddLD(&result), "AddLD");
            if (result != 0) return;
            LONG number = 0;
            Check(driver_->get_LDNumber(&number), "LDNumber");
            numbers_.push_back(number);
        }
    }
    std::size_t Count() const { return numbers_.size(); }
    LONG operator[](std::size_t i) const { return numbers_[i]; }

  private:
    ITesselDriver* driver_;
    LONG index_ = 0;
    std::vector<LONG> numbers_;
};

}  // namespace

// ---- TSearchThread ----

TSearchThread::TSearchThread(std::function<void()> body) : thread_(std::move(body)) {}

TSearchThread::~TSearchThread() {
    WaitFor();
}

void TSearchThread::WaitFor() {
    if (thread_.joinable()) thread_.join();
}

// ---- TECRSearch ----

TECRSearch::TECRSearch(ITesselDriver* driver) : driver_(driver) {
    if (!driver_) throw std::invalid_argument("the search needs a driver");
    params_.Load();
    eventSink_ = std::make_unique<TEventDriver>(driver_, [this](std::int32_t id) { OnAnswer(id); });
    eventSink_->Connect();
}

TECRSearch::~TECRSearch() {
    Stop();
    // Before the lists go: an event raised from now on must not reach them.
    eventSink_->Disconnect();
}

void TECRSearch::Start(const TSearchParams& params) {
    // The old thread reads the parameters until it ends.
    WaitForThread();
    params_.Assign(params);
    // Set here, not by the thread: a Stop right after Start must not be undone when the thread starts.
    stopped_ = false;
    searching_ = true;
    try {
        thread_ = std::make_unique<TSearchThread>([this] { Execute(); });
    } catch (...) {
        searching_ = false;
        throw;
    }
}

void TECRSearch::Stop() {
    searching_ = false;
    stopped_ = true;
    answerEvent_.Set();
    WaitForThread();
}

void TECRSearch::WaitForThread() {
    if (!thread_) return;
    thread_->WaitFor();
    thread_.reset();
}

void TECRSearch::Execute() {
    portAddresses_.assign(kSearchPortCount + 1, std::string());
    for (const std::int32_t port : CheckedPorts())
        portAddresses_[static_cast<std::size_t>(port)] = CommNetworkText(port);
    const std::vector<TSearchItem>& speeds = params_.Items(TSearchList::BaudRates);
    firstSpeed_ = 0;
    for (std::size_t s = 0; s < speeds.size() && firstSpeed_ == 0; ++s)
        if (speeds[s].Checked) firstSpeed_ = static_cast<std::int32_t>(s + 1);

    Attempt([this] { Notify(ssStarted); });
    bool begun = false;
    if (order_ == TSearchOrder::AllPorts) Attempt([this, &begun] { SearchAllPorts(begun); });
    if (!begun && !stopped_) SearchPortByPort();
    searching_ = false;
    Attempt([this] { Notify(ssFinished); });
}

std::vector<std::int32_t> TECRSearch::CheckedPorts() const {
    std::vector<std::int32_t> ports;
    const std::vector<TSearchItem>& items = params_.Items(TSearchList::Ports);
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].Checked) ports.push_back(static_cast<std::int32_t>(i + 1));
    return ports;
}

const std::string& TECRSearch::AddressOf(std::int32_t port) const {
    static const std::string none;
    const auto index = static_cast<std::size_t>(port);
    return port > 0 && index < portAddresses_.size() ? portAddresses_[index] : none;
}

bool TECRSearch::TriesSpeed(std::int32_t port, std::int32_t speed) const {
    const std::string& address = AddressOf(port);
    if (address.empty() || speed == firstSpeed_) return true;
    try {
        return ParseNetworkAddress(address).kind != TNetKind::Tcp;
    } catch (const std::invalid_argument&) {
        return true;  // the port fails to open and says why
    }
}

void TECRSearch::SearchAllPorts(bool& begun) {
    const std::vector<std::int32_t> ports = CheckedPorts();
    // The driver's current device may hold one of the ports; the search opens them on devices of its own.
    Check(driver_->put_DeviceEnabled(VARIANT_FALSE), "DeviceEnabled");
    TSearchDevices devices(driver_.Get());
    devices.Acquire(ports.size());
    if (devices.Count() == 0 && !ports.empty()) return;
    begun = true;
    // More ports than devices to be had: the ports are searched in groups, each as one.
    for (std::size_t first = 0; first < ports.size() && !stopped_; first += devices.Count()) {
        std::vector<TPortLine> lines;
        for (std::size_t i = 0; i < devices.Count() && first + i < ports.size() && !stopped_; ++i) {
            TPortLine line{ports[first + i], devices[i], false};
            currentPort_ = line.port;
            if (!Attempt([this] { Notify(ssNextPort); })) continue;
            // A port that cannot be opened is passed over; nothing is reported.
            if (Attempt([this, &line] { line.open = OpenLine(line); }) && line.open) lines.push_back(line);
        }
        Attempt([this, &lines] { SearchLines(lines); });
        for (TPortLine& line : lines) Attempt([this, &line] { CloseLine(line); });
    }
}

void TECRSearch::SelectDevice(LONG number) {
    Check(driver_->put_LDNumber(number), "LDNumber");
}

bool TECRSearch::OpenLine(TPortLine& line) {
    SelectDevice(line.device);
    Check(driver_->put_PortNumber(line.port), "PortNumber");
    Check(driver_->put_DeviceEnabled(VARIANT_TRUE), "DeviceEnabled");
    return ResultCode() == 0;
}

void TECRSearch::CloseLine(TPortLine& line) {
    if (!line.open) return;
    line.open = false;
    SelectDevice(line.device);
    Check(driver_->put_DeviceEnabled(VARIANT_FALSE), "DeviceEnabled");
}

void TECRSearch::SearchLines(std::vector<TPortLine>& lines) {
    const std::vector<TSearchItem>& speeds = params_.Items(TSearchList::BaudRates);
    const std::vector<TSearchItem>& kinds = params_.Items(TSearchList::ECRTypes);
    for (std::size_t s = 0; s < speeds.size() && !stopped_; ++s) {
        if (!speeds[s].Checked) continue;
        for (std::size_t k = 0; k < kinds.size() && !stopped_; ++k) {
            if (!kinds[k].Checked) continue;
            ClearFound();
            bool sent = false;
            for (TPortLine& line : lines) {
                if (stopped_) return;
                if (!line.open || !TriesSpeed(line.port, static_cast<std::int32_t>(s + 1))) continue;
                currentPort_ = line.port;
                currentSpeed_ = static_cast<std::int32_t>(s + 1);
                currentKind_ = static_cast<std::int32_t>(k + 1);
                // A port that refuses the request is done with: its remaining speeds and kinds are skipped.
                const bool ok = Attempt([this, &line] {
                    Notify(ssTrying);
                    SelectDevice(line.device);
                    Check(driver_->put_BaudRate(currentSpeed_), "BaudRate");
                    Check(driver_->put_Fuel(currentKind_ == kKindFuel ? VARIANT_TRUE : VARIANT_FALSE),
                          "Fuel");
                    LONG value = 0;
                    Check(driver_->SearchDevice(&value), "SearchDevice");
                    CheckResult();
                });
                if (ok) {
                    sent = true;
                } else {
                    Attempt([this, &line] { CloseLine(line); });
                }
            }
            if (!sent) continue;
            CollectAnswers();
            if (stopped_) return;
            Attempt([this, &lines] { DescribeFound(&lines); });
        }
    }
}

void TECRSearch::SearchPortByPort() {
    for (const std::int32_t port : CheckedPorts()) {
        if (stopped_) break;
        currentPort_ = port;
        if (!Attempt([this] { Notify(ssNextPort); })) continue;
        // A port that fails (cannot be opened, refuses the search) is passed over; nothing is reported.
        Attempt([this] { SearchPort(); });
    }
}

void TECRSearch::SearchPort() {
    if (stopped_) return;
    try {
        Check(driver_->put_PortNumber(currentPort_), "PortNumber");
        Check(driver_->put_DeviceEnabled(VARIANT_TRUE), "DeviceEnabled");
        const std::vector<TSearchItem>& speeds = params_.Items(TSearchList::BaudRates);
        const std::vector<TSearchItem>& kinds = params_.Items(TSearchList::ECRTypes);
        for (std::size_t s = 0; s < speeds.size() && !stopped_; ++s) {
            if (!speeds[s].Checked) continue;
            currentSpeed_ = static_cast<std::int32_t>(s + 1);
            if (!TriesSpeed(currentPort_, currentSpeed_)) continue;
            Check(driver_->put_BaudRate(currentSpeed_), "BaudRate");
            for (std::size_t k = 0; k < kinds.size() && !stopped_; ++k) {
                if (!kinds[k].Checked) continue;
                currentKind_ = static_cast<std::int32_t>(k + 1);
                Check(driver_->put_Fuel(currentKind_ == kKindFuel ? VARIANT_TRUE : VARIANT_FALSE), "Fuel");
                SearchCombination();
            }
        }
    } catch (...) {
        // The port's own failure is the one that counts; closing is attempted all the same.
        static_cast<void>(driver_->put_DeviceEnabled(VARIANT_FALSE));
        throw;
    }
    Check(driver_->put_DeviceEnabled(VARIANT_FALSE), "DeviceEnabled");
}

void TECRSearch::ClearFound() {
    std::lock_guard lock(mutex_);
    found_.Clear();
    // Late answers to the previous combination belong to no device of this one.
    pendingAnswers_.clear();
}

void TECRSearch::SearchCombination() {
    Notify(ssTrying);
    ClearFound();
    if (stopped_) return;
    LONG value = 0;
    Check(driver_->SearchDevice(&value), "SearchDevice");
    CheckResult();
    CollectAnswers();
    if (stopped_) return;
    DescribeFound();
}

void TECRSearch::CollectAnswers() {
    for (;;) {
        // Reset before reading, so an answer that arrives meanwhile still ends the next wait.
        answerEvent_.Reset();
        TakeAnswers();
        if (stopped_) return;
        if (answerEvent_.WaitFor(kSearchAnswerWaitMs) != tessel::WaitResult::Signaled &&
            !DeliverLateAnswers())
            return;
        if (stopped_) return;
    }
}

bool TECRSearch::DeliverLateAnswers() {
    if (!deliverAnswers_ || stopped_) return false;
    const std::uint64_t asked = ++deliveriesAsked_;
    const auto delivered = [&] { return deliveriesDone_ >= asked || stopped_; };
    deliverAnswers_();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSearchDeliveryWaitMs);
    while (!delivered()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        // Answers raised meanwhile set the event too; the loop waits on for the delivery's end.
        answerEvent_.Reset();
        if (delivered()) break;
        answerEvent_.WaitFor(static_cast<std::uint32_t>(left.count()));
    }
    std::lock_guard lock(mutex_);
    return !pendingAnswers_.empty();
}

void TECRSearch::AnswersDelivered() {
    ++deliveriesDone_;
    answerEvent_.Set();
}

void TECRSearch::TakeAnswers() {
    for (;;) {
        if (stopped_) return;
        std::int32_t commandID = 0;
        {
            std::lock_guard lock(mutex_);
            if (pendingAnswers_.empty()) return;
            commandID = pendingAnswers_.front();
            pendingAnswers_.pop_front();
        }
        // An answer that cannot be read is no device; the others still count.
        Attempt([this, commandID] { TakeAnswer(commandID); });
    }
}

void TECRSearch::TakeAnswer(std::int32_t commandID) {
    Check(driver_->put_CommandID(commandID), "CommandID");
    LONG value = 0;
    Check(driver_->GetCommandParams(&value), "GetCommandParams");
    if (ResultCode() != 0) return;
    VARIANT_BOOL fuel = VARIANT_FALSE;
    LONG port = 0;
    LONG baudRate = 0;
    LONG address = 0;
    Check(driver_->get_Fuel(&fuel), "Fuel");
    Check(driver_->get_PortNumber(&port), "PortNumber");
    Check(driver_->get_BaudRate(&baudRate), "BaudRate");
    Check(driver_->get_CommandSrcAddress(&address), "CommandSrcAddress");
    TSearchECR device;
    device.Port = static_cast<std::uint8_t>(port);
    device.Fuel = fuel != VARIANT_FALSE;
    device.BaudRate = static_cast<std::uint8_t>(baudRate);
    device.Address = static_cast<std::uint8_t>(address);
    device.PortAddress = AddressOf(port);
    std::lock_guard lock(mutex_);
    found_.Add(device);
}

void TECRSearch::DescribeFound(const std::vector<TPortLine>* lines) {
    std::vector<TSearchECR> devices;
    {
        std::lock_guard lock(mutex_);
        devices = found_.Snapshot();
    }
    if (lines != nullptr) {
        // The ports' answers cross on their way: the registers are reported port by port in the order of the
        // ports, each port's in the order of arrival, so that one search reports them as the next one does.
        auto position = [lines](std::uint8_t port) {
            return std::find_if(lines->begin(), lines->end(),
                                [port](const TPortLine& l) { return l.port == port; }) -
                   lines->begin();
        };
        std::stable_sort(devices.begin(), devices.end(),
                         [&position](const TSearchECR& a, const TSearchECR& b) {
                             return position(a.Port) < position(b.Port);
                         });
    }
    for (const TSearchECR& device : devices) {
        if (stopped_) return;
        current_ = device;
        if (lines != nullptr) {
            const auto line = std::find_if(lines->begin(), lines->end(),
                                           [&device](const TPortLine& l) { return l.port == device.Port; });
            // An answer from a port the search did not open here belongs to none of its devices.
            if (line == lines->end() || !line->open) continue;
            SelectDevice(line->device);
        }
        Check(driver_->put_DstAddress(device.Address), "DstAddress");
        LONG value = 0;
        Check(driver_->GetDeviceMetrics(&value), "GetDeviceMetrics");
        // A device that fails to describe itself is still a device: it shows the driver's result instead.
        if (ResultCode() == 0) {
            current_.Description =
                GetText([this](BSTR* v) { return driver_->get_UDescription(v); }, "UDescription");
        } else {
            current_.Description =
                GetText([this](BSTR* v) { return driver_->get_ResultDescription(v); }, "ResultDescription");
        }
        Notify(ssFound);
    }
}

void TECRSearch::Notify(int state) {
    state_ = state;
    if (!onNotify_) return;
    TSearchNotification notification;
    notification.State = state;
    notification.CurrentPort = currentPort_;
    notification.CurrentSpeed = currentSpeed_;
    notification.CurrentKind = currentKind_;
    notification.CurrentPortAddress = AddressOf(currentPort_);
    notification.Current = current_;
    onNotify_(notification);
}

std::int32_t TECRSearch::ResultCode() {
    LONG code = 0;
    Check(driver_->get_ResultCode(&code), "ResultCode");
    return code;
}

void TECRSearch::CheckResult() {
    const std::int32_t code = ResultCode();
    if (code == 0) return;
    throw ESearchError(
        GetText([this](BSTR* v) { return driver_->get_ResultDescription(v); }, "ResultDescription"), code);
}

void TECRSearch::OnAnswer(std::int32_t commandID) {
    // The driver raises the event for every command it did not await; only a running search takes them.
    if (!searching_) return;
    {
        std::lock_guard lock(mutex_);
        if (pendingAnswers_.size() >= kMaxPendingAnswers) return;
        pendingAnswers_.push_back(commandID);
    }
    answerEvent_.Set();
}
