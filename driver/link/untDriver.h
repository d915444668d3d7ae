#pragma once
// The link object: one serial port, its line-control mode, the line-idle monitor and the frame assembler.
// It sends byte strings with the line timing the registers expect and assembles what the port receives
// into frames.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/platform/Bytes.h"
#include "driver/link/CUComm.h"
#include "driver/link/EcrFrame.h"

class TLogFile;

class TDriver {
  public:
    // Link with a TLinkComm (the serial or network port the number is mapped to) that logs to `log` (may
    // be null; must outlive the link).
    explicit TDriver(TLogFile* log);
    // Link over the given port (tests pass a double), which must be closed. `log` (may be null) receives the
    // failures the link swallows.
    explicit TDriver(std::unique_ptr<ICommPort> port, TLogFile* log = nullptr);
    // Closes the port. A class that overrides FrameComplete or BadEscape must close the port in its own
    // destructor (SetDeviceEnabled(false)), so that the event thread is gone before its part is.
    virtual ~TDriver();
    TDriver(const TDriver&) = delete;
    TDriver& operator=(const TDriver&) = delete;

    // Line-control mode: false (default) drops RTS around every transmission; true keeps RTS dropped and
    // DTR raised as set when the port was enabled. A change affects only later transmissions.
    bool Fuel() const { return fuel_.load(); }
    void SetFuel(bool value) { fuel_.store(value); }

    int PortNumber() const { return port_->PortNumber(); }
    // An unchanged number does nothing; otherwise the port is closed, then the number checked (1..32, else
    // EDriverError(E_INVALIDVALUE)) and taken.
    void SetPortNumber(int value);

    // Baud code 1..8 (1200 .. 115200 baud); an open port takes a new rate at once. Other codes fail with
    // EDriverError(E_INVALIDVALUE) naming the code.
    int BaudRate() const { return BaudIndexToCode(port_->BaudIndex()); }
    void SetBaudRate(int code);

    // The port's open state. true opens the port and sets the line states (Fuel false: RTS raised; true: RTS
    // dropped, DTR raised); false closes it. Failures of opening or of the lines are the port's.
    bool DeviceEnabled() const { return port_->Enabled(); }
    void SetDeviceEnabled(bool value);

    // Transmits `data`: waits for the line to fall idle, discards unread input, then (Fuel false) drops RTS
    // 10 ms before the write and raises it round(160000 / baud) + 20 ms after it. The write opens the port if
    // needed. Failures are the port's; RTS is raised again after a failed write.
    void Send(const Bytes& data);

    ICommPort& Port() { return *port_; }
    TECRState& State() { return state_; }
    TEcrFrame& Frame() { return frame_; }

  protected:
    // A whole frame was assembled (event thread). The base marks the line idle.
    virtual void FrameComplete(TEcrFrame& frame);
    // A broken escape pair was dropped (event thread). The base ignores it.
    virtual void BadEscape(TEcrFrame& frame);
    // The device went away and the port is closed (event thread). The base marks the line idle: nothing
    // more can arrive on it.
    virtual void PortGone(const std::string& reason);

  private:
    // The port's received-characters handler (event thread).
    void ReceiveChars(std::size_t count);
    // After a failed write: raises RTS if the port still lets it, logging a refusal.
    void RestoreRts();
    // Milliseconds RTS stays dropped after the write at the port's rate.
    std::uint32_t RtsHoldMs() const;

    TLogFile* log_;
    TECRState state_;
    TEcrFrame frame_;
    std::atomic<bool> fuel_{false};
    // Last, so that it is destroyed first: its event thread calls into the members above.
    std::unique_ptr<ICommPort> port_;
};
