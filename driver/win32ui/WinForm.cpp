#include "driver/win32ui/WinForm.h"

#include <commctrl.h>

#include <stdexcept>

#include "common/platform/Win32Support.h"
#include "driver/forms/FontSettings.h"

HINSTANCE ModuleInstance() {
    static const HINSTANCE instance = [] {
        HMODULE module = nullptr;
        ::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&ModuleInstance), &module);
        return module;
    }();
    return instance;
}

std::wstring Wide(const std::string& utf8) {
    return tessel::win::Widen(utf8);
}

std::string Narrow(const std::wstring& utf16) {
    return tessel::win::Narrow(utf16);
}

void PrepareWindowsThread() {
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_WIN95_CLASSES | ICC_DATE_CLASSES |
                                                      ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                      ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&classes);
}

TWinForm::TWinForm(int templateId) : templateId_(templateId) {}

TWinForm::~TWinForm() {
    if (hwnd_ != nullptr && !modal_) ::DestroyWindow(hwnd_);
    if (font_ != nullptr) ::DeleteObject(font_);
}

INT_PTR TWinForm::ShowModal(HWND owner) {
    modal_ = true;
    const INT_PTR code = ::DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(templateId_), owner, Procedure,
                                           reinterpret_cast<LPARAM>(this));
    hwnd_ = nullptr;
    if (code == -1) tessel::win::ThrowLastError("Не удалось показать окно драйвера");
    return code;
}

HWND TWinForm::CreateChild(HWND parent) {
    modal_ = false;
    HWND hwnd = ::CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(templateId_), parent, Procedure,
                                     reinterpret_cast<LPARAM>(this));
    if (hwnd == nullptr) tessel::win::ThrowLastError("Не удалось показать окно драйвера");
    return hwnd;
}

void TWinForm::SetBusy(bool busy) {
    const int* ids = BusyButtons();
    for (; ids != nullptr && *ids != 0; ++ids) Enable(*ids, !busy);
}

void TWinForm::ShowError(const std::string& text) {
    ShowErrorBox(text);
}

void TWinForm::ShowErrorBox(const std::string& text) {
    ::MessageBoxW(::GetActiveWindow(), Wide(text).c_str(), Wide(kDriverCaption).c_str(),
                  MB_OK | MB_ICONERROR);
}

void TWinForm::End(INT_PTR code) {
    if (hwnd_ != nullptr && modal_) ::EndDialog(hwnd_, code);
}

HWND TWinForm::Item(int id) const {
    return ::GetDlgItem(hwnd_, id);
}

void TWinForm::SetText(int id, const std::string& utf8) const {
    ::SetDlgItemTextW(hwnd_, id, Wide(utf8).c_str());
}

std::string TWinForm::Text(int id) const {
    HWND item = Item(id);
    const int length = item != nullptr ? ::GetWindowTextLengthW(item) : 0;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = length > 0 ? ::GetWindowTextW(item, text.data(), length + 1) : 0;
    text.resize(static_cast<size_t>(copied));
    return Narrow(text);
}

void TWinForm::Enable(int id, bool enabled) const {
    ::EnableWindow(Item(id), enabled ? TRUE : FALSE);
}

void TWinForm::SetChecked(int id, bool checked) const {
    ::CheckDlgButton(hwnd_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool TWinForm::Checked(int id) const {
    return ::IsDlgButtonChecked(hwnd_, id) == BST_CHECKED;
}

void TWinForm::CentreOnScreen() const {
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT own{};
    ::GetWindowRect(hwnd_, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    ::SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - width) / 2,
                   work.top + (work.bottom - work.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

LRESULT TWinForm::Send(int id, UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendDlgItemMessageW(hwnd_, id, message, wParam, lParam);
}

namespace {

// A named CALLBACK function, as a 32-bit build needs: a lambda does not convert to a stdcall pointer.
BOOL CALLBACK SetChildFont(HWND child, LPARAM font) {
    ::SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    return TRUE;
}

}  // namespace

void TWinForm::ApplyFont() {
    const TFontSettings settings = TFontSettings::Load();
    HDC dc = ::GetDC(hwnd_);
    const int dpi = dc != nullptr ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc != nullptr) ::ReleaseDC(hwnd_, dc);
    font_ = ::CreateFontW(-::MulDiv(settings.size > 0 ? settings.size : 8, dpi, 72), 0, 0, 0,
                          settings.bold ? FW_BOLD : FW_NORMAL, settings.italic, settings.underline,
                          settings.strikeOut, static_cast<BYTE>(settings.charSet), OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                          Wide(settings.name).c_str());
    color_ = static_cast<COLORREF>(settings.color);
    if (font_ == nullptr) return;  // the template's own font stays
    ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    ::EnumChildWindows(hwnd_, SetChildFont, reinterpret_cast<LPARAM>(font_));
}

INT_PTR CALLBACK TWinForm::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = reinterpret_cast<TWinForm*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (message == WM_INITDIALOG) {
        form = reinterpret_cast<TWinForm*>(lParam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        form->hwnd_ = hwnd;
    }
    if (form == nullptr) return FALSE;
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        form->hwnd_ = nullptr;
        return FALSE;
    }
    // Nothing may leave a window procedure as an exception: what a handler did not catch is shown.
    try {
        return form->Dispatch(message, wParam, lParam);
    } catch (...) {
        ShowErrorBox(ErrorText(std::current_exception()));
        return TRUE;
    }
}

INT_PTR TWinForm::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            ApplyFont();
            return OnInit() ? TRUE : FALSE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (OnCommand(id, HIWORD(wParam))) return TRUE;
            if ((id == IDOK || id == IDCANCEL) && modal_) {
                End(id);
                return TRUE;
            }
            return FALSE;
        }
        case WM_NOTIFY: {
            const LRESULT result = OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
            if (result == -1) return FALSE;
            ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
            return TRUE;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            // The settings' text colour; black, the default, leaves the system's drawing alone.
            if (color_ != 0) {
                ::SetTextColor(reinterpret_cast<HDC>(wParam), color_);
                const bool field = message == WM_CTLCOLOREDIT || message == WM_CTLCOLORLISTBOX;
                ::SetBkColor(reinterpret_cast<HDC>(wParam),
                             ::GetSysColor(field ? COLOR_WINDOW : COLOR_BTNFACE));
                return reinterpret_cast<INT_PTR>(::GetSysColorBrush(field ? COLOR_WINDOW : COLOR_BTNFACE));
            }
            break;
        default:
            break;
    }
    INT_PTR result = FALSE;
    return OnMessage(message, wParam, lParam, result) ? result : FALSE;
}
