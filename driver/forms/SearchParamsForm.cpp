#include "driver/forms/SearchParamsForm.h"

namespace {

constexpr TSearchList kLists[] = {TSearchList::Ports, TSearchList::BaudRates, TSearchList::ECRTypes};

}  // namespace

void TSearchParamsForm::Show(const TSearchParams& params) {
    params_.Assign(params);
    ShowLists();
}

void TSearchParamsForm::CheckAll(TSearchList list, bool checked) {
    // The other lists keep what the user changed in them.
    TakeChecks();
    params_.SetAll(list, checked);
    ShowLists();
}

void TSearchParamsForm::SetDefaults() {
    params_.SetDefaults();
    ShowLists();
}

void TSearchParamsForm::Accept(TSearchParams& params) {
    TakeChecks();
    params.Assign(params_);
}

void TSearchParamsForm::ShowLists() {
    for (const TSearchList list : kLists) view_.ShowList(list, params_.Items(list));
}

void TSearchParamsForm::TakeChecks() {
    for (const TSearchList list : kLists) {
        const std::vector<bool> checks = view_.Checks(list);
        // A view that shows fewer rows leaves the rest as they were.
        for (std::size_t i = 0; i < checks.size() && i < params_.Count(list); ++i)
            params_.SetChecked(list, i, checks[i]);
    }
}
