// The entry points of libTesselDrvUi.so. Nothing may leave them as an exception: a failure is a result code
// (or an HRESULT) with its text kept for TesselDialogError.
#include "driver/dialogs/DialogsModule.h"

#include <cstring>
#include <exception>
#include <string>

#include "common/platform/TextFormat.h"
#include "common/qt/MessageQueueBridge.h"
#include "common/qt/QtBootstrap.h"
#include "driver/automation/untDialogs.h"
#include "driver/base/untError.h"
#include "driver/dialogs/PageObject.h"
#include "driver/dialogs/PropertyFrame.h"
#include "driver/dialogs/fmuAbout.h"
#include "driver/dialogs/fmuLog.h"
#include "driver/dialogs/fmuSearch.h"
#include "driver/dialogs/fmuService.h"
#include "driver/dialogs/fmuStatus.h"
#include "driver/dialogs/fmuTables.h"

namespace {

// clang-format off
const TDialogEntry kDialogs[] = {
    {"About", ShowAboutDialog},
    {"Log", ShowLogDialog},
    {"Search", ShowSearch},
    {"Service", ShowServiceDialog},
    {"Status", ShowStatusDialog},
    {"Tables", ShowTables},
};
// clang-format on

thread_local std::string t_lastError;

// Runs one entry point's work: 0, or the failure's code with its text as the thread's last error. A driver
// error keeps its code, the register's own codes too (a refused status request is the register's answer,
// not the driver's failure).
template <typename Work>
LONG Guarded(Work&& work) {
    t_lastError.clear();
    try {
        work();
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

}  // namespace

std::span<const TDialogEntry> DialogTable() {
    return kDialogs;
}

void PrepareDialogThread() {
    tessel::qt::ApplicationForThisThread();
    tessel::qt::MessageQueueBridge::ForCurrentThread();
}

extern "C" {

LONG TesselShowDialog(const char* name, ITesselDriver* driver, LONG parentWnd, LONG* accepted) {
    if (accepted != nullptr) *accepted = 0;
    return Guarded([&] {
        if (name == nullptr || driver == nullptr || accepted == nullptr)
            throw EDriverError(E_UNKNOWN, "Диалог вызван без драйвера");
        for (const TDialogEntry& entry : DialogTable()) {
            if (std::strcmp(entry.name, name) != 0) continue;
            PrepareDialogThread();
            *accepted = entry.show({driver, parentWnd});
            return;
        }
        throw EDriverError(E_UNKNOWN,
                           tessel::FormatText("Диалог «%s» не входит в модуль диалогов драйвера", name));
    });
}

const char* TesselDialogError() {
    return t_lastError.c_str();
}

HRESULT TesselCreatePropertyPage(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    HRESULT hr = E_FAIL;
    Guarded([&] { hr = TPageObject::Create(riid, ppv); });
    return hr;
}

LONG TesselPropertyFrame(LONG ownerWnd, LONG x, LONG y, ULONG objectCount, IUnknown** objects,
                         ULONG pageCount, IPropertyPage** pages, LONG* accepted) {
    if (accepted != nullptr) *accepted = 0;
    return Guarded([&] {
        if (accepted == nullptr) throw EDriverError(E_UNKNOWN, "Неверный вызов окна свойств");
        PrepareDialogThread();
        *accepted =
            ShowFrame(ownerWnd, QPoint(x, y), std::span(objects, objectCount), std::span(pages, pageCount));
    });
}

}  // extern "C"

// The declarations the driver loads by name must match these definitions.
static_assert(std::is_same_v<decltype(&TesselShowDialog), TTesselShowDialog>);
static_assert(std::is_same_v<decltype(&TesselDialogError), TTesselDialogError>);
static_assert(std::is_same_v<decltype(&TesselCreatePropertyPage), TTesselCreatePropertyPage>);
static_assert(std::is_same_v<decltype(&TesselPropertyFrame), TTesselPropertyFrame>);
