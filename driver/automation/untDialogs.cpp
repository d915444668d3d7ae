#include "driver/automation/untDialogs.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>

#include "driver/engine/untError.h"

namespace {

std::string OwnModuleDirectory() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<const void*>(&DialogsModulePath), &info) == 0 || info.dli_fname == nullptr)
        return {};
    std::error_code ec;
    const auto path = std::filesystem::canonical(info.dli_fname, ec);
    return ec ? std::filesystem::path(info.dli_fname).parent_path().string() : path.parent_path().string();
}

}  // namespace

std::string DialogsModulePath() {
    return (std::filesystem::path(OwnModuleDirectory()) / "libTesselDrvUi.so").string();
}

TTesselShowDialog LoadDialogsModule() {
    static std::mutex lock;
    static TTesselShowDialog entry = nullptr;
    std::lock_guard guard(lock);
    if (entry != nullptr) return entry;
    const std::string path = DialogsModulePath();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        throw EDriverError(E_UNKNOWN, "Модуль диалогов драйвера не установлен: " + path);
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* why = ::dlerror();
        throw EDriverError(E_UNKNOWN, "Не удалось загрузить модуль диалогов драйвера: " +
                                          std::string(why != nullptr ? why : path));
    }
    entry = reinterpret_cast<TTesselShowDialog>(::dlsym(module, kShowDialogExport));
    if (entry == nullptr) {
        ::dlclose(module);
        throw EDriverError(E_UNKNOWN, "Модуль диалогов драйвера не содержит функции " +
                                          std::string(kShowDialogExport) + ": " + path);
    }
    return entry;
}
