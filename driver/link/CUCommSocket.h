#pragma once
// The TCP connection of a network port: connecting within a bound (the name lookup included), keep-alive,
// sending within a bound, and a wait that ends when something arrives, the connection ends or another
// thread wakes it. Platform backend (CUCommSocket_posix.cpp, CUCommSocket_win.cpp).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "common/platform/Bytes.h"

// A refused network step; the message is the reason in the user's words ("соединение отвергнуто").
class ENetError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// How soon keep-alive gives up a silent peer: probes after this much quiet, a few seconds apart.
inline constexpr std::uint32_t kKeepAliveIdleMs = 5000;
inline constexpr std::uint32_t kKeepAliveIntervalMs = 2000;
inline constexpr int kKeepAliveProbes = 3;

class TNetSocket {
  public:
    // Connects to `host`:`port` within `boundMs`, with keep-alive (a peer that stopped answering is given up
    // about 11 s after the line fell quiet, or when sent data stays unacknowledged as long; on Windows, which
    // sends ten probes, about 25 s) and without send delay (frames are small and their timing matters).
    // Throws ENetError: "имя не найдено", "соединение отвергнуто", "адрес недостижим", "нет ответа за N мс",
    // or the system's text.
    static std::unique_ptr<TNetSocket> Connect(const std::string& host, std::uint16_t port,
                                               std::uint32_t boundMs);
    ~TNetSocket();
    TNetSocket(const TNetSocket&) = delete;
    TNetSocket& operator=(const TNetSocket&) = delete;

    // Sends every byte within `boundMs`. Throws ENetError when the connection is broken ("соединение
    // разорвано") or the peer took nothing for that long. Calls must not overlap.
    void Send(const Bytes& data, std::uint32_t boundMs);

    // Sleeps until something can be read (the end of the connection or its failure included) or Wake is
    // called; a Wake before the call ends it at once. False when woken.
    bool Wait();
    // Appends what has arrived to `into` without waiting. False once the connection has ended, `reason`
    // then saying how ("соединение закрыто", "соединение разорвано", the system's text).
    bool Receive(Bytes& into, std::string& reason);
    // Ends the current or the next Wait. Any thread.
    void Wake();
    // Ends the connection both ways, so that a Wait wakes and Receive reports the end. Any thread.
    void Shutdown();

    struct TImpl;

  private:
    explicit TNetSocket(std::unique_ptr<TImpl> impl);
    std::unique_ptr<TImpl> impl_;
};
