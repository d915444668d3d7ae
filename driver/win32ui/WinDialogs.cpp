// The entry points of the Win32 dialogs and their table of dialogs. Nothing may leave an entry point as an
// exception: a failure is a result code (or an HRESULT) with its text kept for the driver to ask.
#include <windows.h>

#include <span>

#include "driver/automation/untDialogs.h"
#include "driver/forms/DialogCall.h"
#include "driver/win32ui/WinAbout.h"
#include "driver/win32ui/WinForm.h"
#include "driver/win32ui/WinPageObject.h"

namespace {

// One row per dialog, sorted by name.
// clang-format off
const TDialogEntry kDialogs[] = {
    {"About", ShowWinAbout},
};
// clang-format on

LONG ShowDialog(const char* name, ITesselDriver* driver, LONG parentWnd, LONG* accepted) {
    if (accepted != nullptr) *accepted = 0;
    return GuardedDialogWork(
        [&] { ShowDialogFromTable(kDialogs, name, driver, parentWnd, accepted, PrepareWindowsThread); });
}

HRESULT CreatePropertyPage(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    HRESULT hr = E_FAIL;
    GuardedDialogWork([&] {
        PrepareWindowsThread();
        hr = CreateWinPageObject(riid, ppv);
    });
    return hr;
}

// The windows are linked whole into the server, whose load hands their entry points to the driver. The
// system has a property frame of its own.
const bool g_linked =
    (SetLinkedDialogs(
         {.show = ShowDialog, .error = DialogError, .createPage = CreatePropertyPage, .frame = nullptr}),
     true);

}  // namespace
