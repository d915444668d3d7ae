#include "common/platform/StateDirectory.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <vector>

namespace tessel {
namespace {

std::string Home() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') return home;
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && *found->pw_dir == '/')
        return found->pw_dir;
    throw std::runtime_error("no home folder is known for the driver's files");
}

// mkdir -p; the folders made are private to their owner.
void MakeDirectories(const std::string& dir) {
    for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        const std::string prefix = dir.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            throw std::system_error(errno, std::generic_category(), "cannot create '" + prefix + "'");
        if (slash == std::string::npos) break;
    }
}

}  // namespace

std::string StateDirectory() {
    const char* xdg = std::getenv("XDG_STATE_HOME");
    std::string dir = xdg != nullptr && *xdg == '/' ? std::string(xdg) : Home() + "/.local/state";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    dir += "/tessel";
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) MakeDirectories(dir);
    return dir;
}

bool MayKeepFilesIn(const std::string& directory) {
    return !IsSystemFolder(directory) && ::access(directory.c_str(), W_OK | X_OK) == 0;
}

bool IsSystemFolder(const std::string& directory) {
    std::error_code ec;
    std::string path = std::filesystem::weakly_canonical(directory, ec).string();
    if (ec) path = directory;
    const std::string_view p = path;
    for (const std::string_view root : {"/usr", "/bin", "/sbin", "/lib"}) {
        if (p.substr(0, root.size()) != root) continue;
        const std::string_view rest = p.substr(root.size());
        // /lib32, /lib64 and /libx32 are the system's too; /library-of-mine is not.
        const bool libVariant =
            root == "/lib" && (rest.starts_with("32") || rest.starts_with("64") || rest.starts_with("x32"));
        const std::string_view tail = libVariant ? rest.substr(rest.starts_with("x32") ? 3 : 2) : rest;
        if (tail.empty() || tail.front() == '/') return true;
    }
    return false;
}

}  // namespace tessel
