#pragma once
// What every dialog of the driver does apart from the toolkit that draws it. A dialog's behaviour (which
// driver members it calls in which order, what it enables, what it shows on a failure, its texts) lives in a
// class of this folder that talks to its window through a view interface; the Qt windows and the Win32
// windows each implement the views and hold no behaviour of their own.

#include <exception>
#include <functional>
#include <string>

// "Драйвер ККМ": the caption of the error boxes and of the property page.
extern const char* const kDriverCaption;

// What every dialog's window offers its behaviour.
class IFormView {
  public:
    virtual ~IFormView() = default;
    // Disables (true) the dialog's action buttons while an action runs, or enables them again (false).
    virtual void SetBusy(bool busy) = 0;
    // A message box owned by the active window with `text`, the caption "Драйвер ККМ" and an error icon;
    // returns when the user closed it.
    virtual void ShowError(const std::string& text) = 0;
};

// The text an error shows: what() of a standard exception, "Неизвестная ошибка" for anything else.
std::string ErrorText(const std::exception_ptr& error);

// Runs an action of the user on `view`: its buttons are disabled while it runs and enabled again in every
// case; an error is shown with ShowError and leaves the dialog open. False when the action failed.
bool RunAction(IFormView& view, const std::function<void()>& action);

// Runs `action` and shows an error with `view`.ShowError, without touching the buttons: for handlers that
// are no action (a list's selection, a text's change).
bool ShowErrors(IFormView& view, const std::function<void()>& action);
