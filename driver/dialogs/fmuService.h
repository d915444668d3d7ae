#pragma once
// TfmService ("Управление ККМ"): sets the register's date and time, initialises its tables and opens the
// status dialog.

#include "driver/forms/DialogCall.h"
#include "driver/calls/DriverCalls.h"
#include "driver/dialogs/MyForm.h"

#include <QDateTime>

class QDateEdit;
class QTimeEdit;
class QTimer;

// The two pickers follow a running clock, the computer's or the register's as "Из ККМ" read it, each until
// the user edits it: "Установить время" then sends the time of the click, not the time the dialog opened.
class TfmService : public TMyForm {
  public:
    TfmService(QWidget* parent, const TDriverCalls& driver);

  protected:
    // A key in a picker starts the user's edit: from then on the picker no longer follows the clock, even
    // while the text typed so far is not a whole time yet.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Run(const std::function<void()>& action);
    // Both pickers follow the computer's clock moved by `offsetMs`.
    void FollowClock(qint64 offsetMs);
    // The followed clock now.
    QDateTime ClockNow() const;
    // Shows the clock in the pickers that follow it, and waits for its next second.
    void ShowClock();
    // What the picker holds: the clock now while it follows it.
    QDate ChosenDate() const;
    QTime ChosenTime() const;

    const TDriverCalls& driver_;
    QDateEdit* dtpDate_ = nullptr;
    QTimeEdit* dtpTime_ = nullptr;
    QTimer* clockTimer_ = nullptr;
    qint64 clockOffsetMs_ = 0;
    bool dateFollows_ = false;
    bool timeFollows_ = false;
    QList<QWidget*> actions_;
};

// Shows TfmService modally over ParentWnd; 1 when closed with OK.
LONG ShowServiceDialog(const TDialogCall& call);
