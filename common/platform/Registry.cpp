// What the settings store does the same on every platform: key paths, the open key, booleans.
#include "common/platform/Registry.h"

#include "common/platform/RegistryPath.h"

namespace tessel {

namespace registry_detail {

std::vector<std::string> SplitPath(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string JoinPath(const std::vector<std::string>& parts) {
    std::string path;
    for (const auto& p : parts) {
        if (!path.empty()) path += '\\';
        path += p;
    }
    return path;
}

}  // namespace registry_detail

Registry::Registry(Hive hive) : hive_(hive) {}

std::string Registry::Resolve(const std::string& path) const {
    using namespace registry_detail;
    const bool fromRoot = !open_ || (!path.empty() && path.front() == '\\');
    return JoinPath(SplitPath(fromRoot ? path : path_ + "\\" + path));
}

void Registry::CloseKey() {
    open_ = false;
    path_.clear();
}

bool Registry::ValueExists(const std::string& name) const {
    return GetDataType(name).has_value();
}

bool Registry::ReadBool(const std::string& name) const {
    return ReadInteger(name) != 0;
}

void Registry::WriteBool(const std::string& name, bool value) {
    WriteInteger(name, value ? 1 : 0);
}

}  // namespace tessel
