#include "DialogHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <thread>

#include "common/platform/Win32Support.h"
#include "driver/client/DriverClient.h"

namespace dialogs {

namespace {

TWindowWatcher* t_watcher = nullptr;  // the watcher of the thread whose hook runs (one per test)

std::wstring Wide(const std::string& text) {
    return tessel::win::Widen(text);
}

std::uint32_t Crc(const unsigned char* data, size_t size, std::uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBig(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void Chunk(std::string& png, const char* type, const std::string& data) {
    PutBig(png, static_cast<std::uint32_t>(data.size()));
    const std::string body = std::string(type, 4) + data;
    png += body;
    PutBig(png, Crc(reinterpret_cast<const unsigned char*>(body.data()), body.size()));
}

// A PNG of 24-bit rows (top-down, BGR as GDI gives them), its image data in stored (not
// compressed) deflate blocks: the pictures are for people to look at, not to keep small.
void WritePng(const std::string& path, int width, int height, const unsigned char* bgr, size_t stride) {
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        const unsigned char* row = bgr + stride * static_cast<size_t>(y);
        for (int x = 0; x < width; ++x) {
            raw.push_back(static_cast<char>(row[x * 3 + 2]));
            raw.push_back(static_cast<char>(row[x * 3 + 1]));
            raw.push_back(static_cast<char>(row[x * 3]));
        }
    }
    std::string zlib("\x78\x01", 2);
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        zlib.push_back(at + n >= raw.size() ? 1 : 0);
        zlib.push_back(static_cast<char>(n & 0xFF));
        zlib.push_back(static_cast<char>(n >> 8));
        zlib.push_back(static_cast<char>(~n & 0xFF));
        zlib.push_back(static_cast<char>((~n >> 8) & 0xFF));
        zlib.append(raw, at, n);
        if (raw.empty()) break;
    }
    std::uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBig(zlib, (b << 16) | a);
    std::string header;
    PutBig(header, static_cast<std::uint32_t>(width));
    PutBig(header, static_cast<std::uint32_t>(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB
    std::string png("\x89PNG\r\n\x1a\n", 8);
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", zlib);
    Chunk(png, "IEND", {});
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(png.data(), 1, png.size(), out);
        std::fclose(out);
    }
}

}  // namespace

tessel::ComPtr<ITesselDriver> NewDriver() {
    tessel::client::LateBoundDriver driver(tessel::client::CreateDriver(tessel::client::kDriverProgId));
    tessel::ComPtr<ITesselDriver> early = driver.Interface();
    if (!early || FAILED(early->put_PortNumber(kEmulatorPort)) ||
        FAILED(early->put_DstAddress(kEmulatorAddress)))
        throw std::runtime_error("no driver");
    return early;
}

TWindowWatcher::TWindowWatcher() {
    t_watcher = this;
    hook_ = ::SetWindowsHookExW(WH_CBT, Hook, nullptr, ::GetCurrentThreadId());
    if (hook_ == nullptr) throw std::runtime_error("SetWindowsHookEx failed");
}

TWindowWatcher::~TWindowWatcher() {
    ::UnhookWindowsHookEx(hook_);
    t_watcher = nullptr;
}

LRESULT CALLBACK TWindowWatcher::Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && t_watcher != nullptr) {
        std::lock_guard guard(t_watcher->lock_);
        t_watcher->activated_.push_back(reinterpret_cast<HWND>(wParam));
        t_watcher->changed_.notify_all();
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

HWND TWindowWatcher::WaitFor(const std::string& caption, DWORD ms) {
    // A dialog's caption is its template's before it is activated; it is read without a message, so that
    // the lock is never held while the window's thread would be asked.
    const auto captionOf = [](HWND w) {
        wchar_t text[512] = {};
        ::InternalGetWindowText(w, text, static_cast<int>(std::size(text)));
        return tessel::win::Narrow(text);
    };
    HWND found = nullptr;
    {
        std::unique_lock guard(lock_);
        changed_.wait_for(guard, std::chrono::milliseconds(ms), [&] {
            for (size_t i = taken_; i < activated_.size(); ++i) {
                if (captionOf(activated_[i]).find(caption) == std::string::npos) continue;
                found = activated_[i];
                taken_ = i + 1;
                return true;
            }
            return false;
        });
    }
    // Let the window's thread end what it was doing (its WM_INITDIALOG) before the script touches it.
    if (found != nullptr) ::SendMessageW(found, WM_NULL, 0, 0);
    return found;
}

std::vector<HWND> TWindowWatcher::Windows() {
    std::lock_guard guard(lock_);
    std::vector<HWND> alive;
    for (HWND w : activated_)
        if (::IsWindow(w)) alive.push_back(w);
    return alive;
}

void RunDialog(const std::function<void()>& member, const std::function<void(TWindowWatcher&)>& script) {
    TWindowWatcher watcher;
    std::exception_ptr failed;
    std::thread driver([&] {
        const bool hadFailure = ::testing::Test::HasFailure();
        try {
            script(watcher);
        } catch (...) {
            failed = std::current_exception();
        }
        if (failed || (::testing::Test::HasFailure() && !hadFailure)) {
            // Newest first: a message box, then the dialog that owns it.
            std::vector<HWND> open = watcher.Windows();
            for (auto it = open.rbegin(); it != open.rend(); ++it) ::PostMessageW(*it, WM_CLOSE, 0, 0);
        }
    });
    member();
    driver.join();
    if (failed) std::rethrow_exception(failed);
}

HWND Control(HWND dialog, int id) {
    HWND control = ::GetDlgItem(dialog, id);
    if (control == nullptr) throw std::runtime_error("no control " + std::to_string(id));
    return control;
}

bool WaitUntil(const std::function<bool()>& done, DWORD ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void Click(HWND dialog, int id) {
    ::SendMessageW(Control(dialog, id), BM_CLICK, 0, 0);
}

void ClickLater(HWND dialog, int id) {
    ::PostMessageW(Control(dialog, id), BM_CLICK, 0, 0);
}

void SetText(HWND dialog, int id, const std::string& utf8) {
    HWND control = Control(dialog, id);
    ::SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(utf8).c_str()));
}

std::string Text(HWND window) {
    wchar_t text[1024] = {};
    // WM_GETTEXT reaches windows of other threads (GetWindowText would not ask an edit control).
    ::SendMessageW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));
    return tessel::win::Narrow(text);
}

std::string Text(HWND dialog, int id) {
    return Text(Control(dialog, id));
}

bool Enabled(HWND dialog, int id) {
    return ::IsWindowEnabled(Control(dialog, id)) != FALSE;
}

void Choose(HWND dialog, int id, int index) {
    HWND control = Control(dialog, id);
    wchar_t kind[32] = {};
    ::GetClassNameW(control, kind, static_cast<int>(std::size(kind)));
    const bool combo = _wcsicmp(kind, L"ComboBox") == 0;
    ::SendMessageW(control, combo ? CB_SETCURSEL : LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, combo ? CBN_SELCHANGE : LBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(control));
}

void Close(HWND window) {
    ::PostMessageW(window, WM_CLOSE, 0, 0);
}

namespace {

// What the screen shows at `r`, as 24-bit rows (top row first, each `stride` bytes).
std::vector<unsigned char> ScreenPixels(const RECT& r, size_t stride) {
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    std::vector<unsigned char> pixels(stride * static_cast<size_t>(height));
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
        ::SelectObject(memory, old);
        std::copy_n(static_cast<const unsigned char*>(bits), pixels.size(), pixels.begin());
        ::DeleteObject(bitmap);
    }
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

}  // namespace

void Shot(HWND window, const std::string& name) {
    const char* folder = std::getenv("TESSEL_SCREENSHOTS");
    if (folder == nullptr || *folder == '\0') return;
    // Drawn and on top before the screen is read.
    ::SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    ::SendMessageW(window, WM_NULL, 0, 0);
    RECT r{};
    ::GetWindowRect(window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return;
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    // The display shows a new window some time after Windows drew it (black, or what was behind it, until
    // then): the picture is the first that shows the dialog's background inside its frame and stays the
    // same a moment later.
    POINT inside{4, 4};
    ::ClientToScreen(window, &inside);
    const size_t at =
        static_cast<size_t>(inside.y - r.top) * stride + static_cast<size_t>(inside.x - r.left) * 3;
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    const auto showsWindow = [&](const std::vector<unsigned char>& p) {
        return at + 2 < p.size() && RGB(p[at + 2], p[at + 1], p[at]) == face;
    };
    std::vector<unsigned char> pixels = ScreenPixels(r, stride);
    WaitUntil(
        [&] {
            ::Sleep(100);
            std::vector<unsigned char> again = ScreenPixels(r, stride);
            const bool settled = again == pixels && showsWindow(again);
            pixels = std::move(again);
            return settled;
        },
        5000);
    WritePng(std::string(folder) + "\\" + name + ".png", width, height, pixels.data(), stride);
}

}  // namespace dialogs
