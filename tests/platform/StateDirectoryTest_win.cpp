// Where a Windows program may keep the files it changes: never under Program Files (an installed driver's
// folder, however its path is spelt), elsewhere wherever it may create files.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>

#include "common/platform/StateDirectory.h"

namespace {

std::string Environment(const wchar_t* name) {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = ::GetEnvironmentVariableW(name, buffer, MAX_PATH + 1);
    return length == 0 || length > MAX_PATH ? std::string() : std::filesystem::path(buffer).string();
}

struct KeepCase {
    const char* name;
    std::string directory;
    bool expected;
};

TEST(StateDirectory, KeepsFilesOutOfProgramFilesOnly) {
    const std::filesystem::path temp = std::filesystem::temp_directory_path() / "tessel-keep-files";
    std::filesystem::create_directories(temp / "Program Files" / "Tessel");
    const std::string programs = Environment(L"ProgramFiles");
    const std::string programs32 = Environment(L"ProgramFiles(x86)");
    ASSERT_FALSE(programs.empty());
    // Installed folders, made where this process may (as an administrator, or under Wine) so that only their
    // place refuses them.
    const std::string installed = programs + "\\TesselKeepFilesTest\\x64";
    const std::string installed32 =
        programs32.empty() ? installed : programs32 + "\\TesselKeepFilesTest\\x86";
    std::error_code ignored;
    std::filesystem::create_directories(installed, ignored);
    std::filesystem::create_directories(installed32, ignored);
    std::string lowerSlashed = installed + "/";
    for (char& c : lowerSlashed)
        c = c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const KeepCase cases[] = {
        {"a folder of the user's", temp.string(), true},
        {"a folder that is not there", (temp / "missing").string(), false},
        {"a folder named Program Files elsewhere", (temp / "Program Files" / "Tessel").string(), true},
        {"the installed driver's folder", installed, false},
        {"the 32-bit one", installed32, false},
        {"the same, spelt otherwise", lowerSlashed, false},
        {"Program Files itself", programs, false},
    };
    for (const KeepCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(tessel::MayKeepFilesIn(c.directory), c.expected) << c.directory;
    }
    std::filesystem::remove_all(temp);
    std::filesystem::remove_all(programs + "\\TesselKeepFilesTest", ignored);
    if (!programs32.empty()) std::filesystem::remove_all(programs32 + "\\TesselKeepFilesTest", ignored);
}

}  // namespace
