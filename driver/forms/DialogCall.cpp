#include "driver/forms/DialogCall.h"

#include <cstring>
#include <exception>

#include "common/platform/TextFormat.h"
#include "driver/base/untError.h"

namespace {

thread_local std::string t_lastError;

}  // namespace

LONG GuardedDialogWork(void (*work)(void* context), void* context) {
    t_lastError.clear();
    try {
        work(context);
        return 0;
    } catch (const EDriverError& e) {
        t_lastError = e.what();
        return e.ErrorCode() != 0 ? e.ErrorCode() : E_UNKNOWN;
    } catch (const std::exception& e) {
        t_lastError = e.what();
    } catch (...) {
        t_lastError = "Неизвестная ошибка";
    }
    return E_UNKNOWN;
}

const char* DialogError() {
    return t_lastError.c_str();
}

void ShowDialogFromTable(std::span<const TDialogEntry> table, const char* name, ITesselDriver* driver,
                         LONG parentWnd, LONG* accepted, void (*prepare)()) {
    if (name == nullptr || driver == nullptr || accepted == nullptr)
        throw EDriverError(E_UNKNOWN, "Диалог вызван без драйвера");
    for (const TDialogEntry& entry : table) {
        if (std::strcmp(entry.name, name) != 0) continue;
        if (prepare != nullptr) prepare();
        *accepted = entry.show({driver, parentWnd});
        return;
    }
    throw EDriverError(E_UNKNOWN,
                       tessel::FormatText("Диалог «%s» не входит в модуль диалогов драйвера", name));
}
