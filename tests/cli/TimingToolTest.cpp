// The exchange timing tool as a user runs it: it explains itself, refuses what it cannot use, and never
// touches a settings store it did not make.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace {

using namespace tessel_test;
namespace fs = std::filesystem;

// Built beside the client, when the benchmarks are built at all.
std::string TimingTool() {
    return (fs::path(TESSEL_CLI).parent_path() / "tessel_exchange_timing").string();
}

std::set<std::string> OwnTemporaryFolders() {
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator("/tmp")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("tessel-exchange-timing-", 0) == 0 || name.rfind("tessel-bench-", 0) == 0)
            found.insert(name);
    }
    return found;
}

std::string Text(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ArgsCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* said;  // the start of standard output (status 0) or of standard error
};

void PrintTo(const ArgsCase& c, std::ostream* os) {
    *os << c.name;
}

class TimingToolArgs : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(TimingToolArgs, ExplainsItselfAndRefusesWhatItCannotUse) {
    if (!fs::exists(TimingTool())) GTEST_SKIP() << "the benchmarks are not built";
    const RunResult r = RunProgram(TimingTool(), GetParam().args);
    EXPECT_EQ(r.status, GetParam().status) << r.out << r.err;
    EXPECT_EQ((GetParam().status == 0 ? r.out : r.err).rfind(GetParam().said, 0), 0u) << r.out << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TimingToolArgs,
    ::testing::Values(
        ArgsCase{"Help", {"--help"}, 0, "usage: tessel_exchange_timing [--rounds N]"},
        ArgsCase{"NoRounds", {"--rounds", "0"}, 2, "tessel_exchange_timing: unexpected argument"},
        ArgsCase{"RoundsNotANumber", {"--rounds", "x"}, 2, "tessel_exchange_timing: unexpected"},
        ArgsCase{"UnknownOption", {"--fast"}, 2, "tessel_exchange_timing: unexpected argument"}),
    [](const ::testing::TestParamInfo<ArgsCase>& info) { return info.param.name; });

// Whatever store the environment names (one of the user's own, or none, which means ~/.config/tessel), the
// tool works in a temporary one and removes it.
TEST(TimingTool, LeavesTheUsersSettingsAndNoTemporaryFolderBehind) {
    if (!fs::exists(TimingTool())) GTEST_SKIP() << "the benchmarks are not built";
    TempDir home;
    const std::string store = home.File(".config/tessel");
    fs::create_directories(store);
    const std::string settings =
        "; Tessel settings "
        "store\n\n[Software\\Korvex\\TesselDrv\\TesselDrv\\Ports]\n\"COM1\"=\"/dev/ttyUSB0\"\n";
    std::ofstream(store + "/user.reg") << settings;
    const auto before = OwnTemporaryFolders();
    for (const std::string& named : {store, std::string()}) {
        const RunResult r =
            RunProgram(TimingTool(), {"--rounds", "1"},
                       {{"TESSEL_REGISTRY_DIR", named}, {"HOME", home.Path()}, {"XDG_CONFIG_HOME", ""}});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("first exchange after opening"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("nan"), std::string::npos) << r.out;
        EXPECT_EQ(Text(store + "/user.reg"), settings) << "with TESSEL_REGISTRY_DIR='" << named << "'";
    }
    EXPECT_EQ(OwnTemporaryFolders(), before);
}

}  // namespace
