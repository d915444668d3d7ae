#include "driver/link/CUComm.h"

#include <cmath>
#include <exception>
#include <mutex>
#include <string>

#include "common/platform/TickClock.h"
#include "driver/base/untError.h"
#include "driver/base/untLogFile.h"
#include "driver/link/untCodecs.h"

namespace {

constexpr std::array<std::uint32_t, kBaudIndexCount> kBaudRates = {
    110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

struct BaudCode {
    int index;
    const char* name;
};
// Codes 1..8 of the driver's BaudRate property.
constexpr std::array<BaudCode, 8> kBaudCodes = {{{3, "1200"},
                                                 {4, "2400"},
                                                 {5, "4800"},
                                                 {6, "9600"},
                                                 {8, "19200"},
                                                 {9, "38400"},
                                                 {11, "57600"},
                                                 {12, "115200"}}};

void CheckRange(int value, int low, int high) {
    if (value < low || value > high) throw EDriverError(E_INVALIDVALUE);
}

}  // namespace

std::string ComName(int portNumber) {
    return "COM" + std::to_string(portNumber);
}

std::uint32_t BaudRateOfIndex(int index) {
    CheckRange(index, 0, kBaudIndexCount - 1);
    return kBaudRates[static_cast<std::size_t>(index)];
}

int BaudCodeToIndex(int code) {
    if (code < 1 || code > static_cast<int>(kBaudCodes.size())) {
        throw EDriverError(E_INVALIDVALUE, "Недопустимое значение свойства 'Скорость порта' (" +
                                               std::to_string(code) +
                                               ").\r\nЗначения свойства должны находиться в диапазоне 1..8.");
    }
    return kBaudCodes[static_cast<std::size_t>(code - 1)].index;
}

int BaudIndexToCode(int index) {
    // Index 3 (1200 baud) is code 1 as well, so only codes 2..8 are looked up.
    for (std::size_t i = 1; i < kBaudCodes.size(); ++i) {
        if (kBaudCodes[i].index == index) return static_cast<int>(i) + 1;
    }
    return 1;
}

std::string BaudCodeName(int code) {
    if (code < 1 || code > static_cast<int>(kBaudCodes.size())) return GetDriverErrorText(E_INVALIDVALUE);
    return kBaudCodes[static_cast<std::size_t>(code - 1)].name;
}

void TCommEventChars::Assign(const TCommEventChars& source) {
    xon_ = source.xon_;
    xoff_ = source.xoff_;
    error_ = source.error_;
    eof_ = source.eof_;
    event_ = source.event_;
    if (changed_) changed_();
}

void TCommEventChars::Change(std::uint8_t& field, std::uint8_t value) {
    field = value;
    if (changed_) changed_();
}

// ---------------------------------------------------------------------------------------------------------
// Event thread

TCommEventThread::TCommEventThread(TCustomComm& port, std::uint32_t events)
    : port_(port), events_(events), wait_(NewWait(*this)) {}

TCommEventThread::~TCommEventThread() {
    Stop();
    // Destroyed on its own thread (a port destroyed by its own handler, which owners must not do): it cannot
    // join itself.
    if (IsCurrentThread() && thread_.joinable()) thread_.detach();
}

void TCommEventThread::Start() {
    wait_->Prepare();
    thread_ = std::thread([this] {
        self_.store(std::this_thread::get_id());
        wait_->Run();
    });
}

void TCommEventThread::Stop() {
    stop_.store(true);
    wait_->Wake();
    if (IsCurrentThread()) return;
    if (thread_.joinable()) thread_.join();
}

bool TCommEventThread::IsCurrentThread() const {
    return self_.load() == std::this_thread::get_id();
}

void TCommEventThread::Deliver(std::uint32_t mask, std::uint32_t errors, std::size_t inQueue) {
    const std::string step =
        "Ошибка при обработке принятых данных порта " + ComName(port_.PortNumber()) + ".";
    try {
        port_.Dispatch(mask, errors, inQueue);
    } catch (const std::exception& e) {
        port_.LogError(step, e.what());
    } catch (...) {
        port_.LogError(step, "Неизвестная ошибка");
    }
}

void TCommEventThread::PortGone(const std::string& reason) {
    port_.PortGone(reason);
}

void TCommEventThread::LogError(const std::string& step, const std::string& message) const {
    port_.LogError(step, message);
}

// ---------------------------------------------------------------------------------------------------------
// Port

TCustomComm::TCustomComm(TLogFile* log) : log_(log) {
    eventChars_.changed_ = [this] { Configure(); };
}

TCustomComm::~TCustomComm() {
    Close();
    retiredThread_.reset();
}

bool TCustomComm::Enabled() const {
    return handle_ != nullptr && !gone_.load();
}

void TCustomComm::SetEnabled(bool value) {
    if (value) {
        Open();
    } else {
        Close();
    }
}

void TCustomComm::SetPortNumber(int value) {
    if (value == portNumber_) return;
    CheckRange(value, kMinPortNumber, kMaxPortNumber);
    // The open device belongs to the old number: its log lines and close time must name that one.
    Close();
    portNumber_ = value;
}

void TCustomComm::SetBaudIndex(int value) {
    if (value == baudIndex_) return;
    CheckRange(value, 0, kBaudIndexCount - 1);
    baudIndex_ = value;
    Configure();
}

void TCustomComm::SetParityIndex(int value) {
    if (value == parityIndex_) return;
    CheckRange(value, 0, 4);
    parityIndex_ = value;
    Configure();
}

void TCustomComm::SetStopBitsIndex(int value) {
    if (value == stopBitsIndex_) return;
    CheckRange(value, 0, 2);
    stopBitsIndex_ = value;
    Configure();
}

void TCustomComm::SetByteSizeIndex(int value) {
    if (value == byteSizeIndex_) return;
    CheckRange(value, 0, 4);
    byteSizeIndex_ = value;
    Configure();
}

void TCustomComm::SetFlowControl(int value) {
    if (value == flowControl_) return;
    CheckRange(value, 0, 4);
    flowControl_ = value;
    Configure();
}

void TCustomComm::SetOptions(std::uint32_t value) {
    value &= kAllCommOptions;
    if (value == options_) return;
    options_ = value;
    Configure();
}

void TCustomComm::SetEvents(std::uint32_t events) {
    events_ = events & kAllCommEvents;
}

void TCustomComm::Open() {
    if (Enabled()) return;
    if (handle_) Close();  // the device went away: release what is left of it first
    if (retiredThread_ && !retiredThread_->IsCurrentThread()) retiredThread_.reset();
    try {
        AttachDevice();
    } catch (const EDriverError& e) {
        // The log keeps the refused opening and the device tried, whoever asked for the port.
        LogError("Ошибка при открытии порта " + ComName(portNumber_) + ".", e.what());
        throw;
    }
    try {
        SetUpDevice();
        eventThread_ = std::make_unique<TCommEventThread>(*this, events_);
        eventThread_->Start();
    } catch (...) {
        Close();
        throw;
    }
}

void TCustomComm::Close() {
    if (eventThread_) {
        if (eventThread_->IsCurrentThread()) {
            // Called from a handler: the thread ends when the handler returns and is joined later.
            eventThread_->Stop();
            retiredThread_ = std::move(eventThread_);
        } else {
            eventThread_.reset();
        }
    }
    if (retiredThread_ && !retiredThread_->IsCurrentThread()) retiredThread_.reset();
    if (!handle_) return;
    std::lock_guard guard(lock_);
    if (CloseDevice()) RecordCloseTime();
    handle_.reset();
    gone_.store(false);
}

void TCustomComm::PortGone(const std::string& reason) {
    {
        std::lock_guard guard(lock_);
        if (CloseDevice()) RecordCloseTime();
        gone_.store(true);
    }
    LogError("Потеря связи с портом " + ComName(portNumber_) + ".", reason);
    if (!OnPortGone) return;
    try {
        OnPortGone(ComName(portNumber_) + (devicePath_.empty() ? "" : " = " + devicePath_) + ": " + reason);
    } catch (const std::exception& e) {
        LogError("Ошибка при обработке потери связи с портом " + ComName(portNumber_) + ".", e.what());
    } catch (...) {
        LogError("Ошибка при обработке потери связи с портом " + ComName(portNumber_) + ".",
                 "Неизвестная ошибка");
    }
}

std::uint32_t TCustomComm::CloseTime(int portNumber) const {
    if (portNumber < kMinPortNumber || portNumber > kMaxPortNumber) return 0;
    return closeTimes_[static_cast<std::size_t>(portNumber - 1)].load();
}

void TCustomComm::RecordCloseTime() {
    closeTimes_[static_cast<std::size_t>(portNumber_ - 1)].store(tessel::TickCount());
}

void TCustomComm::Dispatch(std::uint32_t mask, std::uint32_t errors, std::size_t inQueue) {
    if ((mask & evBreak) && OnBreak) OnBreak();
    if ((mask & evCts) && OnCts) OnCts();
    if ((mask & evDsr) && OnDsr) OnDsr();
    if ((mask & evError) && OnError) OnError(errors);
    if ((mask & evRing) && OnRing) OnRing();
    if ((mask & evRlsd) && OnRlsd) OnRlsd();
    if ((mask & evRxChar) && OnRxChar && inQueue > 0) OnRxChar(inQueue);
    if ((mask & evRxFlag) && OnRxFlag) OnRxFlag();
    if ((mask & evTxEmpty) && OnTxEmpty) OnTxEmpty();
}

void TCustomComm::LogBytes(const char* arrow, const Bytes& data) const {
    // The hex text costs more than the frame itself: build it only for a log that writes.
    if (log_ == nullptr || !log_->Enabled()) return;
    log_->Write(ComName(portNumber_) + " " + arrow + " " + BytesToHex(data));
}

void TCustomComm::LogError(const std::string& step, const std::string& message) const {
    if (log_ != nullptr) log_->WriteError(step, message);
}

int TCustomComm::BitsPerByte() const {
    // Start bit, data bits, parity bit, stop bits (one and a half counted as two).
    return 1 + (byteSizeIndex_ + 4) + (parityIndex_ != 0 ? 1 : 0) + (stopBitsIndex_ == 0 ? 1 : 2);
}

double TCustomComm::ByteTimeMs() const {
    return BitsPerByte() * 1000.0 / BaudRate();
}

std::uint32_t TCustomComm::WriteBoundMs(std::size_t size) const {
    const double transferMs = static_cast<double>(size) * BitsPerByte() * 1000.0 / BaudRate();
    const double bound = std::ceil(2 * transferMs) + writeGrace_;
    constexpr double kLongest = 24.0 * 3600 * 1000;  // keeps the tick arithmetic far from wrapping
    return static_cast<std::uint32_t>(bound < kLongest ? bound : kLongest);
}
