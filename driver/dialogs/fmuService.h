#pragma once
// TfmService ("Управление ККМ"): the window of TServiceForm, which sets the register's date and time,
// initialises its tables and opens the status dialog.

#include "driver/client/DriverCalls.h"
#include "driver/dialogs/MyForm.h"
#include "driver/forms/DialogCall.h"
#include "driver/forms/ServiceForm.h"

class QDateEdit;
class QTimeEdit;
class QTimer;

class TfmService : public TMyForm, private IServiceView {
  public:
    TfmService(QWidget* parent, const TDriverCalls& driver);

  protected:
    // A key in a picker starts the user's edit: from then on the picker no longer follows the clock, even
    // while the text typed so far is not a whole time yet.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // IServiceView
    void SetBusy(bool busy) override;
    void ShowError(const std::string& text) override;
    void ShowDate(TDateTime value) override;
    void ShowTime(TDateTime value) override;
    TDateTime PickedDate() const override;
    TDateTime PickedTime() const override;
    void StartClockTimer(int ms) override;
    void StopClockTimer() override;
    LONG WindowHandle() const override;

    TServiceForm form_;
    QDateEdit* dtpDate_ = nullptr;
    QTimeEdit* dtpTime_ = nullptr;
    QTimer* clockTimer_ = nullptr;
    QList<QWidget*> actions_;
};

// Shows TfmService modally over ParentWnd; 1 when closed with OK.
LONG ShowServiceDialog(const TDialogCall& call);
