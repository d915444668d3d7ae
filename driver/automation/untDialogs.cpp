#include "driver/automation/untDialogs.h"

#include <filesystem>
#include <mutex>

#include "common/com/ComPtr.h"
#include "common/platform/Module.h"
#include "common/platform/TextFormat.h"
#include "driver/automation/oleRegister.h"
#include "driver/automation/untClassFactory.h"
#include "driver/base/untError.h"

namespace {

std::string LoadedFromDirectory() {
    try {
        return std::filesystem::path(tessel::ModulePathOf(reinterpret_cast<const void*>(&DialogsModulePath)))
            .parent_path()
            .string();
    } catch (const std::exception&) {
        return {};
    }
}

// Taken while the library is being loaded: the loader keeps the name the host gave it, which may be relative
// to the folder the host is in at that moment and no other.
const std::string g_ownDirectory = LoadedFromDirectory();

template <typename Function>
Function Export(void* module, const char* name, const std::string& path) {
    void* symbol = tessel::ModuleExport(module, name);
    if (symbol == nullptr)
        throw EDriverError(E_UNKNOWN,
                           "Модуль диалогов драйвера не содержит функции " + std::string(name) + ": " + path);
    return reinterpret_cast<Function>(symbol);
}

// The class object of the property page class. The page is a window, so its objects are made by the dialogs
// module; the server only hands them out.
class TPageFactory final : public TClassFactory {
  public:
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        try {
            return LoadDialogsModule().createPage(riid, ppv);
        } catch (const std::exception&) {
            return E_FAIL;
        }
    }
};

TPageFactory g_pageFactory;

}  // namespace

std::string TDialogsModule::LastError(const std::string& fallback) const {
    const char* text = error != nullptr ? error() : nullptr;
    return text != nullptr && *text != '\0' ? std::string(text) : fallback;
}

std::string DialogsModulePath() {
    return (std::filesystem::path(g_ownDirectory) / tessel::ModuleFileName("TesselDrvUi")).string();
}

const TDialogsModule& LoadDialogsModule() {
    static std::mutex lock;
    static TDialogsModule module;
    std::lock_guard guard(lock);
    if (module.show != nullptr) return module;
    const std::string path = DialogsModulePath();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        throw EDriverError(E_UNKNOWN, "Модуль диалогов драйвера не установлен: " + path);
    std::string why;
    void* handle = tessel::LoadModule(path, why);
    if (handle == nullptr)
        throw EDriverError(E_UNKNOWN, "Не удалось загрузить модуль диалогов драйвера: " + why);
    // A module that lacks an export stays loaded but unused: nothing of it has run.
    TDialogsModule loaded;
    loaded.error = Export<TTesselDialogError>(handle, kDialogErrorExport, path);
    loaded.createPage = Export<TTesselCreatePropertyPage>(handle, kCreatePropertyPageExport, path);
    loaded.frame = Export<TTesselPropertyFrame>(handle, kPropertyFrameExport, path);
    loaded.show = Export<TTesselShowDialog>(handle, kShowDialogExport, path);
    module = loaded;
    return module;
}

HRESULT GetPropertyPageClassObject(REFIID riid, void** ppv) {
    return g_pageFactory.QueryInterface(riid, ppv);
}

LONG ShowPropertyFrame(IUnknown* object, const std::vector<CLSID>& pageClasses, LONG x, LONG y) {
    const TDialogsModule& module = LoadDialogsModule();
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
