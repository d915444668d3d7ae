#include "driver/link/CUCommLink.h"

#include "driver/base/untError.h"
#include "driver/link/CUCommAddress.h"
#include "driver/link/CUCommNet.h"

TLinkComm::TLinkComm(TLogFile* log) : log_(log) {}

TLinkComm::~TLinkComm() {
    Close();
}

ICommPort& TLinkComm::LineFor(bool network) {
    if (line_ && network == network_) return *line_;
    if (line_) line_->Close();
    std::unique_ptr<ICommPort> line;
    if (network) {
        line = std::make_unique<TNetComm>(log_);
    } else {
        line = std::make_unique<TComm>(log_);
    }
    line->SetPortNumber(portNumber_);
    line->SetBaudIndex(baudIndex_);
    line->SetEvents(events_);
    // The handlers of this object may be replaced while the port is closed; the line asks for them each time.
    line->SetRxCharHandler([this](std::size_t count) {
        if (onRxChar_) onRxChar_(count);
    });
    line->SetPortGoneHandler([this](const std::string& reason) {
        if (onPortGone_) onPortGone_(reason);
    });
    // The old line is closed and its thread ended: nothing of it runs any more.
    line_ = std::move(line);
    network_ = network;
    return *line_;
}

void TLinkComm::Open() {
    if (Enabled()) return;
    LineFor(IsNetworkPort(portNumber_)).Open();
}

void TLinkComm::Close() {
    if (line_) line_->Close();
}

bool TLinkComm::Enabled() const {
    return line_ && line_->Enabled();
}

void TLinkComm::SetPortNumber(int value) {
    if (value == portNumber_) return;
    if (value < kMinPortNumber || value > kMaxPortNumber) throw EDriverError(E_INVALIDVALUE);
    Close();
    portNumber_ = value;
    if (line_) line_->SetPortNumber(value);
}

void TLinkComm::SetBaudIndex(int value) {
    if (value == baudIndex_) return;
    BaudRateOfIndex(value);  // checks the range
    baudIndex_ = value;
    if (line_) line_->SetBaudIndex(value);
}

void TLinkComm::SetEvents(std::uint32_t events) {
    events_ = events;
    if (line_) line_->SetEvents(events);
}

void TLinkComm::Write(const Bytes& data) {
    if (data.empty()) return;
    if (!Enabled()) Open();
    line_->Write(data);
}

Bytes TLinkComm::Read(std::size_t count) {
    if (line_) return line_->Read(count);
    if (count == 0) return {};
    throw EDriverError(E_PORTUNAVAILABLE);
}

void TLinkComm::PurgeInput() {
    if (line_) line_->PurgeInput();
}

void TLinkComm::SetDTR(bool on) {
    if (line_) line_->SetDTR(on);
}

void TLinkComm::SetRTS(bool on) {
    if (line_) line_->SetRTS(on);
}
