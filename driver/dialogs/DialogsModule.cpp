// The entry points of libTesselDrvUi.so. Nothing may leave them as an exception: a failure is a result code
// (or an HRESULT) with its text kept for TesselDialogError.
#include "driver/dialogs/DialogsModule.h"

#include <exception>
#include <string>

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
    return GuardedDialogWork(
        [&] { ShowDialogFromTable(DialogTable(), name, driver, parentWnd, accepted, PrepareDialogThread); });
}

const char* TesselDialogError() {
    return DialogError();
}

HRESULT TesselCreatePropertyPage(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    HRESULT hr = E_FAIL;
    GuardedDialogWork([&] { hr = TPageObject::Create(riid, ppv); });
    return hr;
}

LONG TesselPropertyFrame(LONG ownerWnd, LONG x, LONG y, ULONG objectCount, IUnknown** objects,
                         ULONG pageCount, IPropertyPage** pages, LONG* accepted) {
    if (accepted != nullptr) *accepted = 0;
    return GuardedDialogWork([&] {
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
