#pragma once
// TfmStatus ("Состояние ККМ и ФП"): the register's and the fiscal memory's status as lines of "label : value"
// in a fixed-width font, the labels padded so that the colons line up.

#include "driver/calls/DriverCalls.h"
#include "driver/forms/DialogCall.h"
#include "driver/dialogs/MyForm.h"

class QPlainTextEdit;
class QPushButton;

class TfmStatus : public TMyForm {
  public:
    TfmStatus(QWidget* parent, const TDriverCalls& driver);

  private:
    // Empties the text, asks the register and adds the lines; an error stops it and is shown.
    void ECRStatus();
    void FMStatus();
    void AddLine(const char* label, const QString& value);
    void AddLine(const char* label, const std::string& value);

    const TDriverCalls& driver_;
    QPlainTextEdit* memo_ = nullptr;
    QList<QWidget*> actions_;
};

// Shows TfmStatus modally over ParentWnd; 1 when closed with OK.
LONG ShowStatusDialog(const TDialogCall& call);
