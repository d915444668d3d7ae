#pragma once
// The search parameters window ("Свойства поиска"): the ports, speeds and kinds of register a search tries,
// as three check lists, each with "check all" and "uncheck all", and the default lists. The window works on
// a copy of the caller's parameters and gives the checks back only on OK.

#include <vector>

#include "driver/forms/FormView.h"
#include "driver/search/untSearchParams.h"

class ISearchParamsView : public IFormView {
  public:
    // Fills the check list of `list` with `items` and their check states, keeping its current row.
    virtual void ShowList(TSearchList list, const std::vector<TSearchItem>& items) = 0;
    // The check states the user left in the list of `list`, in the order of its items.
    virtual std::vector<bool> Checks(TSearchList list) const = 0;
};

class TSearchParamsForm {
  public:
    explicit TSearchParamsForm(ISearchParamsView& view) : view_(view) {}

    // Before the window shows: a copy of `params` in the three lists.
    void Show(const TSearchParams& params);
    // "Выбрать все" (true) or "Сбросить все" (false) beside the list of `list`.
    void CheckAll(TSearchList list, bool checked);
    // "По умолчанию": the default lists, shown at once.
    void SetDefaults();
    // OK: the checks of the lists go into the copy and from it into `params`.
    void Accept(TSearchParams& params);

    const TSearchParams& Params() const { return params_; }

  private:
    void ShowLists();
    // The checks the user made in the lists, into the copy.
    void TakeChecks();

    ISearchParamsView& view_;
    TSearchParams params_;
};
