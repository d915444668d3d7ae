#include "driver/engine/untDriverPath.h"

#include <filesystem>

#include "common/platform/Registry.h"
#include "common/platform/StateDirectory.h"
#include "driver/engine/untConst.h"

namespace {

std::string ServerPath(const char* serverKey) {
    tessel::Registry reg(tessel::Hive::ClassesRoot);
    const std::string key = std::string("CLSID\\") + kDriverClsid + "\\" + serverKey;
    if (!reg.OpenKey(key, false) || !reg.ValueExists("")) return {};
    return reg.ReadString("");
}

}  // namespace

std::string RegisteredDriverDirectory() {
    try {
        std::string path = ServerPath("InProcServer32");
        if (path.empty()) path = ServerPath("LocalServer32");
        if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
            path = path.substr(1, path.size() - 2);
        if (path.empty()) return {};
        std::error_code ec;
        const auto full = std::filesystem::canonical(path, ec);
        if (ec) return {};
        return full.parent_path().string() + "/";
    } catch (...) {
        return {};
    }
}

std::string DriverFilesDirectory() {
    const std::string beside = RegisteredDriverDirectory();
    // Beside a library installed with the system's software nothing is kept, even by the administrator, who
    // may write there: the package manager owns that folder.
    if (beside.empty() || tessel::MayKeepFilesIn(beside)) return beside;
    try {
        return tessel::StateDirectory() + "/";
    } catch (const std::exception&) {
        return beside;
    }
}
