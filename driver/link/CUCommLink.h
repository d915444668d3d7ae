#pragma once
// The port a link object owns: the serial device or the network address that its number is mapped to
// (CUCommAddress.h), chosen anew each time it opens, since the mapping may change between openings. The
// settings and handlers live here and are handed to the port of the kind in use, so that the link sees one
// port whatever is behind it.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "driver/link/CUComm.h"

class TLogFile;

class TLinkComm final : public ICommPort {
  public:
    // `log` (may be null) is given to the ports it opens; it must outlive this object.
    explicit TLinkComm(TLogFile* log = nullptr);
    // Closes the port.
    ~TLinkComm() override;
    TLinkComm(const TLinkComm&) = delete;
    TLinkComm& operator=(const TLinkComm&) = delete;

    // Opens the network port (TNetComm) when the number is mapped to a network address, else the serial
    // port (TComm); fails as that port's Open does, and with tessel::RegistryError for damaged settings.
    void Open() override;
    void Close() override;
    bool Enabled() const override;

    int PortNumber() const override { return portNumber_; }
    // 1..32, else EDriverError(E_INVALIDVALUE); an open port is closed before another number is taken.
    void SetPortNumber(int value) override;
    int BaudIndex() const override { return baudIndex_; }
    // 0..14, else EDriverError(E_INVALIDVALUE); an open port takes the rate at once.
    void SetBaudIndex(int value) override;
    void SetEvents(std::uint32_t events) override;
    void SetRxCharHandler(RxCharHandler handler) override { onRxChar_ = std::move(handler); }
    void SetPortGoneHandler(PortGoneHandler handler) override { onPortGone_ = std::move(handler); }

    // Opens the port if needed, then as that port's Write.
    void Write(const Bytes& data) override;
    // As the open port's Read; on a port never opened, 0 gives nothing and more fails with
    // EDriverError(E_PORTUNAVAILABLE).
    Bytes Read(std::size_t count) override;
    void PurgeInput() override;
    void SetDTR(bool on) override;
    void SetRTS(bool on) override;

  private:
    // The port for the kind the number is mapped to now, made (closed, with the settings and handlers)
    // when the kind differs from the one in use.
    ICommPort& LineFor(bool network);

    TLogFile* log_;
    int portNumber_ = 2;
    int baudIndex_ = 6;
    std::uint32_t events_ = kAllCommEvents;
    RxCharHandler onRxChar_;
    PortGoneHandler onPortGone_;
    bool network_ = false;
    std::unique_ptr<ICommPort> line_;
};
