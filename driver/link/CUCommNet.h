#pragma once
// The port of a register reached over the network: COM<N> mapped to "tcp://HOST:PORT" or
// "rfc2217://HOST:PORT" (CUCommAddress.h). Behind the port interface it behaves as a serial port does:
// opening connects, received bytes reach the received-characters handler on a thread of the port's own,
// and a connection that ends is a device that went away (the port reads as closed at once, the handler
// for that is called, and the next opening connects again). Each port has its own connection and thread,
// so nothing that befalls one disturbs another.
//
// Over RFC 2217 the rate, the data format (8 data bits, no parity, one stop bit, as the link uses) and the
// modem lines go to the remote line; over a raw stream they stay where the converter has them. What the
// network adds to the line's timing: the transit time each way, and bytes that the serial side spread out
// may arrive together (or the other way round); the link's quiet interval is still measured on the bytes
// as they arrive here.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/platform/Bytes.h"
#include "driver/base/untError.h"
#include "driver/link/CUComm.h"
#include "driver/link/CUCommAddress.h"

class TLogFile;
class TNetSocket;
class TTelnetSession;

class TNetComm final : public ICommPort {
  public:
    static constexpr std::uint32_t kDefaultConnectBoundMs = 3000;

    // `log` (may be null) receives every byte written and read, and the failures the port swallows; it must
    // outlive the port.
    explicit TNetComm(TLogFile* log = nullptr);
    // Closes the port.
    ~TNetComm() override;
    TNetComm(const TNetComm&) = delete;
    TNetComm& operator=(const TNetComm&) = delete;

    // Connects to the address COM<PortNumber()> is mapped to, all within ConnectBoundMs(): the name lookup,
    // the connection and, over RFC 2217, the server's agreement to the COM-port option and its
    // acknowledgement of the line settings; then drops DTR and RTS (a port starts with both low). Nothing
    // when open. Fails with EDriverError(E_PORTUNAVAILABLE) whose text names the port, the address and the
    // reason
    // ("Порт недоступен: COM5 = tcp://10.0.0.7:4001: соединение отвергнуто"), the port then closed;
    // tessel::RegistryError for damaged settings.
    void Open() override;
    // Ends the connection and the port's thread. Nothing when closed. May be called from a handler.
    void Close() override;
    // Whether connected; false at once when the connection ended.
    bool Enabled() const override;

    int PortNumber() const override { return portNumber_; }
    // 1..32, else EDriverError(E_INVALIDVALUE); an open port is closed before another number is taken.
    void SetPortNumber(int value) override;
    int BaudIndex() const override { return baudIndex_; }
    // 0..14, else EDriverError(E_INVALIDVALUE). Over RFC 2217 an open port sends the rate and waits for the
    // server's acknowledgement (failing as Open does when none comes within the bound).
    void SetBaudIndex(int value) override;
    void SetEvents(std::uint32_t events) override { events_ = events & kAllCommEvents; }
    void SetRxCharHandler(RxCharHandler handler) override { onRxChar_ = std::move(handler); }
    void SetPortGoneHandler(PortGoneHandler handler) override { onPortGone_ = std::move(handler); }

    // Empty input does nothing. Otherwise opens if needed, logs "COM<n> (<address>) -> <hex>" and sends every
    // byte within twice their time on the line plus 1000 ms. Over RFC 2217 it then waits for the bytes' time
    // on the remote line, so that a modem-line change sent next reaches the line after the last byte, as on
    // a local port. Fails with EDriverError(E_PORTUNAVAILABLE) naming the address and the reason; the
    // connection then ends as one that went away.
    void Write(const Bytes& data) override;
    // Up to `count` of the bytes received, without waiting; logs "COM<n> (<address>) <- <hex>". 0 gives an
    // empty result; a closed port with nothing received fails with EDriverError(E_PORTUNAVAILABLE).
    Bytes Read(std::size_t count) override;
    void PurgeInput() override;
    // Over RFC 2217 on an open port: sent to the remote line (not waited for). Otherwise nothing.
    void SetDTR(bool on) override;
    void SetRTS(bool on) override;

    std::uint32_t ConnectBoundMs() const { return connectBoundMs_; }
    void SetConnectBoundMs(std::uint32_t ms) { connectBoundMs_ = ms; }
    // The rate the RFC 2217 server last reported in use; 0 over a raw stream or when closed.
    std::uint32_t RemoteBaudRate() const;

  private:
    void Connect();
    using Deadline = std::chrono::steady_clock::time_point;

    // Over RFC 2217: waits for the server's answer to the COM-port option.
    void Negotiate(Deadline deadline);
    // Sends the line settings and waits for their acknowledgement.
    void ConfigureRemote(Deadline deadline);
    void SendCommand(std::uint8_t code, const Bytes& value);
    // Sends on the connection; a failure ends it and is thrown as the port's unavailability.
    void SendRaw(const Bytes& bytes, std::uint32_t boundMs);
    // The port's thread and its steps.
    void Run();
    void Take(const Bytes& raw);
    void PortGone(const std::string& reason);
    void StopThread();

    // "COM<n> = <address>[ (<source>)]: <why>", as the −3 text and the port-gone handler name the port.
    std::string Named(const std::string& why) const;
    EDriverError Unavailable(const std::string& why) const;
    // "COM<n> (<address>)", or "COM<n>" before an address is known.
    std::string Title() const;
    void LogBytes(const char* arrow, const Bytes& data) const;
    void LogError(const std::string& step, const std::string& message) const;
    std::uint32_t WriteBoundMs(std::size_t size) const;

    TLogFile* log_;
    int portNumber_ = 2;
    int baudIndex_ = 6;
    std::uint32_t events_ = kAllCommEvents;
    std::uint32_t connectBoundMs_ = kDefaultConnectBoundMs;
    RxCharHandler onRxChar_;
    PortGoneHandler onPortGone_;

    // Set by Open, cleared by Close (owner's thread, the port's thread stopped or not yet started).
    TNetAddress address_;
    TCommMapping mapping_;
    std::unique_ptr<TNetSocket> socket_;
    std::unique_ptr<TTelnetSession> telnet_;  // RFC 2217 only; fed on the port's thread under stateMutex_
    std::atomic<bool> gone_{false};

    std::mutex sendMutex_;  // one send at a time on the connection
    mutable std::mutex stateMutex_;
    std::condition_variable stateChanged_;
    Bytes input_;                   // under stateMutex_: received, not yet read
    int pendingAcks_ = 0;           // under stateMutex_
    std::uint32_t remoteBaud_ = 0;  // under stateMutex_
    std::string goneReason_;        // under stateMutex_

    std::atomic<bool> stop_{false};
    std::thread thread_;
    // A thread told to end from its own handler: joined by the next Open, Close or the destructor.
    std::thread retired_;
};
