#include "driver/win32ui/WinDevice.h"

#include <commctrl.h>
#include <windowsx.h>

#include <memory>

#include "driver/win32ui/PageIds.h"

namespace {

struct TMenuDeleter {
    void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using TUniqueMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, TMenuDeleter>;

}  // namespace

TWinDevice::TWinDevice(const TDriverCalls& driver) : TWinForm(IDD_DEVICES), form_(driver, *this) {}

bool TWinDevice::OnInit() {
    Send(IDC_DEVICES_NAME, EM_LIMITTEXT, TDevicesForm::kMaxNameLength);
    SetWindowSubclass(Item(IDC_DEVICES_NAME), NameProcedure, 1, reinterpret_cast<DWORD_PTR>(this));
    form_.Load();
    CentreOnScreen();
    return true;
}

bool TWinDevice::OnCommand(int id, int code) {
    switch (id) {
        case IDC_DEVICES_ADD:
        case IDM_DEVICES_ADD:
            if (code == BN_CLICKED) form_.AddClicked();
            return true;
        case IDC_DEVICES_DELETE:
        case IDM_DEVICES_DELETE:
            if (code == BN_CLICKED) form_.DeleteClicked();
            return true;
        case IDC_DEVICES_CLOSE:
            if (code == BN_CLICKED) End(IDCANCEL);
            return true;
        case IDC_DEVICES_LIST:
            if (code == LBN_SELCHANGE) form_.RowClicked(SelectedRow());
            if (code == LBN_DBLCLK) End(IDOK);
            return true;
        case IDC_DEVICES_NAME:
            if (code == EN_CHANGE && !loading_) form_.NameEdited(Text(IDC_DEVICES_NAME));
            return true;
        case IDOK:
            // Enter: renames in the name field, closes with Cancel in the list.
            if (Focused(IDC_DEVICES_NAME))
                form_.NameEdited(Text(IDC_DEVICES_NAME));
            else if (Focused(IDC_DEVICES_LIST))
                End(IDCANCEL);
            return true;
        case IDCANCEL:
            // Esc in the name field never comes here: the field keeps it.
            End(IDCANCEL);
            return true;
        default:
            return false;
    }
}

bool TWinDevice::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
    switch (message) {
        case WM_CLOSE:
            End(IDCANCEL);
            result = 0;
            return true;
        case WM_VKEYTOITEM:
            // The list menu's keys.
            if (LOWORD(wParam) == VK_INSERT) {
                form_.AddClicked();
                result = -2;
                return true;
            }
            if (LOWORD(wParam) == VK_DELETE) {
                form_.DeleteClicked();
                result = -2;
                return true;
            }
            result = -1;
            return true;
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(wParam) != Item(IDC_DEVICES_LIST)) return false;
            ShowMenu(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            result = 0;
            return true;
        default:
            return false;
    }
}

LRESULT CALLBACK TWinDevice::NameProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                           DWORD_PTR self) {
    switch (message) {
        case WM_GETDLGCODE: {
            // The dialog manager would make Esc the dialog's Cancel: the field asks for it.
            const auto* msg = reinterpret_cast<const MSG*>(lParam);
            const LRESULT code = DefSubclassProc(hwnd, message, wParam, lParam);
            if (msg != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE)
                return code | DLGC_WANTMESSAGE;
            return code;
        }
        case WM_KEYDOWN:
            if (wParam != VK_ESCAPE) break;
            reinterpret_cast<TWinDevice*>(self)->form_.NameEscaped();
            return 0;
        case WM_CHAR:
            if (wParam == VK_ESCAPE) return 0;  // no beep for the key the field took
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, NameProcedure, 1);
            break;
        default:
            break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

void TWinDevice::ShowMenu(POINT at) {
    const TUniqueMenu menu(LoadMenuW(ModuleInstance(), MAKEINTRESOURCEW(IDM_DEVICES)));
    if (!menu) return;
    const HMENU popup = GetSubMenu(menu.get(), 0);
    const auto state = [this](int id) { return IsWindowEnabled(Item(id)) ? MF_ENABLED : MF_GRAYED; };
    EnableMenuItem(popup, IDM_DEVICES_ADD, MF_BYCOMMAND | state(IDC_DEVICES_ADD));
    EnableMenuItem(popup, IDM_DEVICES_DELETE, MF_BYCOMMAND | state(IDC_DEVICES_DELETE));
    if (at.x == -1 && at.y == -1) {
        // From the keyboard: at the list's corner.
        RECT r{};
        GetWindowRect(Item(IDC_DEVICES_LIST), &r);
        at = POINT{r.left, r.top};
    }
    TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, Handle(), nullptr);
}

void TWinDevice::ShowDevices(const std::vector<std::string>& entries, int current) {
    Send(IDC_DEVICES_LIST, LB_RESETCONTENT);
    for (const std::string& entry : entries)
        Send(IDC_DEVICES_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(entry).c_str()));
    Send(IDC_DEVICES_LIST, LB_SETCURSEL, static_cast<WPARAM>(current));
}

void TWinDevice::ShowEntry(int row, const std::string& text) {
    const bool selected = SelectedRow() == row;
    Send(IDC_DEVICES_LIST, LB_DELETESTRING, static_cast<WPARAM>(row));
    Send(IDC_DEVICES_LIST, LB_INSERTSTRING, static_cast<WPARAM>(row),
         reinterpret_cast<LPARAM>(Wide(text).c_str()));
    if (selected) Send(IDC_DEVICES_LIST, LB_SETCURSEL, static_cast<WPARAM>(row));
}

int TWinDevice::SelectedRow() const {
    return static_cast<int>(Send(IDC_DEVICES_LIST, LB_GETCURSEL));
}

void TWinDevice::ShowName(const std::string& name) {
    loading_ = true;
    SetText(IDC_DEVICES_NAME, name);
    loading_ = false;
}

void TWinDevice::EnableAdd(bool enabled) {
    Enable(IDC_DEVICES_ADD, enabled);
}

void TWinDevice::EnableDelete(bool enabled) {
    Enable(IDC_DEVICES_DELETE, enabled);
}

bool ShowWinDevices(const TDriverCalls& driver, HWND owner) {
    TWinDevice dialog(driver);
    dialog.ShowModal(owner);
    return dialog.Changed();
}
