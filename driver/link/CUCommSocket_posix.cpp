// The network port's TCP connection on POSIX systems: a non-blocking socket, poll with an eventfd for the
// wake-up, the kernel's keep-alive.

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "common/platform/UniqueFd.h"
#include "driver/link/CUCommSocket.h"

namespace {

using Clock = std::chrono::steady_clock;

// A read takes at most this much at once, so that a flooding peer cannot hold the port's thread.
constexpr std::size_t kReceiveChunk = 4096;
constexpr std::size_t kReceiveMax = 65536;

using Fd = tessel::UniqueFd;

std::string ErrorText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

// The reason of a failed connection or transfer in the user's words.
std::string ReasonOf(int error) {
    switch (error) {
        case ECONNREFUSED:
            return "соединение отвергнуто";
        case ENETUNREACH:
        case EHOSTUNREACH:
        case ENETDOWN:
        case EHOSTDOWN:
            return "адрес недостижим";
        case ECONNRESET:
        case EPIPE:
        case ECONNABORTED:
            return "соединение разорвано";
        case ETIMEDOUT:
            return "узел не отвечает";
        default:
            return ErrorText(error);
    }
}

std::uint32_t MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const {
        if (list != nullptr) ::freeaddrinfo(list);
    }
};
using AddrList = std::unique_ptr<addrinfo, AddrInfoDeleter>;

// One name lookup, shared by the caller and the thread that runs it.
struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int status = 0;
    AddrList list;
};

std::string LookupFailure(int status, const std::string& host) {
    if (status == EAI_NONAME) return "имя " + host + " не найдено";
    if (status == EAI_AGAIN) return "имя " + host + " не найдено: сервер имён не отвечает";
    return "имя " + host + " не найдено: " + ::gai_strerror(status);
}

// The addresses of host:port. A numeric address is read at once; a name is looked up on a thread of its
// own, since the system's lookup has no bound of its own: when the bound passes first, that thread is left
// to finish by itself, holding only the lookup it shares.
AddrList Resolve(const std::string& host, std::uint16_t port, Clock::time_point deadline,
                 std::uint32_t boundMs) {
    const std::string service = std::to_string(port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) == 0) return AddrList(found);

    auto lookup = std::make_shared<Lookup>();
    std::thread worker([lookup, host, service] {
        addrinfo nameHints{};
        nameHints.ai_family = AF_UNSPEC;
        nameHints.ai_socktype = SOCK_STREAM;
        nameHints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
        addrinfo* list = nullptr;
        const int status = ::getaddrinfo(host.c_str(), service.c_str(), &nameHints, &list);
        std::lock_guard guard(lookup->mutex);
        lookup->status = status;
        lookup->list.reset(list);
        lookup->finished = true;
        lookup->done.notify_all();
    });
    std::unique_lock lock(lookup->mutex);
    if (!lookup->done.wait_until(lock, deadline, [&] { return lookup->finished; })) {
        lock.unlock();
        worker.detach();
        throw ENetError("имя " + host + " не найдено за " + std::to_string(boundMs) + " мс");
    }
    lock.unlock();
    worker.join();
    if (lookup->status != 0) throw ENetError(LookupFailure(lookup->status, host));
    return std::move(lookup->list);
}

void SetOption(int fd, int level, int name, int value) {
    // Keep-alive is a refinement: a system that refuses one of its settings still connects.
    ::setsockopt(fd, level, name, &value, sizeof value);
}

// Connects one address within the deadline; the connected socket, or -1 with `error` set.
int ConnectOne(const addrinfo& address, Clock::time_point deadline, int& error) {
    Fd fd(
        ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol));
    if (fd.Get() < 0) {
        error = errno;
        return -1;
    }
    if (::connect(fd.Get(), address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            error = errno;
            return -1;
        }
        for (;;) {
            pollfd p{fd.Get(), POLLOUT, 0};
            const int ready = ::poll(&p, 1, static_cast<int>(MsLeft(deadline)));
            if (ready < 0 && errno == EINTR) continue;
            if (ready < 0) {
                error = errno;
                return -1;
            }
            if (ready == 0) {
                error = ETIMEDOUT;
                return -1;
            }
            break;
        }
        int soError = 0;
        socklen_t length = sizeof soError;
        if (::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &soError, &length) != 0) soError = errno;
        if (soError != 0) {
            error = soError;
            return -1;
        }
    }
    return fd.Release();
}

}  // namespace

struct TNetSocket::TImpl {
    Fd socket;
    Fd wake;
};

TNetSocket::TNetSocket(std::unique_ptr<TImpl> impl) : impl_(std::move(impl)) {}

TNetSocket::~TNetSocket() = default;

std::unique_ptr<TNetSocket> TNetSocket::Connect(const std::string& host, std::uint16_t port,
                                                std::uint32_t boundMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(boundMs);
    const AddrList addresses = Resolve(host, port, deadline, boundMs);
    int error = ENOENT;
    int fd = -1;
    for (const addrinfo* a = addresses.get(); a != nullptr && fd < 0; a = a->ai_next) {
        fd = ConnectOne(*a, deadline, error);
        if (MsLeft(deadline) == 0) break;
    }
    if (fd < 0) {
        if (error == ETIMEDOUT) throw ENetError("нет ответа за " + std::to_string(boundMs) + " мс");
        throw ENetError(ReasonOf(error));
    }
    auto impl = std::make_unique<TImpl>();
    impl->socket.Reset(fd);
    SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, static_cast<int>(kKeepAliveIdleMs / 1000));
    SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, static_cast<int>(kKeepAliveIntervalMs / 1000));
    SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepAliveProbes);
    // Data that stays unacknowledged ends the connection as soon as silence would.
    SetOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT,
              static_cast<int>(kKeepAliveIdleMs + kKeepAliveProbes * kKeepAliveIntervalMs));
    impl->wake.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (impl->wake.Get() < 0) throw ENetError(ErrorText(errno));
    return std::unique_ptr<TNetSocket>(new TNetSocket(std::move(impl)));
}

void TNetSocket::Send(const Bytes& data, std::uint32_t boundMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(boundMs);
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(impl_->socket.Get(), data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) throw ENetError(ReasonOf(errno));
        const std::uint32_t left = MsLeft(deadline);
        if (left == 0) {
            throw ENetError("узел не принял " + std::to_string(data.size() - done) + " байт за " +
                            std::to_string(boundMs) + " мс");
        }
        pollfd p{impl_->socket.Get(), POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) throw ENetError(ErrorText(errno));
    }
}

bool TNetSocket::Wait() {
    for (;;) {
        pollfd p[2] = {{impl_->socket.Get(), POLLIN, 0}, {impl_->wake.Get(), POLLIN, 0}};
        const int ready = ::poll(p, 2, -1);
        if (ready < 0 && errno == EINTR) continue;
        // A broken wait must not spin: it reads as something to receive, which reports the failure.
        if (ready < 0) return true;
        if ((p[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(impl_->wake.Get(), &count, sizeof count);
            return false;
        }
        return true;
    }
}

bool TNetSocket::Receive(Bytes& into, std::string& reason) {
    std::size_t taken = 0;
    std::uint8_t buffer[kReceiveChunk];
    while (taken < kReceiveMax) {
        const ssize_t n = ::recv(impl_->socket.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            into.insert(into.end(), buffer, buffer + n);
            taken += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) {
            reason = "соединение закрыто";
            return false;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
        reason = ReasonOf(errno);
        return false;
    }
    return true;
}

void TNetSocket::Wake() {
    const std::uint64_t one = 1;
    // A full counter still leaves the descriptor readable: a failed write cannot lose the wake-up.
    [[maybe_unused]] const ssize_t n = ::write(impl_->wake.Get(), &one, sizeof one);
}

void TNetSocket::Shutdown() {
    ::shutdown(impl_->socket.Get(), SHUT_RDWR);
}
