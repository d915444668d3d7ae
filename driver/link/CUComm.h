#pragma once
// The serial port: settings, opening with exclusive use, writes and reads logged to the driver's log, the
// modem lines the link drives, and an event thread that reports received characters to the port's handlers.
//
// The platform part (opening, configuring, I/O, the event thread's wait) lives in a backend source of its
// own; everything here that is not marked otherwise behaves the same on every platform.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "common/platform/Bytes.h"
#include "common/platform/SyncObjects.h"

class TLogFile;
class TCustomComm;

// Port events, the bits of an event set, in the order in which dispatch calls their handlers.
enum TCommEvent : std::uint32_t {
    evBreak = 1u << 0,
    evCts = 1u << 1,
    evDsr = 1u << 2,
    evError = 1u << 3,
    evRing = 1u << 4,
    evRlsd = 1u << 5,
    evRxChar = 1u << 6,
    evRxFlag = 1u << 7,
    evTxEmpty = 1u << 8,
};
constexpr std::uint32_t kAllCommEvents = 0x1FF;

// Option flags of the port, in their order.
enum TCommOption : std::uint32_t {
    coParityCheck = 1u << 0,
    coDsrSensitivity = 1u << 1,
    coIgnoreXOff = 1u << 2,  // transmission goes on after XOFF was sent
    coErrorChar = 1u << 3,
    coNullStrip = 1u << 4,
};
constexpr std::uint32_t kAllCommOptions = 0x1F;

constexpr int kMinPortNumber = 1;
constexpr int kMaxPortNumber = 32;
constexpr int kBaudIndexCount = 15;

// Rate in baud of a baud index 0..14; EDriverError(E_INVALIDVALUE) outside that range.
std::uint32_t BaudRateOfIndex(int index);
// Baud index of the driver's baud code 1..8 (1200 .. 115200 baud). Any other code fails with
// EDriverError(E_INVALIDVALUE) whose message names the code and the valid range.
int BaudCodeToIndex(int code);
// Baud code of a baud index; an index without a code reads as 1.
int BaudIndexToCode(int index);
// Display name of a baud code ("1200" .. "115200"), "Недопустимое значение" for any other code.
std::string BaudCodeName(int code);

// The port's name in messages and the log's lines: "COM<n>".
std::string ComName(int portNumber);

// The device path of port `portNumber` on this platform. On POSIX: the environment variable TESSEL_COM<N>
// when set and not empty, else the string value "COM<N>" of HKEY_CURRENT_USER
// "Software\Korvex\TesselDrv\TesselDrv\Ports", else /dev/ttyS<N-1>. Fails with tessel::RegistryError for a
// damaged settings file or a "COM<N>" value that is not a string.
std::string CommDevicePath(int portNumber);

// The device path of a port and where it was found, for messages.
struct TCommDevicePath {
    std::string path;
    std::string source;  // "TESSEL_COM<N>", "Ports\COM<N>", or empty for the system's own name
};
// As CommDevicePath, with the source of the path. Fails as CommDevicePath does.
TCommDevicePath FindCommDevicePath(int portNumber);

// The port as the link object drives it; implemented by TComm (a serial port), TNetComm (a network port,
// CUCommNet.h), TLinkComm (either, as the port number is mapped; CUCommLink.h) and by test doubles.
class ICommPort {
  public:
    using RxCharHandler = std::function<void(std::size_t count)>;
    using PortGoneHandler = std::function<void(const std::string& reason)>;

    virtual ~ICommPort() = default;

    // Opens the port if it is closed; see TCustomComm::Open for the failures.
    virtual void Open() = 0;
    // Closes the port if it is open; never fails.
    virtual void Close() = 0;
    virtual bool Enabled() const = 0;

    virtual int PortNumber() const = 0;
    // 1..32, else EDriverError(E_INVALIDVALUE).
    virtual void SetPortNumber(int value) = 0;
    virtual int BaudIndex() const = 0;
    // 0..14, else EDriverError(E_INVALIDVALUE); an open port is reconfigured at once.
    virtual void SetBaudIndex(int value) = 0;
    // The events the event thread reports from the next opening on.
    virtual void SetEvents(std::uint32_t events) = 0;
    // Called on the event thread with the number of bytes waiting (always > 0). Set it while closed.
    virtual void SetRxCharHandler(RxCharHandler handler) = 0;
    // Called on the event thread when the device went away (unplugged, the far end of a pseudo-terminal
    // closed, the network connection ended), with the port already closed; the next Open tries again. The
    // reason names the port and where it leads ("COM1 = /dev/ttyUSB0: Устройство отключено."). Set it while
    // closed. A port that cannot notice this leaves it uncalled.
    virtual void SetPortGoneHandler(PortGoneHandler handler) { static_cast<void>(handler); }

    // Writes every byte, opening the port if needed; see TCustomComm::Write.
    virtual void Write(const Bytes& data) = 0;
    // Up to `count` bytes of what has been received; see TCustomComm::Read.
    virtual Bytes Read(std::size_t count) = 0;
    // Discards what has been received and not read; nothing on a closed port.
    virtual void PurgeInput() = 0;
    // Raise (true) or drop the line on an open port; nothing on a closed port.
    virtual void SetDTR(bool on) = 0;
    virtual void SetRTS(bool on) = 0;
};

// The special characters of a port. Changing one, or assigning all five, reconfigures an open port.
class TCommEventChars {
  public:
    TCommEventChars() = default;
    // A copy holds the five characters and belongs to no port.
    TCommEventChars(const TCommEventChars& other)
        : xon_(other.xon_),
          xoff_(other.xoff_),
          error_(other.error_),
          eof_(other.eof_),
          event_(other.event_) {}
    TCommEventChars& operator=(const TCommEventChars& other) {
        Assign(other);
        return *this;
    }

    std::uint8_t XonChar() const { return xon_; }
    std::uint8_t XoffChar() const { return xoff_; }
    std::uint8_t ErrorChar() const { return error_; }
    std::uint8_t EofChar() const { return eof_; }
    std::uint8_t EventChar() const { return event_; }

    void SetXonChar(std::uint8_t value) { Change(xon_, value); }
    void SetXoffChar(std::uint8_t value) { Change(xoff_, value); }
    void SetErrorChar(std::uint8_t value) { Change(error_, value); }
    void SetEofChar(std::uint8_t value) { Change(eof_, value); }
    void SetEventChar(std::uint8_t value) { Change(event_, value); }

    // Copies the five characters; the owner is told once.
    void Assign(const TCommEventChars& source);

  private:
    friend class TCustomComm;
    void Change(std::uint8_t& field, std::uint8_t value);

    std::uint8_t xon_ = 0x11;
    std::uint8_t xoff_ = 0x13;
    std::uint8_t error_ = 0;
    std::uint8_t eof_ = 0;
    std::uint8_t event_ = 0;
    std::function<void()> changed_;  // set by the owning port
};

// The thread that waits for the port's events and calls its dispatch. It sleeps until something arrives
// or it is told to end; it survives a failing handler (the failure is logged) and ends on its own only when
// the device goes away, after closing the port. The thread's life is shared; the wait on the device is the
// platform backend's (TCommEventThread::Wait).
class TCommEventThread {
  public:
    // Prepares to wait on the open port for the events in `events`; Start begins. Separate steps, so that the
    // owner holds the object before its thread can call back into the port. Fails with
    // EDriverError(E_PORTUNAVAILABLE) when the port is not open.
    TCommEventThread(TCustomComm& port, std::uint32_t events);
    // Starts the thread. Fails with std::system_error.
    void Start();
    // Stops it (see Stop).
    ~TCommEventThread();
    TCommEventThread(const TCommEventThread&) = delete;
    TCommEventThread& operator=(const TCommEventThread&) = delete;

    // Tells it to end and wakes it. Returns once it has ended, unless called from the thread itself (from a
    // handler), which then ends as soon as the handler returns.
    void Stop();
    bool IsCurrentThread() const;

    // The platform's part: the wait on the open device, its wake-up, and the loop that serves what the wait
    // reports through the thread's Deliver and PortGone. Made by NewWait in the backend.
    class Wait {
      public:
        virtual ~Wait() = default;
        // Gets ready to wait, before the thread starts. Fails with std::system_error.
        virtual void Prepare() = 0;
        // Makes a Run that waits look at Stopping() at once. Never fails.
        virtual void Wake() = 0;
        // The thread's body: waits and serves until Stopping() or the device goes away.
        virtual void Run() = 0;
    };

    // Whether the thread was told to end.
    bool Stopping() const { return stop_.load(); }
    // Calls the port's handlers for the events in `mask`; a failing handler is logged and the port keeps
    // serving, since a deaf port would lose every later frame.
    void Deliver(std::uint32_t mask, std::uint32_t errors, std::size_t inQueue);
    // The device went away: the port closes it, logs why and tells its owner.
    void PortGone(const std::string& reason);
    // A failure that the thread swallows, to the port's log.
    void LogError(const std::string& step, const std::string& message) const;
    TCustomComm& Port() const { return port_; }
    std::uint32_t Events() const { return events_; }

  private:
    // The backend's wait for the port's open device. Platform backend; fails as the constructor does.
    static std::unique_ptr<Wait> NewWait(TCommEventThread& thread);

    TCustomComm& port_;
    const std::uint32_t events_;
    std::unique_ptr<Wait> wait_;
    std::atomic<bool> stop_{false};
    // Set by the thread itself: the owner's thread object is written after the thread has started.
    std::atomic<std::thread::id> self_{};
    std::thread thread_;
};

// A serial port. Settings may be changed at any time; those that the device uses are applied at once to an
// open port. Write runs on the caller's thread, the handlers and the Read they do on the event thread; both
// take the port's lock. Open, Close and the setters belong to the owner's thread. A handler may Close (its
// thread then ends when the handler returns) but not while the owner opens or closes the port, and must not
// destroy the port. Close must not be called while the calling thread holds Lock().
class TCustomComm : public ICommPort {
  public:
    // `log` (may be null) receives every byte written and read; it must outlive the port.
    explicit TCustomComm(TLogFile* log = nullptr);
    // Closes the port.
    ~TCustomComm() override;
    TCustomComm(const TCustomComm&) = delete;
    TCustomComm& operator=(const TCustomComm&) = delete;

    // Opens the port at CommDevicePath(PortNumber()) if it is closed (or was lost), configures it, drops DTR
    // and RTS (the system raises both on open; a port starts with both low) and starts the event thread.
    // Fails with EDriverError(E_PORTUNAVAILABLE) when the device is missing or not a terminal,
    // EDriverError(E_PORTBUSY) when another process holds it, tessel::RegistryError when the settings store
    // is damaged, std::system_error for any other refusal of the system (the port then stays closed).
    void Open() override;
    // Stops the event thread, closes the device and records the close time. Nothing when closed.
    void Close() override;
    // Whether the port is open; false once the device has gone away.
    bool Enabled() const override;
    void SetEnabled(bool value);

    int PortNumber() const override { return portNumber_; }
    // An open port is closed before another number is taken.
    void SetPortNumber(int value) override;
    int BaudIndex() const override { return baudIndex_; }
    void SetBaudIndex(int value) override;
    std::uint32_t BaudRate() const { return BaudRateOfIndex(baudIndex_); }
    // 0..4: none, odd, even, mark, space.
    int ParityIndex() const { return parityIndex_; }
    void SetParityIndex(int value);
    // 0..2: one, one and a half, two.
    int StopBitsIndex() const { return stopBitsIndex_; }
    void SetStopBitsIndex(int value);
    // 0..4: 4 to 8 data bits.
    int ByteSizeIndex() const { return byteSizeIndex_; }
    void SetByteSizeIndex(int value);
    // 0 binary only, 1 CTS/RTS, 2 DSR/DTR, 3 XON/XOFF both ways, 4 none (default).
    int FlowControl() const { return flowControl_; }
    void SetFlowControl(int value);
    std::uint32_t Options() const { return options_; }
    void SetOptions(std::uint32_t value);
    std::uint32_t Events() const { return events_; }
    void SetEvents(std::uint32_t events) override;
    TCommEventChars& EventChars() { return eventChars_; }
    const TCommEventChars& EventChars() const { return eventChars_; }
    void SetRxCharHandler(RxCharHandler handler) override { OnRxChar = std::move(handler); }
    void SetPortGoneHandler(PortGoneHandler handler) override { OnPortGone = std::move(handler); }

    // Applies the settings to an open port; nothing when closed. A refusal of the device is a
    // std::system_error. Platform backend. On POSIX, 4 data bits are refused (EINVAL), and DSR/DTR
    // handshaking and the options other than parity checking have no terminal counterpart.
    void Configure();
    // The rate the open device reports, 0 when closed. Platform backend.
    std::uint32_t DeviceBaudRate() const;

    // Empty input does nothing. Otherwise opens the port if needed, logs "COM<n> -> <hex>", writes every byte
    // and returns once the device has sent them. Fails with std::runtime_error when that takes longer than
    // twice the time the bytes need at the set rate plus WriteGrace() ms (a stalled line), with
    // std::system_error when the system refuses the write, with EDriverError(E_PORTUNAVAILABLE) when the
    // device went away meanwhile.
    void Write(const Bytes& data) override;
    // Up to `count` bytes of what has been received, without waiting; logs "COM<n> <- <hex>" with the bytes
    // received. 0 gives an empty result. Fails with EDriverError(E_PORTUNAVAILABLE) on a closed port and
    // std::system_error when the system refuses (a device that went away is also marked lost).
    Bytes Read(std::size_t count) override;
    void PurgeInput() override;
    // Modem lines: a refusal on a real port is a std::system_error; pseudo-terminals have no modem lines,
    // and their refusal is ignored.
    void SetDTR(bool on) override;
    void SetRTS(bool on) override;

    enum class TModemLine { Dtr, Rts };

    // The platform's open device; opaque outside the backend.
    struct THandle;

    void Lock() { lock_.Enter(); }
    void Unlock() { lock_.Leave(); }

    // Tick count at which this object last closed port `portNumber` (0 if never); 0 outside 1..32.
    std::uint32_t CloseTime(int portNumber) const;

    // Milliseconds a write may stall beyond twice its transfer time.
    std::uint32_t WriteGrace() const { return writeGrace_; }
    void SetWriteGrace(std::uint32_t ms) { writeGrace_ = ms; }

    // Calls the handlers for the events in `mask`, in event order, each only when assigned; the
    // received-characters handler only when `inQueue` > 0. Runs on the event thread.
    void Dispatch(std::uint32_t mask, std::uint32_t errors, std::size_t inQueue);

    // Handlers, called on the event thread; assign them while the port is closed. On this platform the
    // event thread observes received characters only; the other events come from Dispatch callers.
    std::function<void()> OnBreak;
    std::function<void()> OnCts;
    std::function<void()> OnDsr;
    std::function<void(std::uint32_t errors)> OnError;
    std::function<void()> OnRing;
    std::function<void()> OnRlsd;
    RxCharHandler OnRxChar;
    std::function<void()> OnRxFlag;
    std::function<void()> OnTxEmpty;
    // The device went away; the port is already closed. Not an event of the event set.
    PortGoneHandler OnPortGone;

  protected:
    // Raises or drops one modem line of the open device, as SetDTR and SetRTS do; nothing when closed.
    // Platform backend. Virtual so that a test over a pseudo-terminal, which carries no modem lines, sees
    // which lines the port sets.
    virtual void SetModemLine(TModemLine line, bool on);
    // "COM<n> -> <hex>" / "COM<n> <- <hex>" to the log.
    void LogBytes(const char* arrow, const Bytes& data) const;
    // A failure that a handler or the event thread swallows: the three-line report.
    void LogError(const std::string& step, const std::string& message) const;
    // Bits on the line for one byte of data at the set framing.
    int BitsPerByte() const;
    // Time one byte takes on the line at the set rate and framing.
    double ByteTimeMs() const;
    // Time a write of `size` bytes may take before it counts as stalled.
    std::uint32_t WriteBoundMs(std::size_t size) const;
    void RecordCloseTime();

  private:
    friend class TCommEventThread;

    // Called on the event thread when the device went away: closes it under the lock, logs the loss and
    // tells OnPortGone.
    void PortGone(const std::string& reason);
    // Closes the device under handle_ if it is open (true when it was) and keeps the handle object; under the
    // lock. Platform backend.
    bool CloseDevice();
    // The steps of Open that differ by platform. AttachDevice opens the device of the port number and keeps
    // it under handle_ (taken under the lock); it fails with EDriverError as Open does. SetUpDevice prepares
    // the attached device for the link (timeouts, settings, queues; both modem lines low); a refusal is a
    // std::system_error.
    void AttachDevice();
    void SetUpDevice();

    // Frees the handle object, which only the backend knows whole. Platform backend.
    struct THandleDeleter {
        void operator()(THandle* handle) const;
    };

    TLogFile* log_;
    std::unique_ptr<THandle, THandleDeleter> handle_;
    std::string devicePath_;  // of the device last opened, for the report of its loss
    mutable tessel::CriticalSection lock_;
    std::uint32_t events_ = kAllCommEvents;
    int baudIndex_ = 6;
    int parityIndex_ = 0;
    int stopBitsIndex_ = 0;
    int byteSizeIndex_ = 4;
    std::unique_ptr<TCommEventThread> eventThread_;
    // A thread told to end from its own handler: joined by the next Open, Close or the destructor.
    std::unique_ptr<TCommEventThread> retiredThread_;
    TCommEventChars eventChars_;
    std::uint32_t options_ = 0;
    int flowControl_ = 4;
    int portNumber_ = 2;
    std::array<std::atomic<std::uint32_t>, kMaxPortNumber> closeTimes_{};
    std::atomic<bool> gone_{false};
    std::uint32_t writeGrace_ = 1000;
};

// A serial port and nothing else (the link object owns a TLinkComm, which opens one of these or a network
// port, as the port number is mapped).
class TComm final : public TCustomComm {
  public:
    using TCustomComm::TCustomComm;
};
