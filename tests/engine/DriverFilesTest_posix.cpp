// Where the engine keeps its counters and its log (beside a library the user may write to, else in the
// user's state folder), that the log is private, and that releasing the engine writes the settings store
// once when something changed and not at all otherwise.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/platform/Module.h"
#include "common/platform/Registry.h"
#include "common/platform/StateDirectory.h"
#include "driver/engine/untConst.h"
#include "driver/engine/untDriverPath.h"
#include "driver/engine/untEcrDrv.h"
#include "support/ChildProcess.h"
#include "support/DriverFixture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace {

using namespace tessel_test;
namespace fs = std::filesystem;
constexpr uid_t kNobody = 65534;

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

struct FilesCase {
    const char* name;
    bool registered;
    bool libraryWritable;
    const char* stateHome;  // XDG_STATE_HOME below the test folder; nullptr: a relative value, ignored
    const char* files;      // where the counters and the log go, below the test folder ("" for the log's
                            // bare name)
    const char* logFolder;
};

void PrintTo(const FilesCase& c, std::ostream* os) {
    *os << c.name;
}

class DriverFilesTest : public ::testing::TestWithParam<FilesCase> {};

// A user who is not the administrator (who may write anywhere) is played by a child that gives up those
// rights.
TEST_P(DriverFilesTest, CountersAndLogGoWhereTheUserMayWrite) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs the administrator to play another user";
    const FilesCase& c = GetParam();
    TempDir dir;
    const std::string root = fs::canonical(dir.Path()).string();
    for (const char* sub : {"lib", "store", "home", "state"}) fs::create_directories(root + "/" + sub);
    std::ofstream(root + "/lib/libTesselDrv.so") << "";
    {
        const ScopedEnv store("TESSEL_REGISTRY_DIR", root + "/store");
        if (c.registered) {
            tessel::Registry classes(tessel::Hive::ClassesRoot);
            classes.OpenKey(std::string("CLSID\\") + kDriverClsid + "\\InProcServer32", true);
            classes.WriteString("", root + "/lib/libTesselDrv.so");
        }
    }
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const bool library = entry.path().string().rfind(root + "/lib", 0) == 0;
        if (!library || c.libraryWritable) {
            ASSERT_EQ(::chown(entry.path().c_str(), kNobody, kNobody), 0);
        }
    }
    ASSERT_EQ(::chown(root.c_str(), kNobody, kNobody), 0);

    Fd said, saidWrite;
    OpenPipe(said, saidWrite);
    ForkedChild user([&] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            throw std::runtime_error("cannot become nobody");
        ::setenv("TESSEL_REGISTRY_DIR", (root + "/store").c_str(), 1);
        ::setenv("HOME", (root + "/home").c_str(), 1);
        ::setenv("XDG_STATE_HOME", c.stateHome != nullptr ? (root + c.stateHome).c_str() : "relative", 1);
        // A log by its bare name lands in the working folder.
        if (::chdir((root + "/home").c_str()) != 0) throw std::runtime_error("no home");
        std::string line;
        {
            TEcrDrv engine;
            engine.SetLogEnabled(true);
            engine.Log().Write("строка");
            line = engine.Counters().FileName() + "|" + engine.LogFileName() + "|" +
                   std::to_string(ModeOf(engine.LogFileName()));
        }
        if (::write(saidWrite.Get(), line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            throw std::runtime_error("no word");
    });
    saidWrite.Reset();
    std::string text;
    char buf[1024];
    while (ReadableBefore(said.Get(), std::chrono::steady_clock::now() + kChildWait)) {
        const ssize_t n = ::read(said.Get(), buf, sizeof buf);
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    EXPECT_TRUE(ExitedCleanly(user.Wait(kChildWait)));
    const std::string files = root + c.files;
    const std::string log = std::string(c.logFolder).empty() ? "" : root + c.logFolder + "/";
    EXPECT_EQ(text, files + "/Counters0.dat|" + log + "TesselDrv.log|" + std::to_string(0600));
    if (std::string(c.files).find("/tessel") != std::string::npos) {
        EXPECT_EQ(ModeOf(files), 0700u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverFilesTest,
    ::testing::Values(
        FilesCase{"BesideALibraryTheUserMayWrite", true, true, "/state", "/lib", "/lib"},
        FilesCase{"StateFolderWhenTheLibraryIsReadOnly", true, false, "/state", "/state/tessel",
                  "/state/tessel"},
        FilesCase{"DefaultStateFolderUnderHome", true, false, nullptr, "/home/.local/state/tessel",
                  "/home/.local/state/tessel"},
        // Without a registration: the counters in the settings folder, the log by its bare name.
        FilesCase{"Unregistered", false, false, "/state", "/store", ""}),
    [](const ::testing::TestParamInfo<FilesCase>& info) { return info.param.name; });

// A driver installed with the system's software: even the administrator, who may write beside it, keeps
// the counters and the log in the state folder, out of the package manager's folder.
TEST(DriverFilesSystemWide, StayOutOfTheSystemsFoldersForEveryone) {
    TempDir dir;
    const ScopedEnv state("XDG_STATE_HOME", dir.Path());
    // A library that surely lies in the system's folders: the C library this program runs on.
    const std::string library = tessel::ModulePathOf(reinterpret_cast<const void*>(&::getpid));
    ASSERT_TRUE(tessel::IsSystemFolder(fs::path(library).parent_path().string())) << library;
    tessel::Registry classes(tessel::Hive::ClassesRoot);
    const std::string key = std::string("CLSID\\") + kDriverClsid + "\\InProcServer32";
    ASSERT_TRUE(classes.OpenKey(key, true));
    classes.WriteString("", library);
    EXPECT_EQ(DriverFilesDirectory(), fs::canonical(dir.Path()).string() + "/tessel/");
    classes.DeleteKey(std::string("\\CLSID\\") + kDriverClsid);
    // A build tree or a portable copy is no system folder.
    EXPECT_FALSE(tessel::IsSystemFolder(dir.Path()));
    EXPECT_FALSE(tessel::IsSystemFolder("/library-of-mine"));
    EXPECT_TRUE(tessel::IsSystemFolder("/lib64"));
}

TEST(EngineSettingsWrites, ReleasingWritesTheStoreOnceWhenSomethingChangedAndOtherwiseNot) {
    ForgetDriverSettings();
    TempDir counters;
    const std::string store = tessel::HiveFile(tessel::Hive::CurrentUser);
    { TEcrDrv first(TEcrDrv::TOptions{counters.Path(), {}}); }  // the first release stores the defaults

    const ino_t stored = InodeOf(store);
    { TEcrDrv same(TEcrDrv::TOptions{counters.Path(), {}}); }
    EXPECT_EQ(InodeOf(store), stored) << "nothing changed, yet the store was written";

    {
        TEcrDrv changed(TEcrDrv::TOptions{counters.Path(), {}});
        changed.Timeout = 777;
        changed.SetPortNumber(5);
        changed.AddLD();
    }
    EXPECT_NE(InodeOf(store), stored);
    TEcrDrv reloaded(TEcrDrv::TOptions{counters.Path(), {}});
    EXPECT_EQ(reloaded.Timeout, 777);
    EXPECT_EQ(reloaded.LDCount(), 2);
    reloaded.SetLDIndex(0);
    EXPECT_EQ(reloaded.PortNumber(), 5);
}

}  // namespace
