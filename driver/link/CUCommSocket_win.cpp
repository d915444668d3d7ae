// The network port's TCP connection on Windows: a non-blocking Winsock socket whose events set a kernel
// event (WSAEventSelect), waited on together with the wake-up event; the system's keep-alive.

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
// clang-format on

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "common/platform/Win32Support.h"
#include "driver/link/CUCommSocket.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReceiveChunk = 4096;
constexpr std::size_t kReceiveMax = 65536;

std::uint32_t MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}

std::string ReasonOf(int error) {
    switch (error) {
        case WSAECONNREFUSED:
            return "соединение отвергнуто";
        case WSAENETUNREACH:
        case WSAEHOSTUNREACH:
        case WSAENETDOWN:
        case WSAEHOSTDOWN:
            return "адрес недостижим";
        case WSAECONNRESET:
        case WSAECONNABORTED:
        case WSAESHUTDOWN:
            return "соединение разорвано";
        case WSAETIMEDOUT:
            return "узел не отвечает";
        default:
            return tessel::win::ErrorText(static_cast<DWORD>(error));
    }
}

// Winsock is started once for the process and left running: other code of the process may use it too.
void StartWinsock() {
    static std::once_flag once;
    static int status = 0;
    std::call_once(once, [] {
        WSADATA data{};
        status = ::WSAStartup(MAKEWORD(2, 2), &data);
    });
    if (status != 0) throw ENetError(tessel::win::ErrorText(static_cast<DWORD>(status)));
}

class Socket {
  public:
    explicit Socket(SOCKET s = INVALID_SOCKET) : s_(s) {}
    ~Socket() { Reset(); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET Get() const { return s_; }
    void Reset(SOCKET s = INVALID_SOCKET) {
        if (s_ != INVALID_SOCKET) ::closesocket(s_);
        s_ = s;
    }
    SOCKET Release() {
        const SOCKET s = s_;
        s_ = INVALID_SOCKET;
        return s;
    }

  private:
    SOCKET s_;
};

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const {
        if (list != nullptr) ::freeaddrinfo(list);
    }
};
using AddrList = std::unique_ptr<addrinfo, AddrInfoDeleter>;

struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int status = 0;
    AddrList list;
};

// As on POSIX: a numeric address at once, a name on a thread of its own that is left to finish by itself
// when the bound passes first.
AddrList Resolve(const std::string& host, std::uint16_t port, Clock::time_point deadline,
                 std::uint32_t boundMs) {
    const std::string service = std::to_string(port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) == 0) return AddrList(found);
    auto lookup = std::make_shared<Lookup>();
    std::thread worker([lookup, host, service] {
        addrinfo nameHints{};
        nameHints.ai_family = AF_UNSPEC;
        nameHints.ai_socktype = SOCK_STREAM;
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
    if (lookup->status == WSAHOST_NOT_FOUND || lookup->status == WSANO_DATA)
        throw ENetError("имя " + host + " не найдено");
    if (lookup->status != 0)
        throw ENetError("имя " + host +
                        " не найдено: " + tessel::win::ErrorText(static_cast<DWORD>(lookup->status)));
    return std::move(lookup->list);
}

// Waits until `s` can be written (or failed) within `ms`; the select result.
int WaitWritable(SOCKET s, std::uint32_t ms) {
    fd_set write, failed;
    FD_ZERO(&write);
    FD_ZERO(&failed);
    FD_SET(s, &write);
    FD_SET(s, &failed);
    timeval tv{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
    return ::select(0, nullptr, &write, &failed, &tv);
}

SOCKET ConnectOne(const addrinfo& address, Clock::time_point deadline, int& error) {
    Socket s(::socket(address.ai_family, address.ai_socktype, address.ai_protocol));
    if (s.Get() == INVALID_SOCKET) {
        error = ::WSAGetLastError();
        return INVALID_SOCKET;
    }
    u_long nonBlocking = 1;
    ::ioctlsocket(s.Get(), FIONBIO, &nonBlocking);
    if (::connect(s.Get(), address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
        if (::WSAGetLastError() != WSAEWOULDBLOCK) {
            error = ::WSAGetLastError();
            return INVALID_SOCKET;
        }
        const int ready = WaitWritable(s.Get(), MsLeft(deadline));
        if (ready <= 0) {
            error = ready == 0 ? WSAETIMEDOUT : ::WSAGetLastError();
            return INVALID_SOCKET;
        }
        int soError = 0;
        int length = sizeof soError;
        ::getsockopt(s.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length);
        if (soError != 0) {
            error = soError;
            return INVALID_SOCKET;
        }
    }
    return s.Release();
}

}  // namespace

struct TNetSocket::TImpl {
    Socket socket;
    tessel::win::UniqueHandle readable;  // set by Winsock on arrival and on the end of the connection
    tessel::win::UniqueHandle wake;      // auto-reset
};

TNetSocket::TNetSocket(std::unique_ptr<TImpl> impl) : impl_(std::move(impl)) {}

TNetSocket::~TNetSocket() = default;

std::unique_ptr<TNetSocket> TNetSocket::Connect(const std::string& host, std::uint16_t port,
                                                std::uint32_t boundMs) {
    StartWinsock();
    const auto deadline = Clock::now() + std::chrono::milliseconds(boundMs);
    const AddrList addresses = Resolve(host, port, deadline, boundMs);
    int error = WSAHOST_NOT_FOUND;
    SOCKET s = INVALID_SOCKET;
    for (const addrinfo* a = addresses.get(); a != nullptr && s == INVALID_SOCKET; a = a->ai_next) {
        s = ConnectOne(*a, deadline, error);
        if (MsLeft(deadline) == 0) break;
    }
    if (s == INVALID_SOCKET) {
        if (error == WSAETIMEDOUT) throw ENetError("нет ответа за " + std::to_string(boundMs) + " мс");
        throw ENetError(ReasonOf(error));
    }
    auto impl = std::make_unique<TImpl>();
    impl->socket.Reset(s);
    BOOL on = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    tcp_keepalive keepAlive{1, kKeepAliveIdleMs, kKeepAliveIntervalMs};
    DWORD returned = 0;
    // Keep-alive is a refinement: a system that refuses it still connects.
    ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &keepAlive, sizeof keepAlive, nullptr, 0, &returned, nullptr, nullptr);
    impl->readable.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    impl->wake.Reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!impl->readable.Valid() || !impl->wake.Valid())
        throw ENetError(tessel::win::ErrorText(::GetLastError()));
    if (::WSAEventSelect(s, impl->readable.Get(), FD_READ | FD_CLOSE) != 0)
        throw ENetError(ReasonOf(::WSAGetLastError()));
    return std::unique_ptr<TNetSocket>(new TNetSocket(std::move(impl)));
}

void TNetSocket::Send(const Bytes& data, std::uint32_t boundMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(boundMs);
    std::size_t done = 0;
    while (done < data.size()) {
        const int n = ::send(impl_->socket.Get(), reinterpret_cast<const char*>(data.data() + done),
                             static_cast<int>(data.size() - done), 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        const int error = ::WSAGetLastError();
        if (error != WSAEWOULDBLOCK) throw ENetError(ReasonOf(error));
        const std::uint32_t left = MsLeft(deadline);
        if (left == 0) {
            throw ENetError("узел не принял " + std::to_string(data.size() - done) + " байт за " +
                            std::to_string(boundMs) + " мс");
        }
        WaitWritable(impl_->socket.Get(), left);
    }
}

bool TNetSocket::Wait() {
    const HANDLE both[] = {impl_->readable.Get(), impl_->wake.Get()};
    const DWORD woke = ::WaitForMultipleObjects(2, both, FALSE, INFINITE);
    if (woke == WAIT_OBJECT_0 + 1) return false;
    // Resets the event; Receive then reads until the system has nothing more, which re-arms it.
    WSANETWORKEVENTS events{};
    ::WSAEnumNetworkEvents(impl_->socket.Get(), impl_->readable.Get(), &events);
    return true;
}

bool TNetSocket::Receive(Bytes& into, std::string& reason) {
    std::size_t taken = 0;
    char buffer[kReceiveChunk];
    while (taken < kReceiveMax) {
        const int n = ::recv(impl_->socket.Get(), buffer, sizeof buffer, 0);
        if (n > 0) {
            into.insert(into.end(), buffer, buffer + n);
            taken += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) {
            reason = "соединение закрыто";
            return false;
        }
        const int error = ::WSAGetLastError();
        if (error == WSAEWOULDBLOCK) return true;
        reason = ReasonOf(error);
        return false;
    }
    // More may wait: the next Wait must not sleep on it.
    ::SetEvent(impl_->readable.Get());
    return true;
}

void TNetSocket::Wake() {
    ::SetEvent(impl_->wake.Get());
}

void TNetSocket::Shutdown() {
    ::shutdown(impl_->socket.Get(), SD_BOTH);
    ::SetEvent(impl_->readable.Get());
}
