#include "driver/win32ui/WinLog.h"

#include <commdlg.h>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "driver/client/DriverCalls.h"
#include "driver/forms/LogForm.h"
#include "driver/win32ui/ServiceIds.h"
#include "driver/win32ui/WinForm.h"

namespace {

// The filter of a system file dialog for "description|patterns|...": the parts separated by NUL, ended by
// two.
std::wstring FileDialogFilter(const std::string& pairs) {
    std::wstring filter = Wide(pairs);
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    filter.append(2, L'\0');
    return filter;
}

class TWinLog final : public TWinForm, private ILogView {
  public:
    explicit TWinLog(const TDriverCalls& driver) : TWinForm(IDD_LOG), form_(driver, *this) {}

    void SetBusy(bool busy) override { TWinForm::SetBusy(busy); }
    void ShowError(const std::string& text) override { TWinForm::ShowError(text); }

    LONG Run(HWND owner) {
        const INT_PTR code = ShowModal(owner);
        if (error_) std::rethrow_exception(error_);
        return code == IDOK ? 1 : 0;
    }

  protected:
    // Nothing may leave the dialog procedure: a failing driver call ends the dialog and Run throws it.
    bool OnInit() override {
        try {
            form_.Fill();
        } catch (...) {
            error_ = std::current_exception();
            End(IDCANCEL);
        }
        return true;
    }

    bool OnCommand(int id, int code) override {
        if (code != BN_CLICKED) return false;
        if (id == IDC_LOG_BROWSE) {
            form_.ChooseFile();
            return true;
        }
        if (id != IDOK) return false;
        if (!form_.Accept()) return true;
        // Written while the window still holds the values.
        try {
            form_.Apply();
        } catch (...) {
            error_ = std::current_exception();
        }
        End(IDOK);
        return true;
    }

  private:
    void ShowLogEnabled(bool enabled) override { SetChecked(IDC_LOG_ENABLED, enabled); }
    void ShowFileName(const std::string& name) override { SetText(IDC_LOG_FILENAME, name); }
    bool LogEnabled() const override { return Checked(IDC_LOG_ENABLED); }
    std::string FileName() const override { return Text(IDC_LOG_FILENAME); }
    std::optional<std::string> AskFileName(const std::string& filter, const std::string& start) override {
        const std::wstring filters = FileDialogFilter(filter);
        std::vector<wchar_t> name(32768, L'\0');
        const std::wstring current = Wide(start);
        if (current.size() < name.size()) std::copy(current.begin(), current.end(), name.begin());
        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof(dialog);
        dialog.hwndOwner = Handle();
        dialog.lpstrFilter = filters.c_str();
        dialog.nFilterIndex = 1;
        dialog.lpstrFile = name.data();
        dialog.nMaxFile = static_cast<DWORD>(name.size());
        dialog.lpstrDefExt = L"log";
        // A log file need not exist yet: any name in a folder that exists.
        dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
        if (!::GetOpenFileNameW(&dialog)) return std::nullopt;
        return Narrow(name.data());
    }
    void FocusFileName() override {
        ::SetFocus(Item(IDC_LOG_FILENAME));
        Send(IDC_LOG_FILENAME, EM_SETSEL, 0, -1);
    }

    TLogForm form_;
    std::exception_ptr error_;  // a driver call that failed while the window was open
};

}  // namespace

LONG ShowWinLog(const TDialogCall& call) {
    const TDriverCalls driver(call.driver);
    TWinLog dialog(driver);
    return dialog.Run(reinterpret_cast<HWND>(static_cast<LONG_PTR>(call.parentWnd)));
}
