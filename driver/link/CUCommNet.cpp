#include "driver/link/CUCommNet.h"

#include <cmath>
#include <exception>
#include <stdexcept>

#include "common/platform/TickClock.h"
#include "driver/base/untError.h"
#include "driver/base/untLogFile.h"
#include "driver/link/CUCommSocket.h"
#include "driver/link/CUCommTelnet.h"
#include "driver/link/untCodecs.h"

namespace {

using Clock = std::chrono::steady_clock;

// Received bytes nobody reads are kept up to this much; a peer that floods the port loses the excess.
constexpr std::size_t kMaxInput = 65536;
// Milliseconds a write may stall beyond twice its time on the line.
constexpr std::uint32_t kWriteGraceMs = 1000;
// The link's line: 8 data bits, no parity, one stop bit; with start bit 10 bits a byte.
constexpr int kBitsPerByte = 10;
constexpr std::uint8_t kDataBits = 8;
constexpr std::uint8_t kNoParity = 1;
constexpr std::uint8_t kOneStopBit = 1;
// The settings commands whose acknowledgement opening waits for.
constexpr int kSettingsCommands = 4;

const char kSignature[] = "Tessel";

void CheckRange(int value, int low, int high) {
    if (value < low || value > high) throw EDriverError(E_INVALIDVALUE);
}

std::uint32_t MsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}

}  // namespace

TNetComm::TNetComm(TLogFile* log) : log_(log) {}

TNetComm::~TNetComm() {
    Close();
    if (retired_.joinable()) {
        // Destroyed by its own handler, which owners must not do: the thread cannot join itself.
        if (retired_.get_id() == std::this_thread::get_id()) {
            retired_.detach();
        } else {
            retired_.join();
        }
    }
}

bool TNetComm::Enabled() const {
    return socket_ != nullptr && !gone_.load();
}

void TNetComm::SetPortNumber(int value) {
    if (value == portNumber_) return;
    CheckRange(value, kMinPortNumber, kMaxPortNumber);
    Close();
    portNumber_ = value;
}

void TNetComm::SetBaudIndex(int value) {
    if (value == baudIndex_) return;
    CheckRange(value, 0, kBaudIndexCount - 1);
    baudIndex_ = value;
    if (!Enabled() || address_.kind != TNetKind::Rfc2217) return;
    ConfigureRemote(Clock::now() + std::chrono::milliseconds(connectBoundMs_));
}

std::uint32_t TNetComm::RemoteBaudRate() const {
    std::lock_guard guard(stateMutex_);
    return remoteBaud_;
}

std::string TNetComm::Title() const {
    return ComName(portNumber_) + (mapping_.text.empty() ? "" : " (" + mapping_.text + ")");
}

std::string TNetComm::Named(const std::string& why) const {
    std::string text = ComName(portNumber_);
    if (!mapping_.text.empty()) text += " = " + mapping_.text;
    if (!mapping_.source.empty()) text += " (" + mapping_.source + ")";
    return text + ": " + why;
}

EDriverError TNetComm::Unavailable(const std::string& why) const {
    return EDriverError(E_PORTUNAVAILABLE, GetDriverErrorText(E_PORTUNAVAILABLE) + ": " + Named(why));
}

void TNetComm::LogBytes(const char* arrow, const Bytes& data) const {
    if (log_ == nullptr || !log_->Enabled()) return;
    log_->Write(Title() + " " + arrow + " " + BytesToHex(data));
}

void TNetComm::LogError(const std::string& step, const std::string& message) const {
    if (log_ != nullptr) log_->WriteError(step, message);
}

std::uint32_t TNetComm::WriteBoundMs(std::size_t size) const {
    const double transferMs = static_cast<double>(size) * kBitsPerByte * 1000.0 / BaudRateOfIndex(baudIndex_);
    return static_cast<std::uint32_t>(std::ceil(2 * transferMs)) + kWriteGraceMs;
}

void TNetComm::Open() {
    if (Enabled()) return;
    if (socket_ || retired_.joinable()) Close();  // the connection ended: release what is left of it first
    try {
        Connect();
    } catch (const EDriverError& e) {
        // The log keeps the refused opening and the address tried, whoever asked for the port.
        LogError("Ошибка при открытии порта " + Title() + ".", e.what());
        Close();
        throw;
    } catch (...) {
        Close();
        throw;
    }
}

void TNetComm::Connect() {
    const auto deadline = Clock::now() + std::chrono::milliseconds(connectBoundMs_);
    auto mapping = FindCommMapping(portNumber_);
    mapping_ = mapping.value_or(TCommMapping{});
    if (!mapping || !IsNetworkAddress(mapping->text)) throw Unavailable("не сетевой адрес");
    try {
        address_ = ParseNetworkAddress(mapping->text);
    } catch (const std::invalid_argument& e) {
        throw Unavailable(e.what());
    }
    try {
        socket_ = TNetSocket::Connect(address_.host, address_.port, connectBoundMs_);
    } catch (const ENetError& e) {
        throw Unavailable(e.what());
    }
    {
        std::lock_guard guard(stateMutex_);
        input_.clear();
        pendingAcks_ = 0;
        remoteBaud_ = 0;
        goneReason_.clear();
    }
    gone_.store(false);
    stop_.store(false);
    Bytes greeting;
    if (address_.kind == TNetKind::Rfc2217) {
        telnet_ = std::make_unique<TTelnetSession>(TTelnetSession::TRole::Client, kSignature);
        greeting = telnet_->Greeting();
    }
    thread_ = std::thread([this] { Run(); });
    if (address_.kind != TNetKind::Rfc2217) return;
    SendRaw(greeting, MsUntil(deadline) + 1);
    Negotiate(deadline);
    ConfigureRemote(deadline);
    // As a port configured from a zero-filled control block: both lines low until the link raises one.
    SendCommand(telnet::cpSetControl, {telnet::kDtrOff});
    SendCommand(telnet::cpSetControl, {telnet::kRtsOff});
}

void TNetComm::Negotiate(Deadline deadline) {
    std::unique_lock lock(stateMutex_);
    const bool answered = stateChanged_.wait_until(lock, deadline, [this] {
        return telnet_->ComPortAgreed() || telnet_->ComPortRefused() || !goneReason_.empty();
    });
    if (!goneReason_.empty()) throw Unavailable(goneReason_);
    if (!answered) {
        throw Unavailable("сервер не ответил на управление портом (RFC 2217) за " +
                          std::to_string(connectBoundMs_) + " мс");
    }
    if (!telnet_->ComPortAgreed()) throw Unavailable("сервер не управляет портом (RFC 2217)");
}

void TNetComm::ConfigureRemote(Deadline deadline) {
    {
        std::lock_guard guard(stateMutex_);
        pendingAcks_ = kSettingsCommands;
    }
    // The order RFC 2217 recommends; flow control off, as the link's serial port has it.
    SendCommand(telnet::cpSetBaudRate, telnet::BaudValue(BaudRateOfIndex(baudIndex_)));
    SendCommand(telnet::cpSetDataSize, {kDataBits});
    SendCommand(telnet::cpSetParity, {kNoParity});
    SendCommand(telnet::cpSetStopSize, {kOneStopBit});
    SendCommand(telnet::cpSetControl, {telnet::kNoFlowControl});
    std::unique_lock lock(stateMutex_);
    const bool acknowledged = stateChanged_.wait_until(
        lock, deadline, [this] { return pendingAcks_ == 0 || !goneReason_.empty(); });
    if (!goneReason_.empty()) throw Unavailable(goneReason_);
    if (!acknowledged) {
        throw Unavailable("сервер не подтвердил настройку линии за " + std::to_string(connectBoundMs_) +
                          " мс");
    }
    const std::uint32_t asked = BaudRateOfIndex(baudIndex_);
    if (remoteBaud_ != asked) {
        lock.unlock();
        LogError("Настройка порта " + Title() + ".", "Сервер установил скорость " +
                                                         std::to_string(remoteBaud_) + " вместо " +
                                                         std::to_string(asked) + ".");
    }
}

void TNetComm::SendCommand(std::uint8_t code, const Bytes& value) {
    SendRaw(TTelnetSession::ComPortCommand(code, value), kWriteGraceMs);
}

void TNetComm::SendRaw(const Bytes& bytes, std::uint32_t boundMs) {
    if (!socket_) throw Unavailable("соединение закрыто");
    try {
        std::lock_guard guard(sendMutex_);
        socket_->Send(bytes, boundMs);
    } catch (const ENetError& e) {
        // The port's thread then sees the end and reports the port gone.
        socket_->Shutdown();
        gone_.store(true);
        throw Unavailable(e.what());
    }
}

void TNetComm::StopThread() {
    if (thread_.joinable()) {
        stop_.store(true);
        if (socket_) socket_->Wake();
        if (thread_.get_id() == std::this_thread::get_id()) {
            // Called from a handler: the thread ends when the handler returns and is joined later.
            retired_ = std::move(thread_);
        } else {
            thread_.join();
        }
    }
    if (retired_.joinable() && retired_.get_id() != std::this_thread::get_id()) retired_.join();
}

void TNetComm::Close() {
    StopThread();
    // From a handler the thread still returns through its loop: it reads nothing here once it is stopped.
    socket_.reset();
    telnet_.reset();
    gone_.store(false);
    std::lock_guard guard(stateMutex_);
    input_.clear();
    remoteBaud_ = 0;
}

void TNetComm::Write(const Bytes& data) {
    if (data.empty()) return;
    if (!Enabled()) Open();
    LogBytes("->", data);
    const bool rfc2217 = address_.kind == TNetKind::Rfc2217;
    SendRaw(rfc2217 ? TTelnetSession::EncodeData(data) : data, WriteBoundMs(data.size()));
    if (rfc2217) {
        const double lineMs =
            static_cast<double>(data.size()) * kBitsPerByte * 1000.0 / BaudRateOfIndex(baudIndex_);
        tessel::SleepMs(static_cast<std::uint32_t>(std::ceil(lineMs)));
    }
}

Bytes TNetComm::Read(std::size_t count) {
    if (count == 0) return {};
    Bytes data;
    {
        std::lock_guard guard(stateMutex_);
        if (input_.empty() && !Enabled()) throw EDriverError(E_PORTUNAVAILABLE);
        const std::size_t n = std::min(count, input_.size());
        data.assign(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
        input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
    }
    LogBytes("<-", data);
    return data;
}

void TNetComm::PurgeInput() {
    std::lock_guard guard(stateMutex_);
    input_.clear();
}

void TNetComm::SetDTR(bool on) {
    if (!Enabled() || address_.kind != TNetKind::Rfc2217) return;
    SendCommand(telnet::cpSetControl, {on ? telnet::kDtrOn : telnet::kDtrOff});
}

void TNetComm::SetRTS(bool on) {
    if (!Enabled() || address_.kind != TNetKind::Rfc2217) return;
    SendCommand(telnet::cpSetControl, {on ? telnet::kRtsOn : telnet::kRtsOff});
}

void TNetComm::Run() {
    TNetSocket& socket = *socket_;
    for (;;) {
        const bool readable = socket.Wait();
        if (stop_.load()) return;
        if (!readable) continue;
        Bytes raw;
        std::string reason;
        const bool alive = socket.Receive(raw, reason);
        if (!raw.empty()) Take(raw);
        if (stop_.load()) return;  // a handler closed the port
        if (!alive) {
            PortGone(reason);
            return;
        }
    }
}

void TNetComm::Take(const Bytes& raw) {
    Bytes data;
    Bytes reply;
    if (telnet_) {
        TTelnetSession::TReceived got;
        {
            std::lock_guard guard(stateMutex_);
            telnet_->Feed(raw.data(), raw.size(), got);
            for (const auto& [code, value] : got.commands) {
                // The server's acknowledgements of the settings; its notifications carry nothing the link
                // uses.
                if (code < telnet::cpSetBaudRate + telnet::kServerOffset ||
                    code > telnet::cpSetStopSize + telnet::kServerOffset)
                    continue;
                if (pendingAcks_ > 0) --pendingAcks_;
                if (code == telnet::cpSetBaudRate + telnet::kServerOffset)
                    remoteBaud_ = telnet::BaudOfValue(value);
            }
        }
        stateChanged_.notify_all();
        data = std::move(got.data);
        reply = std::move(got.reply);
    } else {
        data = raw;
    }
    if (!reply.empty()) {
        try {
            std::lock_guard guard(sendMutex_);
            socket_->Send(reply, kWriteGraceMs);
        } catch (const ENetError& e) {
            // The end of the connection follows and is reported then.
            LogError("Ошибка при ответе серверу порта " + Title() + ".", e.what());
        }
    }
    if (data.empty()) return;
    std::size_t waiting = 0;
    {
        std::lock_guard guard(stateMutex_);
        const std::size_t room = kMaxInput - std::min(kMaxInput, input_.size());
        if (data.size() > room) {
            LogError(
                "Ошибка при чтении порта " + Title() + ".",
                "Принятые данные не прочитаны: отброшено " + std::to_string(data.size() - room) + " байт.");
            data.resize(room);
        }
        input_.insert(input_.end(), data.begin(), data.end());
        waiting = input_.size();
    }
    if ((events_ & evRxChar) == 0 || !onRxChar_ || waiting == 0) return;
    // A failing handler is reported and the port keeps serving: a deaf port would lose every later frame.
    const std::string step = "Ошибка при обработке принятых данных порта " + Title() + ".";
    try {
        onRxChar_(waiting);
    } catch (const std::exception& e) {
        LogError(step, e.what());
    } catch (...) {
        LogError(step, "Неизвестная ошибка");
    }
}

void TNetComm::PortGone(const std::string& reason) {
    socket_->Shutdown();
    gone_.store(true);
    {
        std::lock_guard guard(stateMutex_);
        goneReason_ = reason;
    }
    stateChanged_.notify_all();
    LogError("Потеря связи с портом " + Title() + ".", reason);
    if (!onPortGone_) return;
    try {
        onPortGone_(Named(reason));
    } catch (const std::exception& e) {
        LogError("Ошибка при обработке потери связи с портом " + Title() + ".", e.what());
    } catch (...) {
        LogError("Ошибка при обработке потери связи с портом " + Title() + ".", "Неизвестная ошибка");
    }
}
