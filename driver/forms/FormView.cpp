#include "driver/forms/FormView.h"

#include <stdexcept>

const char* const kDriverCaption = "Драйвер ККМ";

std::string ErrorText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Неизвестная ошибка";
    }
}

bool ShowErrors(IFormView& view, const std::function<void()>& action) {
    try {
        action();
        return true;
    } catch (...) {
        view.ShowError(ErrorText(std::current_exception()));
        return false;
    }
}

bool RunAction(IFormView& view, const std::function<void()>& action) {
    view.SetBusy(true);
    const bool done = ShowErrors(view, action);
    view.SetBusy(false);
    return done;
}
