#pragma once
// TfmSearchParams ("Свойства поиска"): the Qt window of the search parameters (TSearchParamsForm does what
// it does).

#include "driver/dialogs/MyForm.h"
#include "driver/forms/SearchParamsForm.h"

class QListWidget;

class TfmSearchParams final : public TMyForm, private ISearchParamsView {
  public:
    explicit TfmSearchParams(QWidget* parent);

    // Shows `params` in the lists and lets the user change them; on OK the checks go back into `params` and
    // the result is true.
    bool Edit(TSearchParams& params);

  private:
    // ISearchParamsView
    void SetBusy(bool busy) override;
    void ShowError(const std::string& text) override;
    void ShowList(TSearchList list, const std::vector<TSearchItem>& items) override;
    std::vector<bool> Checks(TSearchList list) const override;

    QListWidget* ListOf(TSearchList list) const;

    TSearchParamsForm form_{*this};
    QListWidget* lbPorts_ = nullptr;
    QListWidget* lbBaudRates_ = nullptr;
    QListWidget* lbECRTypes_ = nullptr;
};
