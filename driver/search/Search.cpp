#include "driver/search/Search.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/com/ComText.h"

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
    Attempt([this] { Notify(ssStarted); });
    const std::vector<TSearchItem>& ports = params_.Items(TSearchList::Ports);
    for (std::size_t i = 0; i < ports.size() && !stopped_; ++i) {
        if (!ports[i].Checked) continue;
        currentPort_ = static_cast<std::int32_t>(i + 1);
        if (!Attempt([this] { Notify(ssNextPort); })) continue;
        // A port that fails (cannot be opened, refuses the search) is passed over; nothing is reported.
        Attempt([this] { SearchPort(); });
    }
    searching_ = false;
    Attempt([this] { Notify(ssFinished); });
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

void TECRSearch::SearchCombination() {
    Notify(ssTrying);
    {
        std::lock_guard lock(mutex_);
        found_.Clear();
        // Late answers to the previous combination belong to no device of this one.
        pendingAnswers_.clear();
    }
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
    std::lock_guard lock(mutex_);
    found_.Add(device);
}

void TECRSearch::DescribeFound() {
    std::vector<TSearchECR> devices;
    {
        std::lock_guard lock(mutex_);
        devices = found_.Snapshot();
    }
    for (const TSearchECR& device : devices) {
        if (stopped_) return;
        current_ = device;
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
