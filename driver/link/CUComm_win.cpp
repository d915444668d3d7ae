// The serial port on Windows: "\\.\COM<n>" opened exclusively for overlapped input and output, the device
// control block, the time-outs that make a read return at once with what is buffered, and an event thread
// that waits in WaitCommEvent for received characters.
#include "driver/link/CUComm_win.h"

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

#include "common/platform/TickClock.h"
#include "common/platform/Win32Support.h"
#include "driver/base/untError.h"
#include "driver/link/CUComm.h"

namespace {

using tessel::win::UniqueHandle;

constexpr DWORD kInputQueueSize = 4096;
constexpr DWORD kOutputQueueSize = 2048;
constexpr DWORD kReadTimeoutMs = 1000;

struct TEventBit {
    std::uint32_t ours;
    DWORD system;
};

// The nine events in the order of the event set.
constexpr TEventBit kEventBits[] = {
    {evBreak, EV_BREAK},   {evCts, EV_CTS},       {evDsr, EV_DSR},
    {evError, EV_ERR},     {evRing, EV_RING},     {evRlsd, EV_RLSD},
    {evRxChar, EV_RXCHAR}, {evRxFlag, EV_RXFLAG}, {evTxEmpty, EV_TXEMPTY},
};

[[noreturn]] void ThrowSystemError(DWORD error, const std::string& what) {
    tessel::win::ThrowError(error, what);
}

HANDLE NewEvent() {
    const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) tessel::win::ThrowLastError("CreateEvent");
    return event;
}

}  // namespace

int CommOpenErrorResult(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return E_PORTBUSY;
        default:
            return E_PORTUNAVAILABLE;
    }
}

bool IsCommDeviceGone(DWORD error) {
    switch (error) {
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_INVALID_HANDLE:
            return true;
        default:
            return false;
    }
}

bool IsModemLineRefusal(DWORD error) {
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
}

std::uint32_t CommEventsFromSystem(DWORD mask) {
    std::uint32_t events = 0;
    for (const TEventBit& bit : kEventBits)
        if ((mask & bit.system) != 0) events |= bit.ours;
    return events;
}

DWORD SystemCommEvents(std::uint32_t events) {
    DWORD mask = 0;
    for (const TEventBit& bit : kEventBits)
        if ((events & bit.ours) != 0) mask |= bit.system;
    return mask;
}

std::string CommDevicePath(int portNumber) {
    return "\\\\.\\COM" + std::to_string(portNumber);
}

struct TCustomComm::THandle {
    UniqueHandle port;
    UniqueHandle io;  // the manual-reset event of the overlapped write and read (under the port's lock)
    bool modemLinesRefused = false;

    bool IsOpen() const { return port.Valid(); }
    // Output still queued is dropped rather than waited for: a stalled line must not hold the close up.
    void Close() {
        if (!port.Valid()) return;
        ::PurgeComm(port.Get(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
        port.Reset();
    }
};

void TCustomComm::THandleDeleter::operator()(THandle* handle) const {
    std::default_delete<THandle>()(handle);
}

namespace {

std::unique_ptr<TCustomComm::THandle> OpenDevice(const std::string& path) {
    auto handle = std::make_unique<TCustomComm::THandle>();
    handle->port.Reset(::CreateFileW(tessel::win::Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!handle->port.Valid()) throw EDriverError(CommOpenErrorResult(::GetLastError()));
    if (::GetFileType(handle->port.Get()) != FILE_TYPE_CHAR) throw EDriverError(E_PORTUNAVAILABLE);
    handle->io.Reset(NewEvent());
    return handle;
}

// Waits for an overlapped operation started with `pending` true, at most `ms` (INFINITE for no bound).
// True with the bytes moved when it completed; false when the time ran out, the operation then cancelled.
bool FinishOverlapped(HANDLE port, OVERLAPPED& overlapped, DWORD ms, DWORD& moved, const std::string& what) {
    if (::WaitForSingleObject(overlapped.hEvent, ms) != WAIT_OBJECT_0) {
        ::CancelIo(port);
        ::GetOverlappedResult(port, &overlapped, &moved, TRUE);
        return false;
    }
    if (!::GetOverlappedResult(port, &overlapped, &moved, FALSE)) {
        const DWORD error = ::GetLastError();
        if (IsCommDeviceGone(error)) throw EDriverError(E_PORTUNAVAILABLE);
        ThrowSystemError(error, what);
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// Event thread

namespace {

// Waits in WaitCommEvent on the port, or for the stop event.
class TPortWait final : public TCommEventThread::Wait {
  public:
    TPortWait(TCommEventThread& thread, HANDLE portHandle)
        : thread_(thread), handle_(portHandle), wait_(NewEvent()), stopEvent_(NewEvent()) {}

    void Prepare() override {
        if (!::SetCommMask(handle_, SystemCommEvents(thread_.Events())))
            tessel::win::ThrowLastError("SetCommMask " + ComName(thread_.Port().PortNumber()));
    }
    void Wake() override { ::SetEvent(stopEvent_.Get()); }
    void Run() override;

  private:
    // Waits for the next event; false when told to end. `mask` is what the port reported, possibly nothing.
    bool WaitEvent(DWORD& mask, std::string& goneReason);
    void Serve(DWORD mask);

    static constexpr int kFailedAtOnceBeforeLost = 3;

    TCommEventThread& thread_;
    int failedAtOnce_ = 0;  // waits in a row that failed without waiting
    // The port's; closed (and purged) by Close or PortGone once the thread stops waiting.
    const HANDLE handle_;
    UniqueHandle wait_;
    UniqueHandle stopEvent_;
};

bool TPortWait::WaitEvent(DWORD& mask, std::string& goneReason) {
    mask = 0;
    OVERLAPPED overlapped{};
    overlapped.hEvent = wait_.Get();
    ::ResetEvent(wait_.Get());
    if (::WaitCommEvent(handle_, &mask, &overlapped)) {
        failedAtOnce_ = 0;
        return !thread_.Stopping();
    }
    DWORD error = ::GetLastError();
    const bool waited = error == ERROR_IO_PENDING;
    if (waited) {
        const HANDLE both[] = {wait_.Get(), stopEvent_.Get()};
        const DWORD woke = ::WaitForMultipleObjects(2, both, FALSE, INFINITE);
        if (woke == WAIT_FAILED) error = ::GetLastError();
        if (woke != WAIT_OBJECT_0 || thread_.Stopping()) {
            // The wait must be over before its mask and event go away.
            ::SetCommMask(handle_, 0);
            DWORD ignored = 0;
            ::GetOverlappedResult(handle_, &overlapped, &ignored, TRUE);
            // A wait that failed would leave a port that looks open and never reads again.
            if (woke == WAIT_FAILED && !thread_.Stopping()) goneReason = tessel::win::ErrorText(error);
            return false;
        }
        DWORD ignored = 0;
        if (::GetOverlappedResult(handle_, &overlapped, &ignored, FALSE)) {
            failedAtOnce_ = 0;
            return true;
        }
        error = ::GetLastError();
    }
    if (thread_.Stopping()) return false;
    DWORD errors = 0;
    const bool portAnswers = ::ClearCommError(handle_, &errors, nullptr) != FALSE;
    // A wait that was under way and then cut short (under Wine the first exchange's wait ends so, with
    // ERROR_OPERATION_ABORTED, more than once) starts again while the port still answers. A pulled adapter
    // fails every wait at once, with ERROR_ACCESS_DENIED or ERROR_OPERATION_ABORTED as well as the errors of
    // a vanished device: such waits in a row would spin, so the port is lost.
    if (!IsCommDeviceGone(error) && portAnswers && (waited || ++failedAtOnce_ < kFailedAtOnceBeforeLost)) {
        mask = 0;
        return true;
    }
    goneReason = tessel::win::ErrorText(error);
    return false;
}

void TPortWait::Run() {
    for (;;) {
        DWORD mask = 0;
        std::string goneReason;
        if (!WaitEvent(mask, goneReason)) {
            if (!goneReason.empty() && !thread_.Stopping()) thread_.PortGone(goneReason);
            break;
        }
        // Wine wakes the wait with an empty mask many times a second before it reports characters: that is a
        // reason to look again, never data and never an error.
        if (mask == 0) continue;
        Serve(mask);
        if (thread_.Stopping()) break;  // a handler closed the port
        if (!thread_.Port().Enabled()) {
            // Read met a device that went away.
            thread_.PortGone(tessel::win::ErrorText(ERROR_DEVICE_NOT_CONNECTED));
            break;
        }
    }
}

void TPortWait::Serve(DWORD mask) {
    DWORD errors = 0;
    COMSTAT status{};
    // Reading the error flags and the queue also clears the error state.
    if (!::ClearCommError(handle_, &errors, &status)) {
        thread_.LogError("Ошибка при чтении порта " + ComName(thread_.Port().PortNumber()) + ".",
                         tessel::win::ErrorText(::GetLastError()));
        return;
    }
    thread_.Deliver(CommEventsFromSystem(mask) & thread_.Events(), errors, status.cbInQue);
}

}  // namespace

std::unique_ptr<TCommEventThread::Wait> TCommEventThread::NewWait(TCommEventThread& thread) {
    const TCustomComm& port = thread.Port();
    if (!port.handle_ || !port.handle_->IsOpen()) throw EDriverError(E_PORTUNAVAILABLE);
    return std::make_unique<TPortWait>(thread, port.handle_->port.Get());
}

// ---------------------------------------------------------------------------------------------------------
// Port

void TCustomComm::AttachDevice() {
    const std::string path = CommDevicePath(portNumber_);
    auto handle = OpenDevice(path);
    std::lock_guard guard(lock_);
    handle_.reset(handle.release());
    devicePath_ = path;
    gone_.store(false);
}

void TCustomComm::SetUpDevice() {
    const std::string what = ComName(portNumber_);
    // A read returns at once with whatever is buffered.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!::SetCommTimeouts(handle_->port.Get(), &timeouts)) tessel::win::ThrowLastError(what);
    // The zero-filled control block leaves DTR and RTS low until the link raises one.
    Configure();
    if (!::SetupComm(handle_->port.Get(), kInputQueueSize, kOutputQueueSize))
        tessel::win::ThrowLastError(what);
    ::PurgeComm(handle_->port.Get(), PURGE_RXCLEAR | PURGE_TXCLEAR);
}

bool TCustomComm::CloseDevice() {
    if (!handle_ || !handle_->IsOpen()) return false;
    handle_->Close();
    return true;
}

void TCustomComm::Configure() {
    std::lock_guard guard(lock_);
    if (!handle_ || !handle_->IsOpen()) return;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = BaudRate();
    dcb.ByteSize = static_cast<BYTE>(byteSizeIndex_ + 4);
    dcb.Parity = static_cast<BYTE>(parityIndex_);      // none, odd, even, mark, space
    dcb.StopBits = static_cast<BYTE>(stopBitsIndex_);  // one, one and a half, two
    dcb.XonChar = static_cast<char>(eventChars_.XonChar());
    dcb.XoffChar = static_cast<char>(eventChars_.XoffChar());
    dcb.ErrorChar = static_cast<char>(eventChars_.ErrorChar());
    dcb.EofChar = static_cast<char>(eventChars_.EofChar());
    dcb.EvtChar = static_cast<char>(eventChars_.EventChar());
    dcb.XonLim = static_cast<WORD>(kInputQueueSize / 4);
    dcb.XoffLim = static_cast<WORD>(kInputQueueSize / 4);
    // The default mode (4) sets no flag at all; the system transfers binary data anyway.
    switch (flowControl_) {
        case 0:
            dcb.fBinary = TRUE;
            break;
        case 1:
            dcb.fOutxCtsFlow = TRUE;
            dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
            break;
        case 2:
            dcb.fOutxDsrFlow = TRUE;
            dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
            break;
        case 3:
            dcb.fOutX = TRUE;
            dcb.fInX = TRUE;
            break;
        default:
            break;
    }
    if ((options_ & coParityCheck) != 0) dcb.fParity = TRUE;
    if ((options_ & coDsrSensitivity) != 0) dcb.fDsrSensitivity = TRUE;
    if ((options_ & coIgnoreXOff) != 0) dcb.fTXContinueOnXoff = TRUE;
    if ((options_ & coErrorChar) != 0) dcb.fErrorChar = TRUE;
    if ((options_ & coNullStrip) != 0) dcb.fNull = TRUE;
    if (!::SetCommState(handle_->port.Get(), &dcb)) tessel::win::ThrowLastError(ComName(portNumber_));
}

std::uint32_t TCustomComm::DeviceBaudRate() const {
    std::lock_guard guard(lock_);
    if (!handle_ || !handle_->IsOpen()) return 0;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    return ::GetCommState(handle_->port.Get(), &dcb) ? dcb.BaudRate : 0;
}

void TCustomComm::Write(const Bytes& data) {
    if (data.empty()) return;
    if (!Enabled()) Open();
    std::lock_guard guard(lock_);
    LogBytes("->", data);
    if (!handle_ || !handle_->IsOpen()) throw EDriverError(E_PORTUNAVAILABLE);
    const HANDLE port = handle_->port.Get();
    const std::uint32_t boundMs = WriteBoundMs(data.size());
    OVERLAPPED overlapped{};
    overlapped.hEvent = handle_->io.Get();
    ::ResetEvent(overlapped.hEvent);
    DWORD written = 0;
    if (!::WriteFile(port, data.data(), static_cast<DWORD>(data.size()), &written, &overlapped)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            if (IsCommDeviceGone(error)) throw EDriverError(E_PORTUNAVAILABLE);
            ThrowSystemError(error, ComName(portNumber_));
        }
        // The wait is bounded, as on every platform: a stalled line must not hold the caller forever.
        if (!FinishOverlapped(port, overlapped, boundMs, written, ComName(portNumber_))) {
            throw std::runtime_error("Запись в порт " + ComName(portNumber_) + " не завершена: за " +
                                     std::to_string(boundMs) + " мс передано " + std::to_string(written) +
                                     " из " + std::to_string(data.size()) + " байт.");
        }
    }
}

Bytes TCustomComm::Read(std::size_t count) {
    if (count == 0) return {};
    std::lock_guard guard(lock_);
    if (!handle_ || !handle_->IsOpen()) throw EDriverError(E_PORTUNAVAILABLE);
    const HANDLE port = handle_->port.Get();
    Bytes data(count);
    OVERLAPPED overlapped{};
    overlapped.hEvent = handle_->io.Get();
    ::ResetEvent(overlapped.hEvent);
    DWORD got = 0;
    if (!::ReadFile(port, data.data(), static_cast<DWORD>(count), &got, &overlapped)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            if (IsCommDeviceGone(error)) gone_.store(true);
            ThrowSystemError(error, ComName(portNumber_));
        }
        if (!FinishOverlapped(port, overlapped, kReadTimeoutMs, got, ComName(portNumber_)))
            ThrowSystemError(WAIT_TIMEOUT, ComName(portNumber_));
    }
    ::ResetEvent(overlapped.hEvent);
    data.resize(got);
    LogBytes("<-", data);
    return data;
}

void TCustomComm::PurgeInput() {
    if (!Enabled()) return;
    std::lock_guard guard(lock_);
    // No read is outstanding here (reads finish under the lock); an abort would end the event thread's wait.
    if (!::PurgeComm(handle_->port.Get(), PURGE_RXCLEAR)) tessel::win::ThrowLastError(ComName(portNumber_));
}

void TCustomComm::SetModemLine(TModemLine line, bool on) {
    std::lock_guard guard(lock_);
    if (!handle_ || !handle_->IsOpen()) return;
    const DWORD function = line == TModemLine::Dtr ? (on ? SETDTR : CLRDTR) : (on ? SETRTS : CLRRTS);
    if (::EscapeCommFunction(handle_->port.Get(), function)) return;
    const DWORD error = ::GetLastError();
    if (!IsModemLineRefusal(error)) ThrowSystemError(error, ComName(portNumber_));
    // A port without modem lines: said once per opening, then the link goes on without them.
    if (handle_->modemLinesRefused) return;
    handle_->modemLinesRefused = true;
    LogError("Порт " + ComName(portNumber_) + " не управляет линиями RTS и DTR; обмен идет без них.",
             tessel::win::ErrorText(error));
}

void TCustomComm::SetDTR(bool on) {
    if (Enabled()) SetModemLine(TModemLine::Dtr, on);
}

void TCustomComm::SetRTS(bool on) {
    if (Enabled()) SetModemLine(TModemLine::Rts, on);
}
