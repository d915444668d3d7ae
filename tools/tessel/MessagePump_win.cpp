// Stop requests on Windows: Ctrl+C, Ctrl+Break and the closing of the console window, taken by a console
// handler that sets an event; waits sleep in the system's message wait on that event and the thread's queue.
#include <windows.h>

#include <atomic>
#include <csignal>
#include <system_error>

#include "common/platform/Win32Support.h"
#include "tools/tessel/MessagePump.h"

namespace tessel::cli {

namespace {

// The handler is a plain function, so the one stop request of the process lives here.
HANDLE g_stopEvent = nullptr;
// SIGINT or SIGTERM, as the first request was; 0 before.
std::atomic<int> g_stopSignal{0};

BOOL WINAPI OnConsoleControl(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            // The first request names the stop, as the first signal does on Linux.
            if (int none = 0; g_stopSignal.load() == none)
                g_stopSignal.compare_exchange_strong(none, type == CTRL_CLOSE_EVENT ? SIGTERM : SIGINT);
            ::SetEvent(g_stopEvent);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

struct StopSignals::Impl {
    win::UniqueHandle event;
};

StopSignals::StopSignals() : impl_(std::make_unique<Impl>()) {
    impl_->event.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!impl_->event.Valid()) win::ThrowLastError("CreateEvent");
    g_stopSignal.store(0);
    g_stopEvent = impl_->event.Get();
    if (!::SetConsoleCtrlHandler(&OnConsoleControl, TRUE)) {
        g_stopEvent = nullptr;
        win::ThrowLastError("SetConsoleCtrlHandler");
    }
}

StopSignals::~StopSignals() {
    ::SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
    g_stopEvent = nullptr;
}

int StopSignals::Fd() const {
    return -1;
}

bool StopSignals::Stopped() {
    if (!stopped_ && ::WaitForSingleObject(impl_->event.Get(), 0) == WAIT_OBJECT_0) {
        stopped_ = true;
        signal_ = g_stopSignal.load();
    }
    return stopped_;
}

bool StopSignals::Wait(MessageQueue& /*queue*/, std::uint32_t ms, bool watchStop) {
    // The queue is the thread's system queue: any input for the thread wakes the wait.
    const HANDLE event = impl_->event.Get();
    const DWORD count = watchStop ? 1 : 0;
    const DWORD result = ::MsgWaitForMultipleObjectsEx(count, watchStop ? &event : nullptr, ms, QS_ALLINPUT,
                                                       MWMO_INPUTAVAILABLE);
    if (result == WAIT_FAILED) win::ThrowLastError("MsgWaitForMultipleObjectsEx");
    return result == WAIT_OBJECT_0 + count;
}

}  // namespace tessel::cli
