#pragma once
// TfmService ("Управление ККМ"): sets the register's date and time, initialises its tables and opens the
// status dialog.

#include "driver/dialogs/DialogsModule.h"
#include "driver/dialogs/DriverCalls.h"
#include "driver/dialogs/MyForm.h"

class QDateEdit;
class QTimeEdit;

class TfmService : public TMyForm {
  public:
    TfmService(QWidget* parent, const TDriverCalls& driver);

  private:
    void Run(const std::function<void()>& action);
    void FromPC();

    const TDriverCalls& driver_;
    QDateEdit* dtpDate_ = nullptr;
    QTimeEdit* dtpTime_ = nullptr;
    QList<QWidget*> actions_;
};

// Shows TfmService modally over ParentWnd; 1 when closed with OK.
LONG ShowServiceDialog(const TDialogCall& call);
