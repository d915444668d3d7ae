#include "driver/win32ui/WinPageObject.h"

HRESULT CreateWinPageObject(REFIID riid, void** ppv) {
    (void)riid;
    if (ppv != nullptr) *ppv = nullptr;
    return E_NOTIMPL;
}
