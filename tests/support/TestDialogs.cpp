// A stand-in for the driver's dialogs module, placed beside a copy of the driver by the server tests: every
// dialog closes at once with the answer TESSEL_TEST_DIALOG_ANSWER names (1, closed with OK, when unset; 0
// closed otherwise; any other value is the result code of a dialog that failed). The module's other entry
// points are there, as the driver loads them all, and refuse.
#include <cstdlib>
#include <type_traits>

#include "driver/automation/untDialogs.h"

#define TESSEL_TEST_EXPORT extern "C" __attribute__((visibility("default")))

TESSEL_TEST_EXPORT LONG TesselShowDialog(const char*, ITesselDriver*, LONG, LONG* accepted) {
    const char* text = std::getenv("TESSEL_TEST_DIALOG_ANSWER");
    const LONG answer = text != nullptr ? static_cast<LONG>(std::atol(text)) : 1;
    const bool shown = answer == 0 || answer == 1;
    *accepted = shown ? answer : 0;
    return shown ? 0 : answer;
}

TESSEL_TEST_EXPORT const char* TesselDialogError() {
    return "";  // the driver then reports the text of the code
}

TESSEL_TEST_EXPORT HRESULT TesselCreatePropertyPage(REFIID, void** ppv) {
    if (ppv != nullptr) *ppv = nullptr;
    return E_NOTIMPL;
}

TESSEL_TEST_EXPORT LONG TesselPropertyFrame(LONG, LONG, LONG, ULONG, IUnknown**, ULONG, IPropertyPage**,
                                            LONG* accepted) {
    return TesselShowDialog("Properties", nullptr, 0, accepted);
}

static_assert(std::is_same_v<decltype(&TesselShowDialog), TTesselShowDialog>);
static_assert(std::is_same_v<decltype(&TesselDialogError), TTesselDialogError>);
static_assert(std::is_same_v<decltype(&TesselCreatePropertyPage), TTesselCreatePropertyPage>);
static_assert(std::is_same_v<decltype(&TesselPropertyFrame), TTesselPropertyFrame>);
