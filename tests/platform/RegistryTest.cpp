#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
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
class RegistryStore : public ::testing::Test {
  protected:
    std::string UserFile() const { return dir_.File("user.reg"); }

    TempDir dir_;
    ScopedEnv env_{"TESSEL_REGISTRY_DIR", dir_.Path().c_str()};
};

// ---------------------------------------------------------------------------------------------------------
// Values of every type read back unchanged from the file, whatever their text holds.

struct RoundTrip {
    const char* label;
    std::string name;
    RegValueType type;
    std::string text;
    std::int32_t number;
    Bytes bytes;
};

Bytes AllBytes() {
    Bytes b;
    for (int i = 0; i < 256; ++i) b.push_back(static_cast<std::uint8_t>(i));
    return b;
}

RoundTrip Str(const char* label, std::string name, std::string text) {
    return {label, std::move(name), RegValueType::String, std::move(text), 0, {}};
}
RoundTrip Num(const char* label, std::string name, std::int32_t number) {
    return {label, std::move(name), RegValueType::DWord, {}, number, {}};
}
RoundTrip Bin(const char* label, std::string name, Bytes bytes) {
    return {label, std::move(name), RegValueType::Binary, {}, 0, std::move(bytes)};
}

class RegistryRoundTrip : public RegistryStore, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(RegistryRoundTrip, ValueReadsBackFromTheFile) {
    const RoundTrip& c = GetParam();
    {
        Registry writer;
        ASSERT_TRUE(writer.OpenKey("Software\\Trip", true));
        writer.WriteString("Before", "b");
        switch (c.type) {
            case RegValueType::String:
                writer.WriteString(c.name, c.text);
                break;
            case RegValueType::DWord:
                writer.WriteInteger(c.name, c.number);
                break;
            case RegValueType::Binary:
                writer.WriteBinary(c.name, c.bytes);
                break;
        }
        writer.WriteString("After", "a");
    }
    Registry reader;
    ASSERT_TRUE(reader.OpenKey("Software\\Trip", false));
    EXPECT_EQ(reader.GetValueNames(), (Names{"Before", c.name, "After"}));
    EXPECT_EQ(reader.GetDataType(c.name), c.type);
    switch (c.type) {
        case RegValueType::String:
            EXPECT_EQ(reader.ReadString(c.name), c.text);
            break;
        case RegValueType::DWord:
            EXPECT_EQ(reader.ReadInteger(c.name), c.number);
            break;
        case RegValueType::Binary:
            EXPECT_EQ(reader.ReadBinary(c.name), c.bytes);
            break;
    }
    // The neighbours prove that the value did not swallow or split lines.
    EXPECT_EQ(reader.ReadString("Before"), "b");
    EXPECT_EQ(reader.ReadString("After"), "a");
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegistryRoundTrip,
    ::testing::Values(Str("Plain", "LogFileName", "/tmp/a.log"), Str("Empty", "Empty", ""),
                      Str("DefaultValue", "", "default value"), Str("Cyrillic", "Имя ЛУ", "Драйвер ККМ №1"),
                      Str("LineBreaksQuotesBackslashes", "Multi\"line\\",
                          "a\r\nb\n\"q\" \\\\server\\share\t|"),
                      Str("ControlBytesAndNul", "ctl\x01", std::string("\x01\x00\x1f\x7f z", 6)),
                      Str("MalformedUtf8", "Bytes", "\xff\xfe ok \xd0"),
                      Str("ReplacementCharacter", "Repl", "\xEF\xBF\xBD"),
                      Str("SectionLookalike", "[x];=", "[Section]\n; not a comment\n\"A\"=dword:1"),
                      Str("AtSignName", "@", "dword:00000001"), Num("Zero", "Zero", 0), Num("One", "One", 1),
                      Num("MinusOne", "MinusOne", -1), Num("Min", "Min", INT32_MIN),
                      Num("Max", "Max", INT32_MAX), Bin("EmptyBinary", "Blob", {}),
                      Bin("AllBytes", "Blob", AllBytes())),
    [](const ::testing::TestParamInfo<RoundTrip>& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------------------------------------
// Enumeration order and names.

TEST_F(RegistryStore, SubkeysSortCaseInsensitivelyValuesKeepCreationOrder) {
    Registry reg;
    ASSERT_TRUE(reg.OpenKey("Devices", true));
    for (const char* name : {"Device2", "device10", "Zed", "Ёлка", "Device1", "Б", "ель", "а"})
        ASSERT_TRUE(reg.OpenKey(std::string("\\Devices\\") + name, true)) << name;
    ASSERT_TRUE(reg.OpenKey("\\Devices", false));
    EXPECT_EQ(reg.GetKeyNames(), (Names{"Device1", "device10", "Device2", "Zed", "а", "Б", "ель", "Ёлка"}));
    EXPECT_TRUE(reg.HasSubKeys());

    reg.WriteString("Zeta", "z");
    reg.WriteInteger("alpha", 1);
    reg.WriteString("Mid", "m");
    // Replacing, even with another spelling and type, keeps the first place and the first spelling.
    reg.WriteString("ALPHA", "now text");
    EXPECT_EQ(reg.GetValueNames(), (Names{"Zeta", "alpha", "Mid"}));
    EXPECT_EQ(reg.GetDataType("alpha"), RegValueType::String);
    EXPECT_EQ(reg.ReadString("Alpha"), "now text");
}

TEST_F(RegistryStore, NamesFoldCaseAndKeepTheirSpelling) {
    Registry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Korvex\\Устройства\\Касса", true));
    reg.WriteString("Имя", "value");
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\korvex\\УСТРОЙСТВА\\касса", true));
    EXPECT_EQ(reg.ReadString("ИМЯ"), "value");
    EXPECT_TRUE(reg.ValueExists("имя"));
    ASSERT_TRUE(reg.OpenKey("\\software\\KORVEX", false));
    EXPECT_EQ(reg.GetKeyNames(), Names{"Устройства"});
    ASSERT_TRUE(reg.OpenKey("\\", false));
    EXPECT_EQ(reg.GetKeyNames(), Names{"Software"});
    EXPECT_TRUE(reg.KeyExists("\\sOfTwArE\\Korvex\\устройства"));
}

// ---------------------------------------------------------------------------------------------------------
// Paths, keys and deletion.

TEST_F(RegistryStore, PathsResolveFromRootOrBelowTheOpenKey) {
    Registry reg;
    EXPECT_FALSE(reg.OpenKey("Missing", false));
    EXPECT_FALSE(reg.HasOpenKey());
    ASSERT_TRUE(reg.OpenKey("A", true));  // no key open: from the root
    ASSERT_TRUE(reg.OpenKey("B\\C", true));
    EXPECT_EQ(reg.CurrentPath(), "A\\B\\C");
    EXPECT_TRUE(reg.KeyExists("\\A\\B"));  // the parents were created
    ASSERT_TRUE(reg.OpenKey("\\X\\\\Y\\", true));
    EXPECT_EQ(reg.CurrentPath(), "X\\Y");
    EXPECT_TRUE(reg.KeyExists("\\X\\Y"));
    // A failed open leaves the open key as it was.
    EXPECT_FALSE(reg.OpenKey("Nothing", false));
    EXPECT_EQ(reg.CurrentPath(), "X\\Y");
    EXPECT_FALSE(reg.KeyExists("C"));  // relative: X\Y\C
    ASSERT_TRUE(reg.OpenKey("\\A\\B", false));
    EXPECT_TRUE(reg.KeyExists("C"));
    reg.CloseKey();
    EXPECT_FALSE(reg.HasOpenKey());
    EXPECT_TRUE(reg.KeyExists("A\\B\\C"));  // closed: from the root again
}

TEST_F(RegistryStore, NamesTheStoreCannotHoldOpenNothing) {
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

TEST_F(RegistryStore, EmptyKeysSurvive) {
    Registry reg;
    ASSERT_TRUE(reg.OpenKey("Parent\\Empty", true));
    ASSERT_TRUE(reg.OpenKey("\\Parent\\Other", true));
    reg.WriteString("V", "1");
    Registry fresh;
    ASSERT_TRUE(fresh.OpenKey("Parent", false));
    EXPECT_EQ(fresh.GetKeyNames(), (Names{"Empty", "Other"}));
    ASSERT_TRUE(fresh.OpenKey("Empty", false));
    EXPECT_TRUE(fresh.GetValueNames().empty());
}

TEST_F(RegistryStore, DeleteValueAndKeyTree) {
    Registry reg;
    ASSERT_TRUE(reg.OpenKey("A\\B\\C", true));
    reg.WriteString("Deep", "1");
    ASSERT_TRUE(reg.OpenKey("\\A\\B", true));
    reg.WriteString("First", "1");
    reg.WriteString("Second", "2");
    reg.WriteString("Third", "3");
    ASSERT_TRUE(reg.OpenKey("\\A\\D", true));
    reg.WriteString("Keep", "k");

    ASSERT_TRUE(reg.OpenKey("\\A\\B", false));
    EXPECT_TRUE(reg.DeleteValue("second"));
    EXPECT_FALSE(reg.DeleteValue("Second"));
    EXPECT_EQ(reg.GetValueNames(), (Names{"First", "Third"}));

    reg.CloseKey();
    EXPECT_TRUE(reg.DeleteKey("a\\b"));
    EXPECT_FALSE(reg.DeleteKey("A\\B"));
    EXPECT_FALSE(reg.DeleteKey("No\\Such\\Key"));
    EXPECT_FALSE(reg.KeyExists("A\\B"));
    EXPECT_FALSE(reg.KeyExists("A\\B\\C"));
    ASSERT_TRUE(reg.OpenKey("A", false));
    EXPECT_EQ(reg.GetKeyNames(), Names{"D"});
    EXPECT_TRUE(reg.DeleteKey("D"));  // relative to the open key
    EXPECT_FALSE(reg.HasSubKeys());
    EXPECT_THROW(reg.DeleteKey("\\"), RegistryError);
    // A key created again after deletion starts empty.
    ASSERT_TRUE(reg.OpenKey("\\A\\B", true));
    EXPECT_TRUE(reg.GetValueNames().empty());
    EXPECT_TRUE(reg.GetKeyNames().empty());
}

TEST_F(RegistryStore, WritesThroughADeletedKeyFailAndDoNotRecreateIt) {
    Registry holder;
    ASSERT_TRUE(holder.OpenKey("Gone", true));
    holder.WriteString("V", "1");
    Registry other;
    ASSERT_TRUE(other.DeleteKey("Gone"));
    EXPECT_FALSE(holder.ValueExists("V"));
    EXPECT_TRUE(holder.GetValueNames().empty());
    EXPECT_THROW(holder.ReadString("V"), RegistryError);
    EXPECT_THROW(holder.WriteString("V", "2"), RegistryError);
    EXPECT_FALSE(other.KeyExists("Gone"));
}

TEST_F(RegistryStore, HivesAreSeparateFiles) {
    Registry classes(Hive::ClassesRoot);
    ASSERT_TRUE(classes.OpenKey("CLSID\\{1}\\InProcServer32", true));
    classes.WriteString("", "/opt/lib.so");
    Registry user;
    EXPECT_FALSE(user.KeyExists("CLSID"));
    EXPECT_EQ(HiveFile(Hive::ClassesRoot), dir_.File("classes.reg"));
    EXPECT_EQ(HiveFile(Hive::CurrentUser), dir_.File("user.reg"));
    EXPECT_NE(ReadAll(dir_.File("classes.reg")).find("@=\"/opt/lib.so\""), std::string::npos);
}

// ---------------------------------------------------------------------------------------------------------
// Failures of the readers and of calls without an open key.

struct Misuse {
    const char* label;
    std::function<void(Registry&)> call;
};

class RegistryMisuse : public RegistryStore, public ::testing::WithParamInterface<Misuse> {
  protected:
    void SetUp() override {
        Registry seed;
        ASSERT_TRUE(seed.OpenKey("Typed", true));
        seed.WriteString("Text", "12");
        seed.WriteInteger("Number", 12);
        seed.WriteBinary("Blob", Bytes{1, 2});
    }
};

TEST_P(RegistryMisuse, Throws) {
    Registry reg;
    if (std::string(GetParam().label).rfind("Closed", 0) != 0) {
        ASSERT_TRUE(reg.OpenKey("Typed", false));
    }
    EXPECT_THROW(GetParam().call(reg), RegistryError);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, RegistryMisuse,
    ::testing::Values(Misuse{"IntegerFromString", [](Registry& r) { r.ReadInteger("Text"); }},
                      Misuse{"StringFromDword", [](Registry& r) { r.ReadString("Number"); }},
                      Misuse{"BinaryFromString", [](Registry& r) { r.ReadBinary("Text"); }},
                      Misuse{"MissingInteger", [](Registry& r) { r.ReadInteger("None"); }},
                      Misuse{"ClosedRead", [](Registry& r) { r.ReadString("Text"); }},
                      Misuse{"ClosedWrite", [](Registry& r) { r.WriteInteger("N", 1); }},
                      Misuse{"ClosedKeyNames", [](Registry& r) { r.GetKeyNames(); }},
                      Misuse{"ClosedValueExists", [](Registry& r) { r.ValueExists("Text"); }}),
    [](const ::testing::TestParamInfo<Misuse>& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------------------------------------
// The file itself.

TEST_F(RegistryStore, FileIsReadableRegText) {
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

TEST_F(RegistryStore, HandEditedFileLoads) {
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

class RegistryDamagedFile : public RegistryStore, public ::testing::WithParamInterface<Damage> {};

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

TEST_F(RegistryStore, ChangeThatWouldMakeTheFileUnloadableIsRefused) {
    Registry reg;
    ASSERT_TRUE(reg.OpenKey("Big", true));
    reg.WriteString("Small", "s");
    const std::string before = ReadAll(UserFile());
    EXPECT_THROW(reg.WriteBinary("Huge", Bytes(std::size_t{6} << 20, 0x55)), RegistryError);
    EXPECT_EQ(ReadAll(UserFile()), before);
    EXPECT_EQ(reg.GetValueNames(), Names{"Small"});
}

TEST_F(RegistryStore, FilesAndFolderArePrivateWhateverTheUmask) {
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

// ---------------------------------------------------------------------------------------------------------
// Threads of one process exclude each other like processes do.

TEST_F(RegistryStore, ConcurrentThreadsLoseNoWrite) {
    constexpr int kThreads = 4, kEach = 20;
    std::atomic<int> failures{0};
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([t, &failures] {
                try {
                    Registry reg;
                    if (!reg.OpenKey("Shared", true)) throw RegistryError("not opened");
                    for (int i = 0; i < kEach; ++i)
                        reg.WriteInteger("T" + std::to_string(t) + "_" + std::to_string(i), t * 1000 + i);
                } catch (const RegistryError&) {
                    ++failures;
                }
            });
    }
    EXPECT_EQ(failures, 0);
    Registry reg;
    ASSERT_TRUE(reg.OpenKey("Shared", false));
    EXPECT_EQ(reg.GetValueNames().size(), std::size_t{kThreads * kEach});
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kEach; ++i)
            EXPECT_EQ(reg.ReadInteger("T" + std::to_string(t) + "_" + std::to_string(i)), t * 1000 + i);
}

}  // namespace
