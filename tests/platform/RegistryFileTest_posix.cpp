// The settings store's Linux form: its text files, their damage, their place and their rights.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "common/platform/AtomicFile.h"
#include "common/platform/Registry.h"
#include "support/TempDir.h"

using namespace tessel;

namespace {

// Sets or removes an environment variable for the lifetime of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        Set(value);
    }
    ~ScopedEnv() { Set(old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    void Set(const char* value) {
        if (value != nullptr)
            ::setenv(name_.c_str(), value, 1);
        else
            ::unsetenv(name_.c_str());
    }
    std::string name_;
    std::optional<std::string> old_;
};

std::string ReadAll(const std::string& path) {
    std::string s;
    ReadWholeFile(path, s);
    return s;
}

void WriteText(const std::string& path, const std::string& text) {
    WriteFileAtomically(path, text, 0600);
}

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

using Names = std::vector<std::string>;

// Every test gets a store of its own.
class RegistryFileStore : public ::testing::Test {
  protected:
    std::string UserFile() const { return dir_.File("user.reg"); }

    TempDir dir_;
    ScopedEnv env_{"TESSEL_REGISTRY_DIR", dir_.Path().c_str()};
};

TEST_F(RegistryFileStore, NamesTheStoreCannotHoldOpenNothing) {
    Registry reg;
    const std::string tooLong(256, 'k');
    for (const std::string& bad : {std::string("Line\nBreak"), std::string("Bad\xff"), tooLong}) {
        EXPECT_FALSE(reg.OpenKey(bad, true));
        EXPECT_FALSE(reg.KeyExists(bad));
    }
    EXPECT_TRUE(reg.OpenKey(std::string(255, 'k'), true));
    std::string tooDeep;
    for (int i = 0; i < 513; ++i) tooDeep += "\\d";
    EXPECT_FALSE(reg.OpenKey(tooDeep, true));
    ASSERT_TRUE(reg.OpenKey("\\Ok", true));
    EXPECT_THROW(reg.WriteString("Bad\xff", "x"), RegistryError);
}

TEST_F(RegistryFileStore, HivesAreSeparateFiles) {
    Registry classes(Hive::ClassesRoot);
    ASSERT_TRUE(classes.OpenKey("CLSID\\{1}\\InProcServer32", true));
    classes.WriteString("", "/opt/lib.so");
    Registry user;
    EXPECT_FALSE(user.KeyExists("CLSID"));
    EXPECT_EQ(HiveFile(Hive::ClassesRoot), dir_.File("classes.reg"));
    EXPECT_EQ(HiveFile(Hive::CurrentUser), dir_.File("user.reg"));
    EXPECT_NE(ReadAll(dir_.File("classes.reg")).find("@=\"/opt/lib.so\""), std::string::npos);
}

// Values keep their creation order (the system registry does not promise it; Wine sorts them).
TEST_F(RegistryFileStore, ValuesKeepCreationOrder) {
    Registry reg;
    ASSERT_TRUE(reg.OpenKey("Ordered", true));
    reg.WriteString("Zeta", "z");
    reg.WriteInteger("alpha", 1);
    reg.WriteString("Mid", "m");
    // Replacing, even with another spelling and type, keeps the first place and the first spelling.
    reg.WriteString("ALPHA", "now text");
    EXPECT_EQ(reg.GetValueNames(), (Names{"Zeta", "alpha", "Mid"}));
}

// Bytes that are not UTF-8 are kept as they are, where the system registry would take only UTF-16.
TEST_F(RegistryFileStore, MalformedUtf8ReadsBackUnchanged) {
    const std::string bytes = "\xff\xfe ok \xd0";
    {
        Registry writer;
        ASSERT_TRUE(writer.OpenKey("Software\\Trip", true));
        writer.WriteString("Bytes", bytes);
    }
    Registry reader;
    ASSERT_TRUE(reader.OpenKey("Software\\Trip", false));
    EXPECT_EQ(reader.ReadString("Bytes"), bytes);
}

// ---------------------------------------------------------------------------------------------------------
// The file itself.

TEST_F(RegistryFileStore, FileIsReadableRegText) {
    Registry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Korvex\\TesselDrv\\TesselDrv\\Param", true));
    reg.WriteBool("LogEnabled", true);
    reg.WriteString("LogFileName", "/tmp/a.log");
    reg.WriteString("", "default value");
    reg.WriteBinary("Blob", Bytes{0x7e, 0x02, 0x01});
    ASSERT_TRUE(reg.OpenKey("\\Empty", true));
    EXPECT_EQ(ReadAll(UserFile()),
              "; Tessel settings store\n"
              "\n[Empty]\n"
              "\n[Software]\n"
              "\n[Software\\Korvex]\n"
              "\n[Software\\Korvex\\TesselDrv]\n"
              "\n[Software\\Korvex\\TesselDrv\\TesselDrv]\n"
              "\n[Software\\Korvex\\TesselDrv\\TesselDrv\\Param]\n"
              "\"LogEnabled\"=dword:00000001\n"
              "\"LogFileName\"=\"/tmp/a.log\"\n"
              "@=\"default value\"\n"
              "\"Blob\"=hex:7e,02,01\n");
}

TEST_F(RegistryFileStore, HandEditedFileLoads) {
    WriteText(UserFile(),
              "\xEF\xBB\xBF; edited by hand\r\n"
              "\r\n"
              "  [Software\\Korvex\\Font]  \r\n"
              "\"Name\" = \"MS Sans Serif\"\r\n"
              "\"Size\"=dword:8\r\n"
              "\"Color\"=dword:FFFFFFFF\r\n"
              "\"Bytes\"=hex: A, ff ,0\r\n"
              "; a comment between values\n"
              "[]\n"
              "@=\"root default\"\n");
    Registry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Korvex\\Font", false));
    EXPECT_EQ(reg.ReadString("Name"), "MS Sans Serif");
    EXPECT_EQ(reg.ReadInteger("Size"), 8);
    EXPECT_EQ(reg.ReadInteger("Color"), -1);
    EXPECT_EQ(reg.ReadBinary("Bytes"), (Bytes{0x0a, 0xff, 0x00}));
    ASSERT_TRUE(reg.OpenKey("\\", false));
    EXPECT_EQ(reg.ReadString(""), "root default");
    EXPECT_TRUE(reg.KeyExists("Software\\Korvex"));  // parents exist without sections of their own
}

struct Damage {
    const char* label;
    std::string text;
    int line;
};

class RegistryDamagedFile : public RegistryFileStore, public ::testing::WithParamInterface<Damage> {};

TEST_P(RegistryDamagedFile, NamesFileAndLineAndIsNeverRewritten) {
    WriteText(UserFile(), GetParam().text);
    const std::string where = UserFile() + ":" + std::to_string(GetParam().line) + ":";
    Registry reg;
    try {
        reg.OpenKey("Ok", false);
        FAIL() << "a damaged file loaded";
    } catch (const RegistryError& e) {
        EXPECT_EQ(std::string(e.what()).rfind(where, 0), 0u) << e.what();
    }
    // Changes fail as well, so the damaged file is kept for its owner to mend.
    EXPECT_THROW(reg.OpenKey("Ok", true), RegistryError);
    EXPECT_THROW(reg.DeleteKey("Ok"), RegistryError);
    EXPECT_THROW(reg.KeyExists("Ok"), RegistryError);
    EXPECT_EQ(ReadAll(UserFile()), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Files, RegistryDamagedFile,
    ::testing::Values(
        Damage{"UnclosedSection", "; c\n[Ok]\n[Software\n", 3},
        Damage{"ValueOutsideKey", "\n\"A\"=dword:1\n", 2}, Damage{"BadDword", "[Ok]\n\"A\"=dword:xyz\n", 2},
        Damage{"LongDword", "[Ok]\n\"A\"=dword:123456789\n", 2},
        Damage{"EmptyDword", "[Ok]\n\"A\"=dword:\n", 2}, Damage{"BadHex", "[Ok]\n\"A\"=hex:01,zz\n", 2},
        Damage{"HexTrailingComma", "[Ok]\n\"A\"=hex:01,\n", 2},
        Damage{"UnterminatedString", "[Ok]\n\"A\"=\"abc\n\"B\"=\"d\"\n", 2},
        Damage{"UnterminatedName", "[Ok]\n\"A=\"abc\"\n", 2},
        Damage{"UnknownEscape", "[Ok]\n\"A\"=\"x\\q\"\n", 2},
        Damage{"ShortHexEscape", "[Ok]\n\"A\"=\"x\\x4\"\n", 2},
        Damage{"UnknownType", "[Ok]\n\"A\"=foo:1\n", 2}, Damage{"MissingEquals", "[Ok]\n\"A\" \"b\"\n", 2},
        Damage{"TextAfterString", "[Ok]\n\"A\"=\"b\" c\n", 2},
        Damage{"DuplicateValue", "[Ok]\n\"A\"=\"1\"\n\"a\"=dword:2\n", 3},
        Damage{"DuplicateKey", "[Ok]\n[Other]\n[OK]\n", 3}, Damage{"EmptyKeyName", "[Ok]\n[A\\\\B]\n", 2},
        Damage{"MalformedKeyName", "[Ok]\n[Bad\xff]\n", 2},
        Damage{"MalformedValueName", "[Ok]\n\"\\xff\"=\"v\"\n", 2},
        Damage{"StrayText", "[Ok]\nLogEnabled=1\n", 2}),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.label); });

TEST_F(RegistryFileStore, ChangeThatWouldMakeTheFileUnloadableIsRefused) {
    Registry reg;
    ASSERT_TRUE(reg.OpenKey("Big", true));
    reg.WriteString("Small", "s");
    const std::string before = ReadAll(UserFile());
    EXPECT_THROW(reg.WriteBinary("Huge", Bytes(std::size_t{6} << 20, 0x55)), RegistryError);
    EXPECT_EQ(ReadAll(UserFile()), before);
    EXPECT_EQ(reg.GetValueNames(), Names{"Small"});
}

TEST_F(RegistryFileStore, FilesAndFolderArePrivateWhateverTheUmask) {
    const mode_t oldMask = ::umask(0);
    const std::string nested = dir_.File("a/b/store");
    {
        ScopedEnv env("TESSEL_REGISTRY_DIR", nested.c_str());
        Registry reg;
        ASSERT_TRUE(reg.OpenKey("K", true));
        reg.WriteString("V", "1");
    }
    ::umask(oldMask);
    EXPECT_EQ(ModeOf(nested), 0700u);
    EXPECT_EQ(ModeOf(dir_.File("a")), 0700u);
    EXPECT_EQ(ModeOf(nested + "/user.reg"), 0600u);
    EXPECT_EQ(ModeOf(nested + "/user.reg.lock"), 0600u);
}

// ---------------------------------------------------------------------------------------------------------
// Where the store lives.

struct Location {
    const char* label;
    const char* registryDir;  // relative to the test's folder; nullptr = unset
    const char* xdg;          // "@" = the test's folder + "/xdg"; other text as is; nullptr = unset
    const char* expected;     // relative to the test's folder
};

class RegistryLocation : public ::testing::TestWithParam<Location> {};

TEST_P(RegistryLocation, FollowsTheEnvironment) {
    TempDir home;
    const Location& c = GetParam();
    const std::string regDir = c.registryDir ? home.File(c.registryDir) : std::string();
    const std::string xdg = !c.xdg ? std::string() : std::string(c.xdg) == "@" ? home.File("xdg") : c.xdg;
    ScopedEnv h("HOME", home.Path().c_str());
    ScopedEnv r("TESSEL_REGISTRY_DIR", c.registryDir ? regDir.c_str() : nullptr);
    ScopedEnv x("XDG_CONFIG_HOME", c.xdg ? xdg.c_str() : nullptr);
    EXPECT_EQ(RegistryDirectory(), home.File(c.expected));
    EXPECT_EQ(ModeOf(home.File(c.expected)), 0700u);
}

INSTANTIATE_TEST_SUITE_P(
    Env, RegistryLocation,
    ::testing::Values(Location{"OwnVariable", "store/x", "@", "store/x"},
                      Location{"TrailingSlash", "store/", nullptr, "store"},
                      Location{"XdgConfigHome", nullptr, "@", "xdg/tessel"},
                      Location{"RelativeXdgIgnored", nullptr, "rel/cfg", ".config/tessel"},
                      Location{"EmptyXdgIgnored", nullptr, "", ".config/tessel"},
                      Location{"Home", nullptr, nullptr, ".config/tessel"}),
    [](const ::testing::TestParamInfo<Location>& info) { return std::string(info.param.label); });

}  // namespace
