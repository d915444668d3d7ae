#include "driver/link/untDriver.h"

#include <stdexcept>
#include <string>

#include "common/platform/TickClock.h"
#include "driver/base/untLogFile.h"
#include "driver/link/CUCommAddress.h"
#include "driver/link/CUCommLink.h"

namespace {

constexpr int kDefaultBaudCode = 3;  // 4800 baud
constexpr int kDefaultPortNumber = 1;
constexpr std::uint32_t kRtsLeadMs = 10;

}  // namespace

TDriver::TDriver(TLogFile* log) : TDriver(std::make_unique<TLinkComm>(log), log) {}

TDriver::TDriver(std::unique_ptr<ICommPort> port, TLogFile* log) : log_(log), port_(std::move(port)) {
    if (!port_) throw std::invalid_argument("TDriver: no port");
    frame_.OnFrame = [this](TEcrFrame& frame) { FrameComplete(frame); };
    frame_.OnBadEscape = [this](TEcrFrame& frame) { BadEscape(frame); };
    port_->SetEvents(evRxChar);
    port_->SetRxCharHandler([this](std::size_t count) { ReceiveChars(count); });
    port_->SetPortGoneHandler([this](const std::string& reason) { PortGone(reason); });
    port_->SetBaudIndex(BaudCodeToIndex(kDefaultBaudCode));
    port_->SetPortNumber(kDefaultPortNumber);
}

TDriver::~TDriver() {
    port_->Close();
}

void TDriver::SetPortNumber(int value) {
    if (value == port_->PortNumber()) return;
    port_->Close();
    port_->SetPortNumber(value);
}

void TDriver::SetBaudRate(int code) {
    port_->SetBaudIndex(BaudCodeToIndex(code));
}

void TDriver::SetDeviceEnabled(bool value) {
    if (!value) {
        // Also releases a port whose device went away, which already reads as disabled.
        port_->Close();
        return;
    }
    if (port_->Enabled()) return;
    port_->Open();
    if (fuel_.load()) {
        port_->SetRTS(false);
        port_->SetDTR(true);
    } else {
        port_->SetRTS(true);
    }
}

std::uint32_t TDriver::RtsHoldMs() const {
    const std::uint32_t baud = BaudRateOfIndex(port_->BaudIndex());
    return (160000 + baud / 2) / baud + 20;
}

void TDriver::Send(const Bytes& data) {
    // The quiet interval and the RTS pauses are the line's timing: every late wake-up is added to each call.
    const tessel::PreciseTiming precise;
    state_.WaitIdle();
    port_->PurgeInput();
    // Read once: a change of mode in the middle of a transmission must not leave RTS dropped.
    const bool fuel = fuel_.load();
    if (fuel) {
        port_->Write(data);
        return;
    }
    port_->SetRTS(false);
    tessel::SleepMs(kRtsLeadMs);
    try {
        port_->Write(data);
    } catch (...) {
        // The write's failure is the one to report; the line goes back to receiving if it still can.
        RestoreRts();
        throw;
    }
    tessel::SleepMs(RtsHoldMs());
    port_->SetRTS(true);
}

void TDriver::RestoreRts() {
    std::string message;
    try {
        port_->SetRTS(true);
        return;
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "Неизвестная ошибка";
    }
    if (log_ != nullptr) {
        log_->WriteError("Ошибка при восстановлении линии RTS порта " + CommPortTitle(PortNumber()) + ".",
                         message);
    }
}

void TDriver::ReceiveChars(std::size_t count) {
    if (count == 0) return;
    // The bytes are on the line already: the quiet interval counts from their arrival, not from the read.
    state_.Stamp();
    const Bytes data = port_->Read(count);
    frame_.Feed(data);
}

void TDriver::FrameComplete(TEcrFrame& /*frame*/) {
    state_.SetIdle();
}

void TDriver::BadEscape(TEcrFrame& /*frame*/) {}

void TDriver::PortGone(const std::string& /*reason*/) {
    frame_.Clear();
    state_.SetIdle();
}
