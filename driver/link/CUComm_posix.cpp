// The serial port on POSIX systems: termios for the settings, an advisory lock and TIOCEXCL for exclusive
// use, non-blocking I/O, and an event thread that sleeps in epoll on the port and a wake-up descriptor.

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include "common/platform/TickClock.h"
#include "common/platform/UniqueFd.h"
#include "driver/base/untError.h"
#include "driver/link/CUComm.h"
#include "driver/link/CUCommAccess.h"
#include "driver/link/CUCommAddress.h"
#include "driver/link/CUCommSpeed.h"

namespace {

[[noreturn]] void ThrowSystemError(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

// The system's text of an error number (strerror is not thread-safe).
std::string ErrorText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

bool IsDeviceGoneError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

// Pseudo-terminals (both sides, old and new style) by their device numbers; they have no modem lines.
bool IsPseudoTerminal(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned major = ::major(st.st_rdev);
    const unsigned minor = ::minor(st.st_rdev);
    return (major >= 128 && major <= 143) || major == 2 || major == 3 || (major == 5 && minor == 2);
}

int DataBitsFlag(int byteSizeIndex) {
    switch (byteSizeIndex) {
        case 1:
            return CS5;
        case 2:
            return CS6;
        case 3:
            return CS7;
        case 4:
            return CS8;
        default:
            return -1;  // 4 data bits: no terminal can do that
    }
}

tcflag_t ParityFlags(int parityIndex) {
    switch (parityIndex) {
        case 1:
            return PARENB | PARODD;
        case 2:
            return PARENB;
        case 3:
            return PARENB | CMSPAR | PARODD;
        case 4:
            return PARENB | CMSPAR;
        default:
            return 0;
    }
}

}  // namespace

TCommDevicePath FindCommDevicePath(int portNumber) {
    if (auto mapping = FindCommMapping(portNumber))
        return {std::move(mapping->text), std::move(mapping->source)};
    return {"/dev/ttyS" + std::to_string(portNumber - 1), {}};
}

std::string CommDevicePath(int portNumber) {
    return FindCommDevicePath(portNumber).path;
}

struct TCustomComm::THandle {
    tessel::UniqueFd fd;
    bool pseudoTerminal = false;

    // Output still queued is dropped rather than waited for: a stalled line must not hold close() up.
    void Close() {
        if (fd.Get() < 0) return;
        ::tcflush(fd.Get(), TCIOFLUSH);
        // The exclusive flag outlives this descriptor on a pseudo-terminal; our next open must not meet it.
        ::ioctl(fd.Get(), TIOCNXCL);
        fd.Reset();
    }
};

void TCustomComm::THandleDeleter::operator()(THandle* handle) const {
    std::default_delete<THandle>()(handle);
}

namespace {

// "Порт занят приложением", naming the port, its path and, when a lock says so, the program that holds it.
EDriverError PortBusy(const std::string& path, int portNumber) {
    const std::string holder = tessel_comm::PortHolder(path, ::getpid());
    return EDriverError(E_PORTBUSY, GetDriverErrorText(E_PORTBUSY) + ": " + ComName(portNumber) + " (" +
                                        path + ")" + (holder.empty() ? "" : ", процесс " + holder));
}

// "Порт недоступен" naming the port, the path tried and where that path was found, so that a wrong mapping
// shows at once; `why` is added when the path exists but is no terminal.
EDriverError PortUnavailable(int portNumber, const TCommDevicePath& device, const std::string& why = {}) {
    std::string text =
        GetDriverErrorText(E_PORTUNAVAILABLE) + ": " + ComName(portNumber) + " = " + device.path;
    if (!device.source.empty()) text += " (" + device.source + ")";
    if (!why.empty()) text += ": " + why;
    return EDriverError(E_PORTUNAVAILABLE, text);
}

std::unique_ptr<TCustomComm::THandle> OpenDevice(const TCommDevicePath& device, int portNumber) {
    const std::string& path = device.path;
    const std::string what = ComName(portNumber) + " (" + path + ")";
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR || error == EISDIR || IsDeviceGoneError(error)) {
            throw PortUnavailable(portNumber, device);
        }
        if (error == EBUSY) throw PortBusy(path, portNumber);
        if (error == EACCES || error == EPERM) {
            // A bare refusal leaves the user guessing: say what lets them in.
            throw EDriverError(E_PORTUNAVAILABLE, GetDriverErrorText(E_PORTUNAVAILABLE) +
                                                      ": нет прав на порт " + what + ": " +
                                                      tessel_comm::NoPermissionAdvice(path));
        }
        ThrowSystemError(error, what);
    }
    auto handle = std::make_unique<TCustomComm::THandle>();
    handle->fd.Reset(fd);
    if (!::isatty(fd)) throw PortUnavailable(portNumber, device, "не терминал");
    // TIOCEXCL does not stop a privileged process; the advisory lock does, among programs that use it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) throw PortBusy(path, portNumber);
        ThrowSystemError(error, what);
    }
    if (::ioctl(fd, TIOCEXCL) != 0) ThrowSystemError(errno, what);
    handle->pseudoTerminal = IsPseudoTerminal(fd);
    return handle;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// Event thread

namespace {

// Sleeps in epoll on the port's descriptor and a wake-up descriptor.
class TPortWait final : public TCommEventThread::Wait {
  public:
    TPortWait(TCommEventThread& thread, int portFd) : thread_(thread), fd_(portFd) {}

    void Prepare() override;
    void Wake() override;
    void Run() override;

  private:
    static constexpr std::uint32_t kWakeTag = 0;
    static constexpr std::uint32_t kPortTag = 1;

    // Serves received input; false when the device has gone away (`reason` then says why).
    bool ServeInput(std::string& reason);

    TCommEventThread& thread_;
    const int fd_;  // the port's descriptor; closed only by this thread or after it has ended
    tessel::UniqueFd epoll_;
    tessel::UniqueFd wake_;
};

void TPortWait::Prepare() {
    epoll_.Reset(::epoll_create1(EPOLL_CLOEXEC));
    if (epoll_.Get() < 0) ThrowSystemError(errno, "epoll_create1");
    wake_.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (wake_.Get() < 0) ThrowSystemError(errno, "eventfd");
    epoll_event wakeEvent{};
    wakeEvent.events = EPOLLIN;
    wakeEvent.data.u32 = kWakeTag;
    if (::epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, wake_.Get(), &wakeEvent) != 0)
        ThrowSystemError(errno, "epoll_ctl");
    // Edge-triggered: a received-character event is raised when bytes arrive, as a serial driver does. Bytes
    // that a handler leaves unread wait in the queue and do not wake the thread again.
    epoll_event portEvent{};
    portEvent.events = EPOLLIN | EPOLLET;
    portEvent.data.u32 = kPortTag;
    if (::epoll_ctl(epoll_.Get(), EPOLL_CTL_ADD, fd_, &portEvent) != 0) ThrowSystemError(errno, "epoll_ctl");
}

void TPortWait::Wake() {
    if (wake_.Get() < 0) return;
    const std::uint64_t one = 1;
    // A full counter still leaves the descriptor readable, so a failed write cannot lose the wake-up.
    [[maybe_unused]] const ssize_t written = ::write(wake_.Get(), &one, sizeof one);
}

void TPortWait::Run() {
    std::string reason;
    for (;;) {
        epoll_event ready[2];
        const int count = ::epoll_wait(epoll_.Get(), ready, 2, -1);
        if (thread_.Stopping()) return;
        if (count < 0) {
            if (errno == EINTR) continue;
            // The wait itself is broken: serving on would spin, so the port is given up.
            thread_.PortGone(ErrorText(errno));
            return;
        }
        std::uint32_t portEvents = 0;
        for (int i = 0; i < count; ++i) {
            if (ready[i].data.u32 == kPortTag) portEvents |= ready[i].events;
        }
        if ((portEvents & EPOLLIN) != 0 && !ServeInput(reason)) {
            thread_.PortGone(reason);
            return;
        }
        if (thread_.Stopping()) return;  // a handler closed the port
        if ((portEvents & (EPOLLHUP | EPOLLERR)) != 0) {
            thread_.PortGone("Устройство отключено.");
            return;
        }
        if (!thread_.Port().Enabled()) {
            // Read met a device that went away.
            thread_.PortGone(ErrorText(EIO));
            return;
        }
    }
}

bool TPortWait::ServeInput(std::string& reason) {
    int waiting = 0;
    if (::ioctl(fd_, FIONREAD, &waiting) != 0) {
        const int error = errno;
        if (IsDeviceGoneError(error)) {
            reason = ErrorText(error);
            return false;
        }
        thread_.LogError("Ошибка при чтении порта " + ComName(thread_.Port().PortNumber()) + ".",
                         ErrorText(error));
        return true;
    }
    thread_.Deliver(thread_.Events() & evRxChar, 0, waiting > 0 ? static_cast<std::size_t>(waiting) : 0);
    return true;
}

}  // namespace

std::unique_ptr<TCommEventThread::Wait> TCommEventThread::NewWait(TCommEventThread& thread) {
    const TCustomComm& port = thread.Port();
    const int fd = port.handle_ ? port.handle_->fd.Get() : -1;
    if (fd < 0) throw EDriverError(E_PORTUNAVAILABLE);
    return std::make_unique<TPortWait>(thread, fd);
}

// ---------------------------------------------------------------------------------------------------------
// Port

void TCustomComm::AttachDevice() {
    const TCommDevicePath device = FindCommDevicePath(portNumber_);
    auto handle = OpenDevice(device, portNumber_);
    std::lock_guard guard(lock_);
    handle_.reset(handle.release());
    devicePath_ = device.path;
    gone_.store(false);
}

void TCustomComm::SetUpDevice() {
    Configure();
    // As a port configured from a zero-filled control block: both lines low until the link raises one.
    SetModemLine(TModemLine::Dtr, false);
    SetModemLine(TModemLine::Rts, false);
}

bool TCustomComm::CloseDevice() {
    if (!handle_ || handle_->fd.Get() < 0) return false;
    handle_->Close();
    return true;
}

void TCustomComm::Configure() {
    std::lock_guard guard(lock_);
    if (!handle_ || handle_->fd.Get() < 0) return;
    const int fd = handle_->fd.Get();
    const std::string what = ComName(portNumber_);
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) ThrowSystemError(errno, what);
    ::cfmakeraw(&tio);
    const int dataBits = DataBitsFlag(byteSizeIndex_);
    if (dataBits < 0) ThrowSystemError(EINVAL, what + ": 4 бита данных");
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | static_cast<tcflag_t>(dataBits) | ParityFlags(parityIndex_);
    // One and a half stop bits is what the UART gives for two with five data bits.
    if (stopBitsIndex_ != 0) tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    // DSR/DTR handshaking and the options without a terminal counterpart leave the line as it is.
    if (flowControl_ == 1) tio.c_cflag |= CRTSCTS;
    if (flowControl_ == 3) tio.c_iflag |= IXON | IXOFF;
    if ((options_ & coParityCheck) != 0) tio.c_iflag |= INPCK;
    tio.c_cc[VSTART] = eventChars_.XonChar();
    tio.c_cc[VSTOP] = eventChars_.XoffChar();
    tio.c_cc[VMIN] = 0;  // a read returns at once with what is there
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) ThrowSystemError(errno, what);
    if (const int error = tessel_comm::SetLineRate(fd, BaudRate()); error != 0) {
        ThrowSystemError(error, what + ": " + std::to_string(BaudRate()));
    }
}

std::uint32_t TCustomComm::DeviceBaudRate() const {
    std::lock_guard guard(lock_);
    if (!handle_ || handle_->fd.Get() < 0) return 0;
    return tessel_comm::GetLineRate(handle_->fd.Get());
}

namespace {

// Sleeps until the device has sent what it queued, within `boundMs` of `start`. The device gives no
// descriptor event for an empty transmitter (and tcdrain() has no bound), so the wait is paced by the time
// the queued bytes need on the line.
bool DrainOutput(int fd, std::uint32_t start, std::uint32_t boundMs, double msPerByte) {
    for (;;) {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return true;
        const std::uint32_t waited = tessel::TicksSince(start);
        if (waited >= boundMs) return false;
        const auto need = static_cast<std::uint32_t>(std::ceil(queued * msPerByte));
        tessel::SleepMs(std::max<std::uint32_t>(1, std::min(need, boundMs - waited)));
    }
}

}  // namespace

void TCustomComm::Write(const Bytes& data) {
    if (data.empty()) return;
    if (!Enabled()) Open();
    std::lock_guard guard(lock_);
    LogBytes("->", data);
    const int fd = handle_ ? handle_->fd.Get() : -1;
    if (fd < 0) throw EDriverError(E_PORTUNAVAILABLE);
    const std::uint32_t boundMs = WriteBoundMs(data.size());
    const std::uint32_t start = tessel::TickCount();
    std::size_t done = 0;
    auto stalled = [&] {
        return std::runtime_error("Запись в порт " + ComName(portNumber_) + " не завершена: за " +
                                  std::to_string(boundMs) + " мс передано " + std::to_string(done) + " из " +
                                  std::to_string(data.size()) + " байт.");
    };
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            if (IsDeviceGoneError(errno)) throw EDriverError(E_PORTUNAVAILABLE);
            ThrowSystemError(errno, ComName(portNumber_));
        }
        // The device's buffer is full: wait until it takes more.
        const std::uint32_t waited = tessel::TicksSince(start);
        if (waited >= boundMs) throw stalled();
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(boundMs - waited));
        if (ready < 0 && errno != EINTR) ThrowSystemError(errno, ComName(portNumber_));
        if (ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
            throw EDriverError(E_PORTUNAVAILABLE);
    }
    // Done means sent: the link's line timing counts from the last byte on the line.
    if (!DrainOutput(fd, start, boundMs, ByteTimeMs())) throw stalled();
}

Bytes TCustomComm::Read(std::size_t count) {
    if (count == 0) return {};
    std::lock_guard guard(lock_);
    const int fd = handle_ ? handle_->fd.Get() : -1;
    if (fd < 0) throw EDriverError(E_PORTUNAVAILABLE);
    Bytes data(count);
    ssize_t n = 0;
    do {
        n = ::read(fd, data.data(), count);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        const int error = errno;
        if (error != EAGAIN && error != EWOULDBLOCK) {
            if (IsDeviceGoneError(error)) gone_.store(true);
            ThrowSystemError(error, ComName(portNumber_));
        }
        n = 0;
    }
    data.resize(static_cast<std::size_t>(n));
    LogBytes("<-", data);
    return data;
}

void TCustomComm::PurgeInput() {
    if (!Enabled()) return;
    std::lock_guard guard(lock_);
    if (handle_->fd.Get() < 0) return;
    // Usually nothing came: asking is cheaper than a flush, which on a pseudo-terminal waits for its worker.
    int pending = 0;
    if (::ioctl(handle_->fd.Get(), FIONREAD, &pending) == 0 && pending == 0) return;
    if (::tcflush(handle_->fd.Get(), TCIFLUSH) != 0) ThrowSystemError(errno, ComName(portNumber_));
}

void TCustomComm::SetModemLine(TModemLine line, bool on) {
    std::lock_guard guard(lock_);
    if (!handle_ || handle_->fd.Get() < 0) return;
    int bits = line == TModemLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
    if (::ioctl(handle_->fd.Get(), on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return;
    const int error = errno;
    if (handle_->pseudoTerminal && (error == ENOTTY || error == EINVAL)) return;
    ThrowSystemError(error, ComName(portNumber_));
}

void TCustomComm::SetDTR(bool on) {
    if (Enabled()) SetModemLine(TModemLine::Dtr, on);
}

void TCustomComm::SetRTS(bool on) {
    if (Enabled()) SetModemLine(TModemLine::Rts, on);
}
