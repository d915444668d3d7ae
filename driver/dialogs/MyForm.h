#pragma once
// TMyForm: the base of the driver's dialogs. It takes the dialog font from the settings store and shows
// errors in a message box captioned "Драйвер ККМ". TOwner: the window that owns a dialog, given as the native
// window handle that the driver's ParentWnd carries.

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QList>
#include <QPointer>
#include <QWindow>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "common/com/ComTypes.h"
#include "driver/forms/FontSettings.h"
#include "driver/forms/FormView.h"

class QPushButton;

// The Qt font and text colour of the dialog font settings.
QFont DialogFont(const TFontSettings& settings);
QColor DialogColor(const TFontSettings& settings);

// The owner of a dialog: a window of this process (the dialog becomes its child window), a window of
// another (made the transient parent of the dialog's window), or none.
class TOwner {
  public:
    // The window with native handle `handle`; 0 gives none.
    static TOwner FromHandle(LONG handle);
    // The calling thread's active window, or none.
    static TOwner ActiveWindow();

    TOwner() = default;
    TOwner(TOwner&&) = default;
    TOwner& operator=(TOwner&&) = default;
    ~TOwner();

    // The owner's widget when it lives in this process.
    QWidget* Widget() const { return widget_; }
    // Makes a window of another process the transient parent of `dialog`; nothing for the other cases.
    void Attach(QWidget& dialog) const;
    // The point `offset` from the owner's top left corner, in screen coordinates; `offset` itself without
    // an owner of this process.
    QPoint MapToScreen(const QPoint& offset) const;

  private:
    QPointer<QWidget> widget_;
    std::unique_ptr<QWindow> foreign_;
};

class TMyForm : public QDialog {
  public:
    // A dialog owned by `parent` (none: a window of its own) with the dialog font.
    explicit TMyForm(QWidget* parent);

    // A message box owned by the active window with `text`, the caption "Драйвер ККМ" and an error icon.
    static void ShowError(const QString& text);
    static void ShowError(const std::exception& error);

  protected:
    // Runs an action of the user: `buttons` are disabled while it runs and enabled again in every case. An
    // error is shown with ShowError and leaves the dialog open.
    void RunAction(const QList<QWidget*>& buttons, const std::function<void()>& action);
    // Keeps the size the dialog opens with (a fixed dialog border).
    void FixSize();
    // Moves the dialog to the centre of its screen.
    void CentreOnScreen();
};

// A push button named `name` (for tests and screenshots to find it) that Enter in another control never
// clicks.
QPushButton* NewButton(QWidget* parent, const char* name, const char* text);

// Runs `action`, shows an error with TMyForm::ShowError; for handlers of windows that are no TMyForm.
void ShowErrors(const std::function<void()>& action);
