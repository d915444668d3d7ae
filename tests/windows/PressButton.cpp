// Presses a button of another program's window, as a person would, for the script tours: waits for a
// top-level window whose caption holds CAPTION to be shown, then clicks its button BUTTON (a caption, or #N
// for the control id N).
//   PressButton CAPTION BUTTON SECONDS
// Exit status 0 when the button was pressed, 1 when no such window or button came within SECONDS.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

std::wstring g_caption;
std::wstring g_button;
bool g_pressed = false;

// BUTTON is a caption, or #N for the button whose control id is N: the system's own buttons speak the
// locale's language ("ОК" in Cyrillic letters under a Russian one), their ids do not.
bool IsTheButton(HWND child) {
    if (!g_button.empty() && g_button[0] == L'#') {
        wchar_t kind[32] = {};
        ::GetClassNameW(child, kind, static_cast<int>(std::size(kind)));
        return _wcsicmp(kind, L"Button") == 0 &&
               ::GetDlgCtrlID(child) == static_cast<int>(std::wcstol(g_button.c_str() + 1, nullptr, 10));
    }
    wchar_t text[256] = {};
    ::GetWindowTextW(child, text, static_cast<int>(std::size(text)));
    return g_button == text;
}

BOOL CALLBACK PressIn(HWND child, LPARAM) {
    if (!IsTheButton(child)) return TRUE;
    // Posted: the click's work (closing the window) runs in the window's own program.
    ::PostMessageW(child, BM_CLICK, 0, 0);
    g_pressed = true;
    return FALSE;
}

void TryWindow(HWND window) {
    if (g_pressed || !::IsWindowVisible(window) || ::GetParent(window) != nullptr) return;
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, static_cast<int>(std::size(text)));
    if (std::wcsstr(text, g_caption.c_str()) == nullptr) return;
    ::EnumChildWindows(window, PressIn, 0);
    if (g_pressed) ::PostQuitMessage(0);
}

void CALLBACK Shown(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG, DWORD, DWORD) {
    if (object == OBJID_WINDOW && window != nullptr) TryWindow(window);
}

BOOL CALLBACK TryTopWindow(HWND window, LPARAM) {
    TryWindow(window);
    return !g_pressed;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 4) return 2;
    g_caption = argv[1];
    g_button = argv[2];
    const UINT seconds = static_cast<UINT>(std::wcstoul(argv[3], nullptr, 10));
    ::LocalFree(argv);
    // Shown windows are told as they come; one already there is looked at first. Under Wine no event came for
    // another program's windows shown (the tour waited in vain), so the windows are also looked at four times
    // a second.
    HWINEVENTHOOK hook = ::SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_SHOW, nullptr, Shown, 0, 0,
                                           WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    ::EnumWindows(TryTopWindow, 0);
    const UINT_PTR timer = ::SetTimer(nullptr, 0, seconds * 1000, nullptr);
    const UINT_PTR look = ::SetTimer(nullptr, 0, 250, nullptr);
    MSG msg;
    while (!g_pressed && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.wParam == timer) break;
        if (msg.message == WM_TIMER && msg.wParam == look) ::EnumWindows(TryTopWindow, 0);
        ::DispatchMessageW(&msg);
    }
    ::KillTimer(nullptr, look);
    ::KillTimer(nullptr, timer);
    if (hook != nullptr) ::UnhookWinEvent(hook);
    return g_pressed ? 0 : 1;
}
