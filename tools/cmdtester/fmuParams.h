#pragma once
// TfmParams ("Параметры"): the command tester's own settings: the answer time-out, whether "Выполнить"
// waits for the answer, and whether a received request is answered from the grid.

#include <QDialog>

#include "tools/testerlib/untCommand.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

class TfmParams : public QDialog {
  public:
    TfmParams(const tessel::cmd::TAppParams& params, QWidget* parent);

    // The settings as the controls hold them; the time-out is valid whenever OK can be pressed.
    tessel::cmd::TAppParams Params() const;
    // Loads the defaults into the controls; the dialog stays open.
    void LoadDefaults();

  private:
    void Show(const tessel::cmd::TAppParams& params);

    QLineEdit* edTimeout_ = nullptr;
    QCheckBox* chbWaitAnswer_ = nullptr;
    QCheckBox* chbSendAnswer_ = nullptr;
    QPushButton* btnOK_ = nullptr;
};
