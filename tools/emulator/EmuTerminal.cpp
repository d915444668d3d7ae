#include "tools/emulator/EmuTerminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "driver/link/CUCommSpeed.h"

namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// No echo, no line editing, no translation: every byte passes as it is, in both directions.
void MakeRaw(int fd, const std::string& what) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) ThrowErrno(what);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) ThrowErrno(what);
}

speed_t SpeedOf(std::uint32_t baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

}  // namespace

EmuFd& EmuFd::operator=(EmuFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
}

int EmuFd::Release() {
    return std::exchange(fd_, -1);
}

void EmuFd::Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

EmuTerminal::EmuTerminal(TKey, EmuFd io, EmuFd heldSlave, std::string path)
    : io_(std::move(io)), heldSlave_(std::move(heldSlave)), path_(std::move(path)) {}

std::unique_ptr<EmuTerminal> EmuTerminal::OpenPseudoTerminal(std::uint32_t baud) {
    EmuFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (master.Get() < 0) ThrowErrno("posix_openpt");
    if (::grantpt(master.Get()) != 0 || ::unlockpt(master.Get()) != 0) ThrowErrno("unlockpt");
    char name[256];
    if (::ptsname_r(master.Get(), name, sizeof name) != 0) ThrowErrno("ptsname");
    const int flags = ::fcntl(master.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(master.Get(), F_SETFL, flags | O_NONBLOCK) != 0) ThrowErrno("fcntl");

    EmuFd slave(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (slave.Get() < 0) ThrowErrno(name);
    // The terminal settings belong to the slave side and govern both directions.
    MakeRaw(slave.Get(), name);
    // Until a driver sets its own, the line runs at the registers' speed.
    if (baud != 0) {
        if (const int error = tessel_comm::SetLineRate(slave.Get(), baud); error != 0) {
            throw std::system_error(error, std::generic_category(), name);
        }
    }
    return std::make_unique<EmuTerminal>(TKey{}, std::move(master), std::move(slave), name);
}

std::unique_ptr<EmuTerminal> EmuTerminal::OpenDevice(const std::string& path, std::uint32_t baud) {
    EmuFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) ThrowErrno(path);
    if (!::isatty(fd.Get())) throw std::invalid_argument(path + " is not a terminal");
    MakeRaw(fd.Get(), path);
    if (const speed_t speed = SpeedOf(baud); speed != B0) {
        termios tio{};
        if (::tcgetattr(fd.Get(), &tio) == 0 && ::cfsetspeed(&tio, speed) == 0) {
            // A pseudo-terminal keeps no speed; a refusal there changes nothing on the line.
            ::tcsetattr(fd.Get(), TCSANOW, &tio);
        }
    }
    return std::make_unique<EmuTerminal>(TKey{}, std::move(fd), EmuFd(), path);
}

std::uint32_t EmuTerminal::LineRate() const {
    return OwnsPseudoTerminal() ? tessel_comm::GetLineRate(io_.Get()) : 0;
}

void EmuTerminal::DiscardUnread() {
    if (heldSlave_.Get() >= 0) ::tcflush(heldSlave_.Get(), TCIFLUSH);
}
