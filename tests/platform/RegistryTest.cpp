#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/platform/Registry.h"

using namespace tessel;

namespace {

using Names = std::vector<std::string>;

Names Sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
}

// Every test starts from empty hives: the test program's own store (a settings folder on Linux, keys that
// stand for the hives on Windows; see the test mains).
class RegistryStore : public ::testing::Test {
  protected:
    void SetUp() override {
        for (Hive hive : {Hive::CurrentUser, Hive::ClassesRoot}) {
            Registry reg(hive);
            if (!reg.OpenKey("\\", false)) continue;
            for (const std::string& key : reg.GetKeyNames()) reg.DeleteKey("\\" + key);
            for (const std::string& value : reg.GetValueNames()) reg.DeleteValue(value);
        }
    }
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

TEST_P(RegistryRoundTrip, ValueReadsBack) {
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
    // Their order is the store's own (creation order on Linux; Wine sorts).
    EXPECT_EQ(Sorted(reader.GetValueNames()), Sorted({"Before", c.name, "After"}));
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
                      Str("ReplacementCharacter", "Repl", "\xEF\xBF\xBD"),
                      Str("SectionLookalike", "[x];=", "[Section]\n; not a comment\n\"A\"=dword:1"),
                      Str("AtSignName", "@", "dword:00000001"), Num("Zero", "Zero", 0), Num("One", "One", 1),
                      Num("MinusOne", "MinusOne", -1), Num("Min", "Min", INT32_MIN),
                      Num("Max", "Max", INT32_MAX), Bin("EmptyBinary", "Blob", {}),
                      Bin("AllBytes", "Blob", AllBytes())),
    [](const ::testing::TestParamInfo<RoundTrip>& info) { return std::string(info.param.label); });

// ---------------------------------------------------------------------------------------------------------
// Enumeration order and names.

TEST_F(RegistryStore, SubkeysSortCaseInsensitivelyAndValuesAreReplacedInPlace) {
    Registry reg;
    ASSERT_TRUE(reg.OpenKey("Devices", true));
    for (const char* name : {"Device2", "device10", "Zed", "Ёлка", "Device1", "Б", "ель", "а"})
        ASSERT_TRUE(reg.OpenKey(std::string("\\Devices\\") + name, true)) << name;
    ASSERT_TRUE(reg.OpenKey("\\Devices", false));
    EXPECT_EQ(reg.GetKeyNames(), (Names{"Device1", "device10", "Device2", "Zed", "а", "Б", "ель", "Ёлка"}));
    EXPECT_TRUE(reg.HasSubKeys());

    reg.WriteString("Zeta", "z");
    reg.WriteInteger("alpha", 1);
    // Replacing, even with another spelling and type, keeps one value under the first spelling.
    reg.WriteString("ALPHA", "now text");
    EXPECT_EQ(Sorted(reg.GetValueNames()), (Names{"Zeta", "alpha"}));
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
