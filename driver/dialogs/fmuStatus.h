#pragma once
// TfmStatus ("Состояние ККМ и ФП"): the window of TStatusForm, the register's and the fiscal memory's status
// as lines of "label : value" in a fixed-width font.

#include "driver/client/DriverCalls.h"
#include "driver/dialogs/MyForm.h"
#include "driver/forms/DialogCall.h"
#include "driver/forms/StatusForm.h"

class QPlainTextEdit;

// The system's short formats as the Qt windows show them.
class TQtDateTimeFormat : public IDateTimeFormat {
  public:
    std::string DateText(TDateTime value) const override;
    std::string TimeText(TDateTime value) const override;
};

class TfmStatus : public TMyForm, private IStatusView {
  public:
    TfmStatus(QWidget* parent, const TDriverCalls& driver);

  private:
    // IStatusView
    void SetBusy(bool busy) override;
    void ShowError(const std::string& text) override;
    void ClearLines() override;
    void AddLine(const std::string& line) override;
    const IDateTimeFormat& DateTimeFormat() const override { return format_; }

    TStatusForm form_;
    TQtDateTimeFormat format_;
    QPlainTextEdit* memo_ = nullptr;
    QList<QWidget*> actions_;
};

// Shows TfmStatus modally over ParentWnd; 1 when closed with OK.
LONG ShowStatusDialog(const TDialogCall& call);
