// Modules on Linux: the dynamic loader.
#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>

#include "common/platform/Module.h"

namespace tessel {

std::string ModuleFileName(const std::string& name) {
    return "lib" + name + ".so";
}

std::string ModulePathOf(const void* address) {
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr || info.dli_fname[0] == '\0')
        throw std::runtime_error("the loader does not name the module");
    // The loader keeps the name it was given, which may be relative to the directory at loading time.
    return std::filesystem::canonical(info.dli_fname).string();
}

std::optional<std::string> ModuleFileVersionOf(const void* /*address*/) {
    return std::nullopt;
}

void* LoadModule(const std::string& path, std::string& error) {
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* why = ::dlerror();
        error = why != nullptr ? why : "cannot load " + path;
    }
    return module;
}

void* ModuleExport(void* module, const char* name) {
    ::dlerror();
    return ::dlsym(module, name);
}

}  // namespace tessel
