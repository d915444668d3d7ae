#include "tools/emulator/EmuListener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <stdexcept>
#include <system_error>

#include "driver/link/CUCommSpeed.h"
#include "driver/link/CUCommTelnet.h"

namespace {

// How long one write to the computer or the terminal may wait for room.
constexpr int kWriteBoundMs = 1000;
constexpr std::size_t kChunk = 4096;
// How long Disconnect waits for the thread to drop the connection.
constexpr auto kDropBound = std::chrono::seconds(2);

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// Writes all of `bytes` to a non-blocking descriptor within the bound; false when it could not.
bool WriteAll(int fd, const Bytes& bytes, bool socket) {
    std::size_t done = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriteBoundMs);
    while (done < bytes.size()) {
        const ssize_t n = socket ? ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL)
                                 : ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) return false;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(left));
    }
    return true;
}

tcflag_t DataSizeFlag(std::uint8_t bits) {
    switch (bits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

std::uint8_t DataSizeOf(const termios& tio) {
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

// RFC 2217 parity codes: 1 none, 2 odd, 3 even, 4 mark, 5 space.
std::uint8_t ParityOf(const termios& tio) {
    if ((tio.c_cflag & PARENB) == 0) return 1;
    const bool odd = (tio.c_cflag & PARODD) != 0;
    if ((tio.c_cflag & CMSPAR) != 0) return odd ? 4 : 5;
    return odd ? 2 : 3;
}

void SetParity(termios& tio, std::uint8_t code) {
    tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
    switch (code) {
        case 2:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 3:
            tio.c_cflag |= PARENB;
            break;
        case 4:
            tio.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 5:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
}

}  // namespace

EmuListenOptions ParseListenAddress(const std::string& text) {
    const std::string prefix = "tcp:";
    if (text.rfind(prefix, 0) != 0) throw std::invalid_argument("--listen expects tcp:PORT or tcp:HOST:PORT");
    const std::string rest = text.substr(prefix.size());
    const auto colon = rest.rfind(':');
    EmuListenOptions options;
    if (colon != std::string::npos) {
        options.host = rest.substr(0, colon);
        if (options.host.empty()) throw std::invalid_argument("--listen: no host before the port");
    }
    const std::string port = colon == std::string::npos ? rest : rest.substr(colon + 1);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || error != std::errc() || end != port.data() + port.size() || value > 65535)
        throw std::invalid_argument("--listen: expected a port from 0 to 65535, got \"" + port + "\"");
    options.port = static_cast<std::uint16_t>(value);
    return options;
}

EmuListener::EmuListener(std::string terminalPath, EmuListenOptions options)
    : terminalPath_(std::move(terminalPath)), options_(std::move(options)) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(options_.port);
    if (const int status = ::getaddrinfo(options_.host.c_str(), service.c_str(), &hints, &found); status != 0)
        throw std::system_error(EINVAL, std::generic_category(),
                                options_.host + ": " + ::gai_strerror(status));
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
    listen_.Reset(::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (listen_.Get() < 0) ThrowErrno("socket");
    const int on = 1;
    ::setsockopt(listen_.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(listen_.Get(), found->ai_addr, found->ai_addrlen) != 0)
        ThrowErrno("bind " + options_.host + ":" + service);
    if (::listen(listen_.Get(), 4) != 0) ThrowErrno("listen");
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(listen_.Get(), reinterpret_cast<sockaddr*>(&bound), &length);
    const std::uint16_t port =
        ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(bound).sin6_port
                                          : reinterpret_cast<const sockaddr_in&>(bound).sin_port);
    const bool v6 = options_.host.find(':') != std::string::npos;
    address_ = std::string(options_.rfc2217 ? "rfc2217://" : "tcp://") +
               (v6 ? "[" + options_.host + "]" : options_.host) + ":" + std::to_string(port);
    wake_.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (wake_.Get() < 0) ThrowErrno("eventfd");
    thread_ = std::thread([this] { Run(); });
}

EmuListener::~EmuListener() {
    stop_.store(true);
    Wake();
    if (thread_.joinable()) thread_.join();
}

void EmuListener::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_.Get(), &one, sizeof one);
}

bool EmuListener::Disconnect() {
    std::unique_lock lock(requestMutex_);
    if (!connected_.load()) return false;
    const std::uint64_t before = dropped_.load();
    disconnect_.store(true);
    Wake();
    droppedChanged_.wait_for(lock, kDropBound, [&] { return dropped_.load() != before; });
    return true;
}

void EmuListener::Run() {
    for (;;) {
        pollfd fds[4] = {{wake_.Get(), POLLIN, 0},
                         {listen_.Get(), POLLIN, 0},
                         {client_.Get(), POLLIN, 0},
                         {terminal_.Get(), POLLIN, 0}};
        if (::poll(fds, 4, -1) < 0 && errno != EINTR) return;
        if ((fds[0].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(wake_.Get(), &count, sizeof count);
        }
        if (stop_.load()) {
            DropConnection();
            return;
        }
        if (disconnect_.exchange(false)) DropConnection();
        if ((fds[1].revents & POLLIN) != 0) Accept();
        if (client_.Get() >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !FromComputer())
            DropConnection();
        if (terminal_.Get() >= 0 && (fds[3].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !FromTerminal())
            DropConnection();
    }
}

void EmuListener::Accept() {
    EmuFd accepted(::accept4(listen_.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
    if (accepted.Get() < 0) return;
    // One computer at a time, as on a serial line: a second one is turned away.
    if (client_.Get() >= 0) return;
    EmuFd terminal(::open(terminalPath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (terminal.Get() < 0) return;
    termios tio{};
    if (::tcgetattr(terminal.Get(), &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(terminal.Get(), TCSANOW, &tio);
    }
    // A raw connection meets the line at the registers' speed; over RFC 2217 the computer sets it.
    if (!options_.rfc2217 && options_.lineBaud != 0)
        tessel_comm::SetLineRate(terminal.Get(), options_.lineBaud);
    // What the registers said while nobody listened is not the new computer's.
    ::tcflush(terminal.Get(), TCIFLUSH);
    const int on = 1;
    ::setsockopt(accepted.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    client_ = std::move(accepted);
    terminal_ = std::move(terminal);
    connections_.fetch_add(1);
    connected_.store(true);
    if (options_.rfc2217) {
        telnet_ = std::make_unique<TTelnetSession>(TTelnetSession::TRole::Server, "TesselEmu");
        if (!SendToComputer(telnet_->Greeting())) DropConnection();
    }
}

void EmuListener::DropConnection() {
    const bool was = client_.Get() >= 0;
    client_.Reset();
    terminal_.Reset();
    telnet_.reset();
    if (!was) return;
    {
        std::lock_guard lock(requestMutex_);
        connected_.store(false);
        dropped_.fetch_add(1);
    }
    droppedChanged_.notify_all();
}

bool EmuListener::SendToComputer(const Bytes& bytes) {
    return bytes.empty() || WriteAll(client_.Get(), bytes, true);
}

bool EmuListener::FromComputer() {
    std::uint8_t buffer[kChunk];
    const ssize_t n = ::recv(client_.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0) return false;
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    if (!telnet_) return WriteAll(terminal_.Get(), Bytes(buffer, buffer + n), false);
    TTelnetSession::TReceived got;
    telnet_->Feed(buffer, static_cast<std::size_t>(n), got);
    // The line's bytes and the settings go to the terminal in the order they came.
    for (const auto& [code, value] : got.commands) Command(code, value, got.reply);
    if (!got.data.empty() && !WriteAll(terminal_.Get(), got.data, false)) return false;
    return SendToComputer(got.reply);
}

bool EmuListener::FromTerminal() {
    std::uint8_t buffer[kChunk];
    const ssize_t n = ::read(terminal_.Get(), buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    const Bytes bytes(buffer, buffer + n);
    return SendToComputer(telnet_ ? TTelnetSession::EncodeData(bytes) : bytes);
}

void EmuListener::Command(std::uint8_t code, const Bytes& value, Bytes& reply) {
    const int fd = terminal_.Get();
    termios tio{};
    ::tcgetattr(fd, &tio);
    const std::uint8_t asked = value.empty() ? 0 : value[0];
    Bytes inUse = value;
    switch (code) {
        case telnet::cpSetBaudRate: {
            const std::uint32_t baud = telnet::BaudOfValue(value);
            if (baud != 0) tessel_comm::SetLineRate(fd, baud);
            inUse = telnet::BaudValue(tessel_comm::GetLineRate(fd));
            break;
        }
        case telnet::cpSetDataSize:
            if (asked >= 5 && asked <= 8) {
                tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | DataSizeFlag(asked);
                ::tcsetattr(fd, TCSANOW, &tio);
            }
            ::tcgetattr(fd, &tio);
            inUse = {DataSizeOf(tio)};
            break;
        case telnet::cpSetParity:
            if (asked >= 1 && asked <= 5) {
                SetParity(tio, asked);
                ::tcsetattr(fd, TCSANOW, &tio);
            }
            ::tcgetattr(fd, &tio);
            inUse = {ParityOf(tio)};
            break;
        case telnet::cpSetStopSize:
            if (asked >= 1 && asked <= 3) {
                tio.c_cflag =
                    asked == 1 ? tio.c_cflag & ~static_cast<tcflag_t>(CSTOPB) : tio.c_cflag | CSTOPB;
                ::tcsetattr(fd, TCSANOW, &tio);
            }
            ::tcgetattr(fd, &tio);
            inUse = {static_cast<std::uint8_t>((tio.c_cflag & CSTOPB) != 0 ? 2 : 1)};
            break;
        case telnet::cpPurgeData:
            // 1: what the registers sent and the computer has not had, 2: what the computer sent, 3: both.
            if (asked >= 1 && asked <= 3)
                ::tcflush(fd, asked == 1 ? TCIFLUSH : asked == 2 ? TCOFLUSH : TCIOFLUSH);
            break;
        default:
            // Modem lines and flow control: a pseudo-terminal has none; the value is taken as asked.
            break;
    }
    if (code >= telnet::kServerOffset) return;  // an acknowledgement from a confused peer: not answered
    const Bytes ack =
        TTelnetSession::ComPortCommand(static_cast<std::uint8_t>(code + telnet::kServerOffset), inUse);
    reply.insert(reply.end(), ack.begin(), ack.end());
}
