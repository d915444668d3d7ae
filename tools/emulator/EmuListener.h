#pragma once
// The register line reached over the network, as through a serial server in front of it: a TCP port on
// which one computer at a time connects, whose bytes are carried to and from the line's pseudo-terminal.
// With RFC 2217 the computer's line settings (rate, data format) are put on the terminal, where the
// registers see them as they see those of a driver that opened the terminal itself; modem-line commands
// are acknowledged (a pseudo-terminal has no modem lines). Without it the terminal keeps the registers'
// speed, as a converter keeps the speed it was set to.
//
// One thread sleeps in poll() on the listening socket, the connection, the terminal and a wake-up
// descriptor; every write it makes is bounded.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/platform/Bytes.h"
#include "tools/emulator/EmuTerminal.h"

class TTelnetSession;

struct EmuListenOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;  // 0: one the system chooses
    bool rfc2217 = false;
    std::uint32_t lineBaud = 0;  // the speed a raw connection finds the terminal at; 0: as it is
};

// Reads "tcp:PORT" or "tcp:HOST:PORT" (PORT 0: any free one). Throws std::invalid_argument.
EmuListenOptions ParseListenAddress(const std::string& text);

class EmuListener {
  public:
    // Listens at once; `terminalPath` is the slave side of the line's pseudo-terminal, opened while a
    // computer is connected. Throws std::system_error when the address cannot be had or no thread started.
    EmuListener(std::string terminalPath, EmuListenOptions options);
    // Ends the connection, the listening and the thread.
    ~EmuListener();
    EmuListener(const EmuListener&) = delete;
    EmuListener& operator=(const EmuListener&) = delete;

    // Where the driver connects: "tcp://HOST:PORT" or "rfc2217://HOST:PORT", with the port listened on.
    const std::string& Address() const { return address_; }
    // Ends the connection of the computer connected now, as a network that fails does; the next one is
    // accepted as before. Returns once it has ended; false when none was connected.
    bool Disconnect();
    // Connections accepted so far.
    std::uint64_t Connections() const { return connections_.load(); }

  private:
    void Run();
    void Accept();
    void DropConnection();
    // What came from the computer, and what the terminal gave.
    bool FromComputer();
    bool FromTerminal();
    // The server's side of a command of the COM-port option; the reply acknowledges what is in use.
    void Command(std::uint8_t code, const Bytes& value, Bytes& reply);
    bool SendToComputer(const Bytes& bytes);
    void Wake();

    const std::string terminalPath_;
    const EmuListenOptions options_;
    std::string address_;
    EmuFd listen_;
    EmuFd wake_;
    EmuFd client_;    // the thread's
    EmuFd terminal_;  // the thread's: the slave side, open while connected
    std::unique_ptr<TTelnetSession> telnet_;

    std::mutex requestMutex_;
    std::condition_variable droppedChanged_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> disconnect_{false};
    std::atomic<bool> connected_{false};
    std::atomic<std::uint64_t> connections_{0};
    std::atomic<std::uint64_t> dropped_{0};
    std::thread thread_;
};
