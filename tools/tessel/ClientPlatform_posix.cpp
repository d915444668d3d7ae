// The client on Linux: arguments and terminal are UTF-8 already; the driver is registered with tessel-regsvr.
#include <filesystem>
#include <vector>

#include "common/platform/Registry.h"
#include "tools/tessel/ClientPlatform.h"

namespace tessel::cli {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

void PrepareConsole() {}

// How to register the driver, naming the built files when they lie where the build puts them.
std::string RegistrationHint() {
    std::error_code ec;
    const auto bin = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
    const auto regsvr = bin / "tessel-regsvr";
    // The build tree's lib, or an installation's lib/<architecture>.
    std::vector<std::filesystem::path> libraries{bin.parent_path() / "lib" / "libTesselDrv.so"};
    std::error_code listing;
    for (const auto& entry : std::filesystem::directory_iterator(bin.parent_path() / "lib", listing))
        libraries.push_back(entry.path() / "libTesselDrv.so");
    for (const auto& library : libraries) {
        std::error_code missing;
        if (!ec && std::filesystem::exists(regsvr, missing) && std::filesystem::exists(library, missing)) {
            return "Register the driver first: " + regsvr.string() + " " + library.string();
        }
    }
    return "Register the driver first: tessel-regsvr LIBRARY (the driver library, libTesselDrv.so)";
}

std::string SettingsLocation() {
    return HiveFile(Hive::CurrentUser);
}

}  // namespace tessel::cli
