#pragma once
// TfmAbout: the About box of the driver, "Драйвер ККМ" and its version.

#include <QString>

#include "driver/forms/DialogCall.h"
#include "driver/dialogs/MyForm.h"

class QLabel;

class TfmAbout : public TMyForm {
  public:
    TfmAbout(QWidget* parent, const QString& version);
};

// Shows the box modally over the calling thread's active window; always 1.
LONG ShowAboutDialog(const TDialogCall& call);
