#pragma once
// TWinForm: the base of the driver's Win32 dialogs. A dialog is a template of a resource script of this
// module run by a dialog procedure; the base applies the dialog font of the settings store to every control,
// grows the window by the caption height correction, shows errors in a message box captioned "Драйвер ККМ",
// and gives UTF-8 access to the controls. The modal loop is the system's, which dispatches every message of
// the thread, so the driver's events (the queue's hidden window lives on the same thread) still arrive while
// a dialog is open.

#include <windows.h>

#include <string>

#include "driver/forms/FormView.h"

// The module's own instance, for its resources.
HINSTANCE ModuleInstance();

class TWinForm : public IFormView {
  public:
    // A dialog of template `templateId` of this module's resources.
    explicit TWinForm(int templateId);
    ~TWinForm() override;
    TWinForm(const TWinForm&) = delete;
    TWinForm& operator=(const TWinForm&) = delete;

    // Runs the dialog modally over `owner` (none: a window of its own); its end code (IDOK, IDCANCEL or what
    // End was given). Throws std::runtime_error with the system's text when the window cannot be made.
    INT_PTR ShowModal(HWND owner);
    // Makes the dialog as a modeless child of `parent` (a property page). Throws as ShowModal does.
    HWND CreateChild(HWND parent);
    HWND Handle() const { return hwnd_; }

    // IFormView: the buttons of BusyButtons() are disabled while an action runs; errors go to a message box
    // owned by the active window.
    void SetBusy(bool busy) override;
    void ShowError(const std::string& text) override;

    // A message box owned by the active window with `text`, the caption "Драйвер ККМ" and an error icon.
    static void ShowErrorBox(const std::string& text);

  protected:
    // WM_INITDIALOG, after the font was applied; false puts the focus where the procedure set it.
    virtual bool OnInit() { return true; }
    // WM_COMMAND from control `id` with notification `code`; true when handled. IDOK and IDCANCEL end the
    // dialog with their code when not handled.
    virtual bool OnCommand(int id, int code) {
        (void)id;
        (void)code;
        return false;
    }
    // WM_NOTIFY; the result to return from the procedure, or -1 for not handled.
    virtual LRESULT OnNotify(const NMHDR& header) {
        (void)header;
        return -1;
    }
    // Any other message; true when handled (with `result` set).
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
        (void)message;
        (void)wParam;
        (void)lParam;
        (void)result;
        return false;
    }
    // The controls SetBusy disables while an action runs (ids, ended by 0).
    virtual const int* BusyButtons() const { return nullptr; }

    // Ends a modal dialog with `code`.
    void End(INT_PTR code);
    HWND Item(int id) const;
    void SetText(int id, const std::string& utf8) const;
    std::string Text(int id) const;
    void Enable(int id, bool enabled) const;
    void SetChecked(int id, bool checked) const;
    bool Checked(int id) const;
    // Moves the window to the centre of the screen's work area.
    void CentreOnScreen() const;
    // Sends `message` to control `id`.
    LRESULT Send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

  private:
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void ApplyFont();

    int templateId_;
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    COLORREF color_ = 0;
    bool modal_ = false;
};

// UTF-8 to the system's UTF-16 and back, for the windows.
std::wstring Wide(const std::string& utf8);
std::string Narrow(const std::wstring& utf16);

// Makes the calling thread ready for the module's windows: the common control classes registered.
void PrepareWindowsThread();
