// Changes gathered in an update reach the hive's file in one write, and in none when the hive ends up as it
// was; temporary files that killed writers left behind go with the next write.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/platform/AtomicFile.h"
#include "common/platform/Registry.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

using namespace tessel;

namespace {

const char kKey[] = "Software\\Korvex\\TesselDrv\\TesselDrv\\Devices";

// Which version of a file is on disk: every atomic replacement makes a new inode.
ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// The key as the engine writes its devices: deleted, then written anew.
void WriteDevices(int port) {
    Registry reg;
    reg.DeleteKey(kKey);
    reg.OpenKey(std::string(kKey) + "\\Device1", true);
    reg.WriteString("DeviceName", "Касса");
    reg.WriteInteger("PortNumber", port);
    reg.WriteBool("DeviceEnabled", false);
}

int StoredPort() {
    Registry reg;
    if (!reg.OpenKey(std::string(kKey) + "\\Device1", false)) return 0;
    return reg.ReadInteger("PortNumber");
}

class RegistryUpdateTest : public ::testing::Test {
  protected:
    RegistryUpdateTest() { WriteDevices(1); }
    std::string UserFile() const { return dir_.File("user.reg"); }

    TempDir dir_;
    tessel_test::ScopedEnv env_{"TESSEL_REGISTRY_DIR", dir_.Path()};
};

struct UpdateCase {
    const char* name;
    std::function<void()> changes;  // inside the update
    bool commit;
    bool written;  // whether the file was replaced
    int port;      // stored afterwards
};

void PrintTo(const UpdateCase& c, std::ostream* os) {
    *os << c.name;
}

class RegistryUpdateCases : public RegistryUpdateTest, public ::testing::WithParamInterface<UpdateCase> {};

TEST_P(RegistryUpdateCases, ReachTheFileTogetherOnCommit) {
    const ino_t before = InodeOf(UserFile());
    {
        RegistryUpdate update;
        GetParam().changes();
        // Nothing reaches the file before the commit.
        EXPECT_EQ(InodeOf(UserFile()), before);
        if (GetParam().commit) {
            EXPECT_EQ(update.Commit(), GetParam().written);
        }
    }
    EXPECT_EQ(InodeOf(UserFile()) != before, GetParam().written);
    EXPECT_EQ(StoredPort(), GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryUpdateCases,
    ::testing::Values(UpdateCase{"RewrittenAsItWas", [] { WriteDevices(1); }, true, false, 1},
                      UpdateCase{"ManyChangesOneWrite",
                                 [] {
                                     WriteDevices(5);
                                     WriteDevices(7);
                                     Registry reg;
                                     reg.OpenKey("Software\\Korvex\\TesselDrv\\TesselDrv\\Param", true);
                                     reg.WriteInteger("Timeout", 500);
                                 },
                                 true, true, 7},
                      UpdateCase{"ReadsSeeThePendingChanges",
                                 [] {
                                     WriteDevices(3);
                                     EXPECT_EQ(StoredPort(), 3);
                                     Registry reg;
                                     EXPECT_FALSE(reg.OpenKey(std::string(kKey) + "\\Device2", false));
                                 },
                                 true, true, 3},
                      UpdateCase{"DroppedWithoutCommit", [] { WriteDevices(9); }, false, false, 1},
                      UpdateCase{"JoinedUpdateStoresWithTheOuterOne",
                                 [] {
                                     RegistryUpdate inner;
                                     WriteDevices(4);
                                     EXPECT_FALSE(inner.Commit());
                                 },
                                 true, true, 4},
                      UpdateCase{"OnlyReads", [] { EXPECT_EQ(StoredPort(), 1); }, true, false, 1}),
    [](const ::testing::TestParamInfo<UpdateCase>& info) { return info.param.name; });

TEST_F(RegistryUpdateTest, AnotherHivesUpdateIsRefusedAndTheOtherHiveGoesStraightToItsFile) {
    RegistryUpdate update;
    EXPECT_THROW(RegistryUpdate(Hive::ClassesRoot), RegistryError);
    Registry classes(Hive::ClassesRoot);
    classes.OpenKey("CLSID", true);
    EXPECT_TRUE(std::filesystem::exists(dir_.File("classes.reg")));
    EXPECT_FALSE(update.Commit());
}

// A writer killed between creating its temporary file and renaming it leaves the file behind; the next write
// of the same file removes it, and leaves those of writers still at work and files of other names alone.
TEST_F(RegistryUpdateTest, TheNextWriteRemovesTheTemporaryFilesOfKilledWriters) {
    const pid_t dead = ::fork();
    ASSERT_GE(dead, 0);
    if (dead == 0) ::_exit(0);
    int status = 0;
    ASSERT_EQ(::waitpid(dead, &status, 0), dead);
    const std::string base = UserFile();
    const std::vector<std::string> stale{base + "." + std::to_string(dead) + ".a1B2c3"};
    const std::vector<std::string> kept{base + "." + std::to_string(::getppid()) + ".a1B2c3",  // alive
                                        base + ".a1B2c3",                                      // no pid
                                        base + "." + std::to_string(dead) + ".toolong7",
                                        dir_.File("classes.reg." + std::to_string(dead) + ".a1B2c3")};
    for (const auto& file : stale) std::ofstream(file) << "half";
    for (const auto& file : kept) std::ofstream(file) << "other";

    WriteDevices(2);

    for (const auto& file : stale) EXPECT_FALSE(std::filesystem::exists(file)) << file;
    for (const auto& file : kept) EXPECT_TRUE(std::filesystem::exists(file)) << file;
    // The write itself leaves no temporary file.
    int temporaries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path()))
        temporaries += entry.path().filename().string().rfind("user.reg.", 0) == 0 &&
                       entry.path().filename() != "user.reg.lock";
    EXPECT_EQ(temporaries, static_cast<int>(kept.size()) - 1);
}

}  // namespace
