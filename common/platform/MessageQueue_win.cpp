// Message queues on Windows: the thread's own system queue. A MessageWindow is a hidden (message-only) window
// of the class "CommandWindow" of this module, and its messages are posted with PostMessage, so any message
// loop of the thread delivers them: a host's, a modal dialog's, the system's own waits. A count of our
// messages per queue keeps the capacity and lets a poster wait for room without spinning (the system's own
// limit gives no notice when room comes back).
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "common/platform/MessageQueue.h"
#include "common/platform/MessageQueueBook.h"
#include "common/platform/Win32Support.h"

namespace tessel {

class WindowCore : public WindowCoreBase {
  public:
    using WindowCoreBase::WindowCoreBase;

    HWND hwnd = nullptr;      // set once, on the owner's thread, before the window is handed out
    std::size_t waiting = 0;  // our messages to this window not yet delivered; guarded by the queue's mutex

    void Deliver(UINT msg, WPARAM wParam, LPARAM lParam);
    bool IsAlive() const;
};

struct MessageQueue::Impl {
    // Called by the window procedure on the owner's thread.
    void Deliver(WindowCore& core, UINT msg, WPARAM wParam, LPARAM lParam);

    QueueBook book;
    std::size_t waiting = 0;  // our messages in the thread's queue
    // Owner's thread only.
    std::size_t delivered = 0;   // procedure calls so far
    std::exception_ptr failure;  // thrown by a procedure, rethrown by the pump
};

namespace {

constexpr wchar_t kClassName[] = L"CommandWindow";

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&WindowProcedure), &module);
    return module;
}

// Registers the class once per module. A class of that name left by an earlier copy of this module, with
// another window procedure, is replaced.
ATOM WindowClass() {
    static const ATOM atom = [] {
        const HINSTANCE instance = ThisModule();
        WNDCLASSEXW existing{};
        existing.cbSize = sizeof existing;
        if (::GetClassInfoExW(instance, kClassName, &existing) && existing.lpfnWndProc != &WindowProcedure)
            ::UnregisterClassW(kClassName, instance);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &WindowProcedure;
        wc.hInstance = instance;
        wc.lpszClassName = kClassName;
        const ATOM registered = ::RegisterClassExW(&wc);
        if (registered == 0) win::ThrowLastError("RegisterClassEx CommandWindow");
        return registered;
    }();
    return atom;
}

using CoreHolder = std::shared_ptr<WindowCore>;

// The window's core while the window exists (its holder is freed with the window); null for other windows.
CoreHolder CoreOf(HWND hwnd) {
    if (hwnd == nullptr) return nullptr;
    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) != &WindowProcedure)
        return nullptr;
    auto* holder = reinterpret_cast<CoreHolder*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return holder != nullptr ? *holder : nullptr;
}

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    if (msg == WM_NCDESTROY) {
        delete reinterpret_cast<CoreHolder*>(::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0));
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    // Private messages only: the system's own go to the default procedure (WM_CLOSE destroys the window).
    // The core is held for the call: the procedure may destroy its own window.
    const CoreHolder core = msg >= WM_USER && msg < 0xC000 ? CoreOf(hwnd) : nullptr;
    if (!core) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    core->Deliver(msg, wParam, lParam);
    return 0;
}

// The calling thread's queue lives in a fiber-local slot, whose callback runs when the thread ends: the
// queue is then closed, so that posters stop waiting for a pump that never comes. (A thread_local object
// with a destructor is not safe here: the runtime may free its storage before the destructor runs.)
using QueueHolder = std::shared_ptr<MessageQueue>;

void NTAPI OnThreadEnd(void* slot) {
    MessageQueue::ThreadEnded(slot);
}

// The slot is given back when this module's statics end: in a DLL, when it is unloaded. The system then
// runs the callback for every thread that still holds a queue; a slot left behind would call into the
// unloaded module when those threads end.
class QueueSlotIndex {
  public:
    QueueSlotIndex() : index_(::FlsAlloc(&OnThreadEnd)) {
        if (index_ == FLS_OUT_OF_INDEXES) win::ThrowLastError("FlsAlloc");
    }
    ~QueueSlotIndex() { ::FlsFree(index_); }
    QueueSlotIndex(const QueueSlotIndex&) = delete;
    QueueSlotIndex& operator=(const QueueSlotIndex&) = delete;

    DWORD Get() const { return index_; }

  private:
    const DWORD index_;
};

DWORD QueueSlot() {
    static const QueueSlotIndex slot;
    return slot.Get();
}

}  // namespace

void WindowCore::Deliver(UINT msg, WPARAM wParam, LPARAM lParam) {
    queue->impl_->Deliver(*this, msg, wParam, lParam);
}

bool WindowCore::IsAlive() const {
    std::lock_guard lock(queue->impl_->book.mutex);
    return alive;
}

void MessageQueue::Impl::Deliver(WindowCore& core, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::lock_guard call(core.callMutex);
    bool alive = false;
    bool wasFull = false;
    {
        std::lock_guard lock(book.mutex);
        // A message another program sent or posted to the window is delivered but was never counted.
        if (core.waiting > 0 && !::InSendMessage()) {
            wasFull = waiting >= kCapacity;
            --core.waiting;
            --waiting;
        }
        alive = core.alive && !book.closed;
    }
    if (wasFull) book.room.notify_all();
    if (!alive) return;
    ++delivered;
    try {
        core.procedure(msg, wParam, lParam);
    } catch (...) {
        // An exception cannot cross the system's dispatch: the pump rethrows it.
        if (!failure) failure = std::current_exception();
    }
}

std::shared_ptr<MessageQueue> MessageQueue::ForCurrentThread() {
    const DWORD slot = QueueSlot();
    if (auto* holder = static_cast<QueueHolder*>(::FlsGetValue(slot))) return *holder;
    auto holder = std::make_unique<QueueHolder>(std::make_shared<MessageQueue>(Key{}));
    if (!::FlsSetValue(slot, holder.get())) win::ThrowLastError("FlsSetValue");
    return *holder.release();
}

void MessageQueue::ThreadEnded(void* slot) {
    auto* holder = static_cast<QueueHolder*>(slot);
    if (holder == nullptr) return;
    (*holder)->Close();
    delete holder;
}

void MessageQueue::Close() {
    {
        std::lock_guard lock(impl_->book.mutex);
        impl_->book.closed = true;
        impl_->waiting = 0;
    }
    impl_->book.room.notify_all();
}

MessageQueue::MessageQueue(Key) : owner_(std::this_thread::get_id()), impl_(std::make_unique<Impl>()) {}

MessageQueue::~MessageQueue() = default;

int MessageQueue::Fd() const {
    return -1;
}

std::size_t MessageQueue::Pending() const {
    std::lock_guard lock(impl_->book.mutex);
    return impl_->waiting;
}

std::size_t MessageQueue::DispatchPending() {
    RequireOwner("DispatchPending");
    std::size_t budget = 0;
    {
        std::lock_guard lock(impl_->book.mutex);
        budget = impl_->waiting;
    }
    const std::size_t start = impl_->delivered;
    // The system's messages are dispatched as they come; a bound keeps a window that keeps posting to itself
    // from holding the caller forever.
    std::size_t others = 0;
    MSG message{};
    while (others < kCapacity && ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        // Ours that came after the call wait for the next one; a destroyed window's are only removed.
        if (impl_->delivered - start >= budget && message.message >= WM_USER) {
            if (const CoreHolder core = CoreOf(message.hwnd); core && core->IsAlive()) break;
        }
        if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) break;
        if (message.message == WM_QUIT) {
            // Left for the host's own loop, which ends on it.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        const std::size_t before = impl_->delivered;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
        if (impl_->delivered == before) ++others;
        if (impl_->failure) std::rethrow_exception(std::exchange(impl_->failure, nullptr));
    }
    return impl_->delivered - start;
}

std::size_t MessageQueue::WaitAndDispatch(std::uint32_t timeoutMs) {
    RequireOwner("WaitAndDispatch");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (const std::size_t delivered = DispatchPending(); delivered > 0) return delivered;
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return 0;
        ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left.count()), QS_ALLINPUT,
                                      MWMO_INPUTAVAILABLE);
    }
}

MessageWindow::MessageWindow(Procedure procedure)
    : core_(std::make_shared<WindowCore>(MessageQueue::ForCurrentThread(), std::move(procedure))) {
    auto holder = std::make_unique<std::shared_ptr<WindowCore>>(core_);
    // A message-only window: it never shows, takes no broadcasts, and needs no desktop, so a service or a
    // host without a display (Wine without X) has it too.
    const HWND hwnd = ::CreateWindowExW(WS_EX_TOOLWINDOW, MAKEINTATOM(WindowClass()), L"", WS_POPUP, 0, 0, 0,
                                        0, HWND_MESSAGE, nullptr, ThisModule(), holder.get());
    if (hwnd == nullptr) win::ThrowLastError("CreateWindowEx CommandWindow");
    holder.release();  // the window owns it now, until WM_NCDESTROY
    core_->hwnd = hwnd;
}

PostResult MessageWindow::PostWait(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam,
                                   std::uint32_t timeoutMs) {
    MessageQueue& queue = *core_->queue;
    MessageQueue::Impl& impl = *queue.impl_;
    std::unique_lock lock(impl.book.mutex);
    const PostResult room =
        impl.book.MakeRoom(lock, *core_, queue.IsOwnerThread(), timeoutMs, [&impl] { return impl.waiting; });
    if (room != PostResult::Posted) return room;
    // Posted under the lock, so that the delivery, which takes it, finds the message counted.
    if (!::PostMessageW(core_->hwnd, msg, wParam, lParam)) {
        return ::GetLastError() == ERROR_NOT_ENOUGH_QUOTA ? PostResult::Full : PostResult::Gone;
    }
    ++impl.waiting;
    ++core_->waiting;
    return PostResult::Posted;
}

void MessageWindow::Destroy() {
    std::lock_guard call(core_->callMutex);
    MessageQueue& queue = *core_->queue;
    bool wasAlive = false;
    {
        std::lock_guard lock(queue.impl_->book.mutex);
        wasAlive = core_->alive;
        core_->alive = false;
        queue.impl_->waiting -= std::min(queue.impl_->waiting, core_->waiting);
        core_->waiting = 0;
    }
    queue.impl_->book.room.notify_all();
    if (!wasAlive) return;
    // Only the owner may destroy the window; from another thread it is told to, and meanwhile its messages
    // reach nothing. A thread that has ended took its windows with it.
    if (queue.IsOwnerThread()) {
        ::DestroyWindow(core_->hwnd);
    } else {
        ::PostMessageW(core_->hwnd, WM_CLOSE, 0, 0);
    }
}

bool MessageWindow::IsAlive() const {
    std::lock_guard lock(core_->queue->impl_->book.mutex);
    return core_->alive && !core_->queue->impl_->book.closed;
}

MessageQueue& MessageWindow::Queue() const {
    return *core_->queue;
}

}  // namespace tessel
