#pragma once
// TfmSearchParams ("Свойства поиска"): the ports, speeds and kinds of register a search tries, as three
// check lists, each with "check all" and "uncheck all", and the default lists.

#include "driver/dialogs/MyForm.h"
#include "driver/search/untSearchParams.h"

class QListWidget;

class TfmSearchParams final : public TMyForm {
  public:
    explicit TfmSearchParams(QWidget* parent);

    // Shows `params` in the lists and lets the user change them; on OK the checks go back into `params` and
    // the result is true.
    bool Edit(TSearchParams& params);

  private:
    QListWidget* ListOf(TSearchList list) const;
    // The lists show the window's own copy of the parameters.
    void ShowParams();
    void TakeChecks();

    TSearchParams params_;
    QListWidget* lbPorts_ = nullptr;
    QListWidget* lbBaudRates_ = nullptr;
    QListWidget* lbECRTypes_ = nullptr;
};
