#include "driver/automation/untDialogs.h"

#include "common/com/ComPtr.h"
#include "common/platform/TextFormat.h"
#include "driver/automation/oleRegister.h"
#include "driver/base/untError.h"

// The frame is the dialogs module's: the system has none. The pages come from the module too, through the
// page class's object.
LONG ShowPropertyFrame(IUnknown* object, const std::vector<CLSID>& pageClasses, LONG x, LONG y) {
    const TDialogsModule& module = LoadDialogsModule();
    if (module.frame == nullptr)
        throw EDriverError(E_UNKNOWN, "Модуль диалогов драйвера не содержит функции " +
                                          std::string(kPropertyFrameExport) + ": " + DialogsModulePath());
    std::vector<tessel::ComPtr<IPropertyPage>> pages;
    for (const CLSID& clsid : pageClasses) {
        if (!IsEqualGUID(clsid, CLSID_TesselDrvPage)) continue;  // the only page class this server has
        tessel::ComPtr<IClassFactory> factory;
        HRESULT hr = GetPropertyPageClassObject(IID_IClassFactory, factory.PutVoid());
        tessel::ComPtr<IPropertyPage> page;
        if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, IID_IPropertyPage, page.PutVoid());
        if (FAILED(hr))
            throw EDriverError(E_UNKNOWN, module.LastError(tessel::FormatText(
                                              "Не удалось создать страницу свойств драйвера: 0x%08X",
                                              static_cast<unsigned>(hr))));
        pages.push_back(std::move(page));
    }
    if (pages.empty()) throw EDriverError(E_UNKNOWN, "У драйвера нет страниц свойств");
    std::vector<IPropertyPage*> raw;
    for (const auto& page : pages) raw.push_back(page.Get());
    IUnknown* objects[] = {object};
    LONG accepted = 0;
    const LONG code =
        module.frame(0, x, y, 1, objects, static_cast<ULONG>(raw.size()), raw.data(), &accepted);
    if (code != 0) throw EDriverError(code, module.LastError(GetResultDescription(code)));
    return accepted;
}
