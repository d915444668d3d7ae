// The client on Windows: the wide command line, a console switched to UTF-8, regsvr32 for the registration.
#include <windows.h>

#include <shellapi.h>

#include <filesystem>

#include "common/platform/Module.h"
#include "common/platform/Win32Support.h"
#include "tools/tessel/ClientPlatform.h"

namespace tessel::cli {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv + 1, argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(win::Narrow(wide[i]));
    ::LocalFree(wide);
    return args;
}

void PrepareConsole() {
    ::SetConsoleOutputCP(CP_UTF8);
}

std::string RegistrationHint() {
    std::error_code ec;
    const auto library =
        std::filesystem::path(ModulePathOf(reinterpret_cast<const void*>(&RegistrationHint))).parent_path() /
        "TesselDrv.dll";
    if (std::filesystem::exists(library, ec))
        return "Register the driver first: regsvr32 " + library.string();
    return "Register the driver first: regsvr32 TesselDrv.dll";
}

std::string SettingsLocation() {
    return "HKEY_CURRENT_USER\\Software\\Korvex\\TesselDrv";
}

}  // namespace tessel::cli
