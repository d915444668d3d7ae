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

namespace {

std::mutex& ModuleLock() {
    static std::mutex lock;
    return lock;
}

TDialogsModule& Module() {
    static TDialogsModule module;
    return module;
}

}  // namespace

void SetLinkedDialogs(const TDialogsModule& module) {
    std::lock_guard guard(ModuleLock());
    Module() = module;
}

const TDialogsModule& LoadDialogsModule() {
    std::lock_guard guard(ModuleLock());
    TDialogsModule& module = Module();
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
    // Where the system has a property frame of its own, the module has none.
    loaded.frame = reinterpret_cast<TTesselPropertyFrame>(tessel::ModuleExport(handle, kPropertyFrameExport));
    loaded.show = Export<TTesselShowDialog>(handle, kShowDialogExport, path);
    module = loaded;
    return module;
}

HRESULT GetPropertyPageClassObject(REFIID riid, void** ppv) {
    return g_pageFactory.QueryInterface(riid, ppv);
}
