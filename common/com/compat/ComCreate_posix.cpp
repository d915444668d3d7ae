// In-process servers are shared libraries; a loaded one stays loaded, as objects and factories it handed out
// may live until the process ends.
#include <dlfcn.h>

#include <map>
#include <mutex>

#include "common/com/ComCreate.h"

namespace tessel {

namespace {

struct LoadedServers {
    std::mutex lock;
    std::map<std::string, void*> handles;  // never closed: see above
};

LoadedServers& Servers() {
    static LoadedServers servers;
    return servers;
}

}  // namespace

LPFNGETCLASSOBJECT LoadInProcServer(const std::string& path, bool& missingExport) {
    missingExport = false;
    LoadedServers& servers = Servers();
    std::lock_guard<std::mutex> guard(servers.lock);
    void* handle = nullptr;
    if (auto it = servers.handles.find(path); it != servers.handles.end()) {
        handle = it->second;
    } else {
        handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* why = ::dlerror();
            SetClassCreationError(why != nullptr ? why : "cannot load " + path);
            return nullptr;
        }
        servers.handles.emplace(path, handle);
    }
    ::dlerror();
    void* symbol = ::dlsym(handle, "DllGetClassObject");
    if (symbol == nullptr) {
        missingExport = true;
        SetClassCreationError(path + ": no DllGetClassObject export");
        return nullptr;
    }
    return reinterpret_cast<LPFNGETCLASSOBJECT>(symbol);
}

}  // namespace tessel
