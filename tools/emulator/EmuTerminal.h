#pragma once
// The register's end of the line: the master side of a new pseudo-terminal, or a named terminal device.

#include <cstdint>
#include <memory>
#include <string>

// Owns one file descriptor.
class EmuFd {
  public:
    EmuFd() = default;
    explicit EmuFd(int fd) : fd_(fd) {}
    ~EmuFd() { Reset(); }
    EmuFd(EmuFd&& other) noexcept : fd_(other.Release()) {}
    EmuFd& operator=(EmuFd&& other) noexcept;
    EmuFd(const EmuFd&) = delete;
    EmuFd& operator=(const EmuFd&) = delete;

    int Get() const { return fd_; }
    int Release();
    void Reset(int fd = -1);

  private:
    int fd_ = -1;
};

class EmuTerminal {
  public:
    // A new pseudo-terminal in raw mode, at `baud` when it is not 0. The terminal keeps its slave side open
    // as well, so the line stays up (no hang-up on the master) while no program has the slave open, and a
    // driver may open and close it again and again. Throws std::system_error when the system has no
    // pseudo-terminal to give or refuses the rate.
    static std::unique_ptr<EmuTerminal> OpenPseudoTerminal(std::uint32_t baud = 0);

    // A named terminal (a serial port, or the slave side of a pseudo-terminal another program made), in raw
    // mode; a `baud` other than 0 that the terminal supports sets its speed (pseudo-terminals ignore it).
    // Throws std::system_error naming the path when it cannot be opened, and std::invalid_argument when
    // it is no terminal.
    static std::unique_ptr<EmuTerminal> OpenDevice(const std::string& path, std::uint32_t baud = 0);

    // The descriptor the register side reads and writes (non-blocking).
    int Fd() const { return io_.Get(); }
    // The path a driver opens: the slave of a new pseudo-terminal, or the device's own path.
    const std::string& Path() const { return path_; }
    // Whether the terminal is a pseudo-terminal made here.
    bool OwnsPseudoTerminal() const { return heldSlave_.Get() >= 0; }
    // The rate in baud that the program on the other side last set on a pseudo-terminal made here (a
    // pseudo-terminal carries no signal, but keeps the settings of its slave side, which its master side
    // reports); 0 for a named terminal, whose far side this side cannot see.
    std::uint32_t LineRate() const;
    // Drops what was sent but nobody has read (only for a pseudo-terminal made here; elsewhere nothing).
    void DiscardUnread();

  private:
    // Only the two openers make terminals; the key lets them use std::make_unique.
    struct TKey {
        explicit TKey() = default;
    };

  public:
    EmuTerminal(TKey, EmuFd io, EmuFd heldSlave, std::string path);

  private:
    EmuFd io_;
    EmuFd heldSlave_;
    std::string path_;
};
