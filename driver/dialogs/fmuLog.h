#pragma once
// TfmLog ("Параметры лога"): switches the driver's exchange log on or off and chooses its file.

#include <QString>

#include "driver/forms/DialogCall.h"
#include "driver/dialogs/MyForm.h"

class QCheckBox;
class QLineEdit;

class TfmLog : public TMyForm {
  public:
    explicit TfmLog(QWidget* parent);

    void SetValues(bool enabled, const QString& fileName);
    bool LogEnabled() const;
    QString FileName() const;

    // The filter of the file dialog that "..." opens.
    static const char* const kFilter;

    // OK: refused, with the reason shown, while the log is to be kept in, or moved to, a file that cannot be
    // written.
    void accept() override;

  private:
    void ChooseFile();

    QCheckBox* chbLogEnabled_ = nullptr;
    QLineEdit* edtFileName_ = nullptr;
    QString openedName_;  // the file the dialog opened with
};

// Loads LogEnabled and LogFileName into TfmLog, shows it modally over ParentWnd and on OK writes LogEnabled,
// then LogFileName. 1 for OK, 0 otherwise; a failing driver call throws.
LONG ShowLogDialog(const TDialogCall& call);
