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
#include "driver/dialogs/fmuService.h"
#include "driver/dialogs/fmuStatus.h"
#include "driver/search/fmuSearch.h"
#include "driver/tables/fmuTables.h"

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

// Runs one entry point's work; a failure becomes a negative code and the thread's last error.
template <typename Work>
LONG Guarded(Work&& work) {
    t_lastError.clear();
    try {
        return work();
    } catch (const EDriverError& e) {
        t_lastError = e.what();
        return e.ErrorCode() < 0 ? e.ErrorCode() : E_UNKNOWN;
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

LONG TesselShowDialog(const char* name, ITesselDriver* driver, LONG parentWnd) {
    return Guarded([&]() -> LONG {
        if (name == nullptr || driver == nullptr) throw EDriverError(E_UNKNOWN, "Диалог вызван без драйвера");
        for (const TDialogEntry& entry : DialogTable()) {
            if (std::strcmp(entry.name, name) != 0) continue;
            PrepareDialogThread();
            return entry.show({driver, parentWnd});
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
    Guarded([&]() -> LONG {
        hr = TPageObject::Create(riid, ppv);
        return 0;
    });
    return hr;
}

LONG TesselPropertyFrame(LONG ownerWnd, LONG x, LONG y, ULONG objectCount, IUnknown** objects,
                         ULONG pageCount, IPropertyPage** pages) {
    return Guarded([&]() -> LONG {
        PrepareDialogThread();
        return ShowFrame(ownerWnd, QPoint(x, y), std::span(objects, objectCount),
                         std::span(pages, pageCount));
    });
}

}  // extern "C"

// The declarations the driver loads by name must match these definitions.
static_assert(std::is_same_v<decltype(&TesselShowDialog), TTesselShowDialog>);
static_assert(std::is_same_v<decltype(&TesselDialogError), TTesselDialogError>);
static_assert(std::is_same_v<decltype(&TesselCreatePropertyPage), TTesselCreatePropertyPage>);
static_assert(std::is_same_v<decltype(&TesselPropertyFrame), TTesselPropertyFrame>);
