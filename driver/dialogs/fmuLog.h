#pragma once
// TfmLog ("Параметры лога"): the window of TLogForm, which switches the driver's exchange log on or off and
// chooses its file.

#include <QString>

#include "driver/client/DriverCalls.h"
#include "driver/dialogs/MyForm.h"
#include "driver/forms/DialogCall.h"
#include "driver/forms/LogForm.h"

class QCheckBox;
class QLineEdit;

class TfmLog : public TMyForm, private ILogView {
  public:
    TfmLog(QWidget* parent, const TDriverCalls& driver);

    TLogForm& Form() { return form_; }

    // OK: refused while the form refuses it.
    void accept() override;

  private:
    // ILogView
    void SetBusy(bool busy) override;
    void ShowError(const std::string& text) override;
    void ShowLogEnabled(bool enabled) override;
    void ShowFileName(const std::string& name) override;
    bool LogEnabled() const override;
    std::string FileName() const override;
    std::optional<std::string> AskFileName(const std::string& filter, const std::string& start) override;
    void FocusFileName() override;

    TLogForm form_;
    QCheckBox* chbLogEnabled_ = nullptr;
    QLineEdit* edtFileName_ = nullptr;
};

// Fills TfmLog from LogEnabled and LogFileName, shows it modally over ParentWnd and on OK writes LogEnabled,
// then LogFileName. 1 for OK, 0 otherwise; a failing driver call throws.
LONG ShowLogDialog(const TDialogCall& call);
