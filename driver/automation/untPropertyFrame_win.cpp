#include "driver/automation/untDialogs.h"

#include <olectl.h>

#include "common/platform/TextFormat.h"
#include "common/platform/Win32Support.h"
#include "driver/automation/oleRegister.h"
#include "driver/base/untError.h"

// The system's property frame, which makes each page by its class through the registration (the page class
// is served by this server and its objects by the dialogs module). The module is loaded first, so that a
// missing one is told as such, not as a page that could not be made.
LONG ShowPropertyFrame(IUnknown* object, const std::vector<CLSID>& pageClasses, LONG x, LONG y) {
    const TDialogsModule& module = LoadDialogsModule();
    std::vector<CLSID> pages;
    for (const CLSID& clsid : pageClasses)
        if (IsEqualGUID(clsid, CLSID_TesselDrvPage))
            pages.push_back(clsid);  // the only page class this server has
    if (pages.empty()) throw EDriverError(E_UNKNOWN, "У драйвера нет страниц свойств");
    IUnknown* objects[] = {object};
    const std::wstring caption = tessel::win::Widen("Драйвер ККМ");
    const HRESULT hr = ::OleCreatePropertyFrame(
        ::GetActiveWindow(), static_cast<UINT>(x), static_cast<UINT>(y), caption.c_str(), 1, objects,
        static_cast<ULONG>(pages.size()), pages.data(), LOCALE_USER_DEFAULT, 0, nullptr);
    if (FAILED(hr))
        throw EDriverError(
            E_UNKNOWN, module.LastError(tessel::FormatText(
                           "Не удалось показать окно свойств драйвера: 0x%08X", static_cast<unsigned>(hr))));
    // The system's frame does not tell OK from Cancel; the page has written its values on OK or "Применить".
    return 1;
}
