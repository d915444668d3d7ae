#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/ini/BigIni.h"
#include "support/TempDir.h"

using namespace std::string_literals;
using Strings = std::vector<std::string>;

namespace {

void WriteRaw(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadRaw(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Sections as "[name]line|line", joined by ";".
std::string Dump(const TBigIniFile& ini) {
    std::string out;
    const auto& sections = ini.Sections();
    for (std::size_t i = 0; i < sections.Count(); ++i) {
        out += (i > 0 ? ";[" : "[") + sections.Name(i) + "]";
        for (std::size_t j = 0; j < sections.Lines(i).size(); ++j)
            out += (j > 0 ? "|" : "") + sections.Lines(i)[j];
    }
    return out;
}

struct LoadCase {
    TIniReadOptions options;
    std::string text;
    std::string expected;
};

class BigIniLoad : public ::testing::TestWithParam<LoadCase> {};

TEST_P(BigIniLoad, SplitsSectionsAndAppliesReadOptions) {
    TBigIniFile ini("", GetParam().options);
    ini.LoadFromText(GetParam().text);
    EXPECT_EQ(Dump(ini), GetParam().expected);
}

constexpr TIniReadOptions kOff{};
constexpr TIniReadOptions kComments{true, false, false, false, false};
constexpr TIniReadOptions kKeyLines{false, true, false, false, false};
constexpr TIniReadOptions kTrim{false, false, true, false, false};
constexpr TIniReadOptions kQuotes{false, false, false, true, false};
constexpr TIniReadOptions kTrailing{false, false, false, false, true};
constexpr TIniReadOptions kAll{true, true, true, true, true};

INSTANTIATE_TEST_SUITE_P(
    Texts, BigIniLoad,
    ::testing::Values(
        LoadCase{kOff, "[A]\nx=1\r\ny=2\n", "[A]x=1|y=2"}, LoadCase{kOff, "[A]\r\nx=1", "[A]x=1"},
        LoadCase{kOff, "a=1\n[A]\nb=2", "[A]b=2"}, LoadCase{kOff, "[A]\n\n\r\n[B]\nx=1\n\n", "[A];[B]x=1"},
        LoadCase{kOff, "[A]\nx=a\rb\r\r\n", "[A]x=a\rb\r"},
        LoadCase{kOff, "[A]\n [B]\n[C] \n[\n", "[A] [B]|[C] |["},
        LoadCase{kOff, "[]\n;c\n k = \"v\" \t", "[];c| k = \"v\" \t"},
        LoadCase{kOff, "[\xC0\xFF]\nk=\x01\x00\x98"s, "[\xC0\xFF]k=\x01\x00\x98"s},
        // Duplicates without case: UTF-8 and Windows-1251 letters fold, blanks count.
        LoadCase{kOff, "[Ёж]\nx=1\n[ёЖ]\ny=2\n[a]\n[a ]", "[Ёж]x=1;[a];[a ]"},
        LoadCase{kOff, "[\xCF\xE0\xF0\xA8]\nx=1\n[\xEF\xC0\xD0\xB8]\ny=2\n[\xC0]\n[\xE1]",
                 "[\xCF\xE0\xF0\xA8]x=1;[\xC0];[\xE1]"},
        LoadCase{kComments, "[S]\n;c=1\n ;c", "[S] ;c"}, LoadCase{kKeyLines, "[S]\nnoeq\nk=", "[S]k="},
        LoadCase{kTrim, "[S]\nk \t=\t v\n a = b = c ", "[S]k=v| a=b = c "},
        LoadCase{kQuotes, "[S]\nk=\"v w\"\nk='v'\nk=\"\"v\"\"\nk=''", "[S]k=v w|k=v|k=\"v\"|k="},
        LoadCase{kQuotes, "[S]\nk=\"v'\nk='v\"\nk=\"\n\"k\"", "[S]k=\"v'|k='v\"|k=\"|\"k\""},
        LoadCase{kTrailing, "[S]\nk=v \t\x01\x1F\nk=\xA0\xFF\n \t ", "[S]k=v|k=\xA0\xFF"},
        LoadCase{kAll, "[S]\n k \t= \"v \" \t\n;k=v\nnoeq", "[S] k=v "}));

TEST(BigIniDuplicates, FirstKeptUnlessHandlerChoosesLater) {
    TempDir dir;
    WriteRaw(dir.File("dup.ini"), "[A]\nx=1\n[a]\ny=2\n");
    {
        TBigIniFile ini(dir.File("dup.ini"));
        EXPECT_EQ(Dump(ini), "[A]x=1");
        EXPECT_TRUE(ini.Modified());
    }
    EXPECT_EQ(ReadRaw(dir.File("dup.ini")), "[A]\r\nx=1\r\n\r\n");
    Strings asked;
    TBigIniFile ini("", {}, [&](const std::string& name, const Strings& kept, const Strings& later) {
        asked.push_back(name + ":" + kept.at(0) + ">" + later.at(0));
        return later.at(0) == "n=2";
    });
    ini.LoadFromText("[A]\nn=1\n[B]\nb=1\n[a]\nn=2\n[A]\nn=3\n");
    EXPECT_EQ(Dump(ini), "[B]b=1;[a]n=2");
    EXPECT_EQ(asked, (Strings{"A:n=1>n=2", "a:n=2>n=3"}));
}

struct IntegerCase {
    std::string text;
    int expected;
};

class BigIniReadInteger : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(BigIniReadInteger, ConvertsOrGivesDefault) {
    TBigIniFile ini("");
    ini.WriteString("S", "k", GetParam().text);
    EXPECT_EQ(ini.ReadInteger("S", "k", -99), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, BigIniReadInteger,
                         ::testing::Values(IntegerCase{"0x1F", 31}, IntegerCase{"0X1f", 31},
                                           IntegerCase{"abc", -99}, IntegerCase{"$ff", 255},
                                           IntegerCase{"-$10", -16}, IntegerCase{"-0x10", -99},
                                           IntegerCase{" 5", 5}, IntegerCase{"5 ", -99}, IntegerCase{"", -99},
                                           IntegerCase{"0x", -99}, IntegerCase{"2147483647", 2147483647},
                                           IntegerCase{"2147483648", -99},
                                           IntegerCase{"-2147483648", -2147483647 - 1},
                                           IntegerCase{"$FFFFFFFF", -1}, IntegerCase{"$100000000", -99},
                                           IntegerCase{"99999999999999999999", -99}));

TEST(BigIniValues, KeysBoolsAndLists) {
    TBigIniFile ini("");
    ini.LoadFromText("[A]\nK=1\nk=2\nnoeq\n=empty\n");
    EXPECT_EQ(ini.ReadString("a", "k", ""), "1");  // first line, names without case
    EXPECT_EQ(ini.ReadString("A", "", "d"), "empty");
    EXPECT_EQ(ini.ReadString("A", "noeq", "d"), "d");
    ini.WriteString("A", "k", "3");
    ini.WriteBool("A", "b", false);
    ini.WriteInteger("A", "n", -42);
    EXPECT_EQ(Dump(ini), "[A]k=3|k=2|noeq|=empty|b=0|n=-42");
    EXPECT_FALSE(ini.ReadBool("A", "b", true));
    EXPECT_TRUE(ini.ReadBool("A", "n", false));
    EXPECT_TRUE(ini.ReadBool("A", "noeq", true));
    Strings list{"stale"};
    ini.ReadSection("A", list);
    EXPECT_EQ(list, (Strings{"k", "k", "", "b", "n"}));
    ini.ReadSectionValues("missing", list);
    EXPECT_TRUE(list.empty());
}

TEST(BigIniWrite, FileFormatEmptySectionsAndFlush) {
    TempDir dir;
    const std::string path = dir.File("out.ini");
    TBigIniFile ini(path);
    ini.WriteString("A", "x", "1");
    ini.WriteString("B", "y", "2");
    ini.WriteString("A", "z", "3");
    ini.WriteString("D", "w", "4");
    ini.DeleteKey("B", "y");       // B is left empty
    ini.DeleteKey("C", "none");    // C is created empty
    ini.WriteString("D", "", "");  // an empty key with a section erases it
    Strings names;
    ini.ReadSections(names);
    EXPECT_EQ(names, (Strings{"A", "B", "C"}));
    EXPECT_FALSE(std::filesystem::exists(path));
    ini.WriteString("", "", "");  // ... and without one writes the file
    EXPECT_FALSE(ini.Modified());
    EXPECT_EQ(ReadRaw(path), "[A]\r\nx=1\r\nz=3\r\n\r\n");
    std::filesystem::remove(path);
    ini.UpdateFile();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(BigIniWrite, UnchangedContentsNeverRewritten) {
    TempDir dir;
    const std::string path = dir.File("same.ini");
    WriteRaw(path, "[A]\nx=1\nn=5\n");
    {
        TBigIniFile ini(path);
        ini.WriteString("a", "x", "1");
        ini.WriteInteger("A", "n", 5);
        ini.DeleteKey("A", "missing");
        ini.EraseSection("missing");
        EXPECT_FALSE(ini.Modified());
    }
    EXPECT_EQ(ReadRaw(path), "[A]\nx=1\nn=5\n");
}

TEST(BigIniWrite, LineBreaksCannotInjectLines) {
    TempDir dir;
    const std::string path = dir.File("inject.ini");
    {
        TBigIniFile ini(path);
        ini.WriteString("S\nX", "k\r\n", "a\r\n[B]\nz=1");
        ini.WriteString("S\nX", "cr", "x\ry\r");
        EXPECT_EQ(ini.ReadString("S\nX", "k\r\n", ""), "a [B] z=1");
    }
    TBigIniFile again(path);
    EXPECT_EQ(Dump(again), "[S X]k =a [B] z=1|cr=x\ry\r");
}

TEST(BigIniCuts, LinesAt255) {
    const std::string v253(253, 'v'), v254(254, 'v');
    TBigIniFile ini("");
    ini.LoadFromText("[R]\nk=" + v253 + "\nk=" + v254 + "\n[N]\nk=" + std::string(5000, 'v'));
    ini.WriteString("W", "a", v253);
    ini.WriteString("W", "b", v254);
    EXPECT_EQ(Dump(ini), "[R]k=" + v253 + "|k=" + v253 + ";[N]k=" + v253 + ";[W]a=" + v253 + "|b=" + v253);
    EXPECT_EQ(ini.ReadString("W", "missing", v254 + "xx"), v254 + "x");
}

// The limits count characters: a Cyrillic letter of UTF-8 text is one, as a Windows-1251 byte is.
TEST(BigIniCuts, WholeCharactersAndFindableNames) {
    TempDir dir;
    const std::string path = dir.File("long.ini");
    const auto letters = [](int n) {
        std::string utf8;
        for (int i = 0; i < n; ++i) utf8 += "ж";
        return utf8;
    };
    const std::string name = letters(300), key = letters(300);
    {
        TBigIniFile ini(path);
        ini.WriteString("S", "u", letters(200));
        ini.WriteString("S", "long", letters(300));
        ini.WriteString("S", "c", std::string(300, '\xE6'));
        ini.WriteString("S", key, "a");
        ini.WriteString("S", key, "b");
        ini.WriteString(name, "x", "1");
    }
    TBigIniFile again(path);
    EXPECT_EQ(again.ReadString("S", "u", ""), letters(200));
    EXPECT_EQ(again.ReadString("S", "long", ""), letters(250));  // after "long="
    EXPECT_EQ(again.ReadString("S", "c", ""), std::string(253, '\xE6'));
    EXPECT_EQ(again.Sections().Lines(0).at(3), letters(254) + "=");
    EXPECT_EQ(again.Sections().Lines(0).size(), 4u);
    EXPECT_EQ(again.Sections().Name(1), letters(253));
    EXPECT_EQ(IniTextLength(again.Sections().Name(1)), 253u);
    EXPECT_EQ(again.ReadString(name, "x", ""), "1");
}

TEST(BigIniSearch, PrevSectionWrapsAndResets) {
    TBigIniFile ini("");
    ini.LoadFromText("[A]\nk=a\n[B]\nk=b\n[C]\nk=c\n");
    EXPECT_EQ(ini.ReadString("c", "k", ""), "c");
    EXPECT_EQ(ini.ReadString("missing", "k", "d"), "d");
    EXPECT_EQ(ini.PrevSection(), 2u);
    EXPECT_EQ(ini.ReadString("A", "k", ""), "a");  // found after wrapping
    EXPECT_EQ(ini.PrevSection(), 0u);
    ini.EraseSection("C");  // found at 2, then past the end
    EXPECT_EQ(ini.PrevSection(), 0u);
    EXPECT_EQ(ini.ReadString("B", "k", ""), "b");
}

TEST(BigIniFiles, SetFileNameWritesOldAndLoadsNew) {
    TempDir dir;
    WriteRaw(dir.File("b.ini"), "[B]\ny=2\n");
    TBigIniFile ini(dir.File("a.ini"));
    ini.WriteString("A", "x", "1");
    ini.SetFileName(dir.File("b.ini"));
    EXPECT_EQ(ReadRaw(dir.File("a.ini")), "[A]\r\nx=1\r\n\r\n");
    EXPECT_EQ(Dump(ini), "[B]y=2");
    EXPECT_THROW(ini.SetFileName(dir.Path()), EIniFileError);  // a folder cannot be read
    EXPECT_EQ(ini.FileName(), dir.File("b.ini"));
    EXPECT_EQ(Dump(ini), "[B]y=2");
}

TEST(BigIniFiles, ErrorsNameTheFileAndKeepContents) {
    TempDir dir;
    const std::string tooLong = dir.File(std::string(256 - dir.Path().size() - 1, 'f'));
    EXPECT_THROW(TBigIniFile{tooLong}, EIniFileError);
    EXPECT_NO_THROW(TBigIniFile{tooLong.substr(0, 255)});
    const std::string unwritable = dir.File("missing/out.ini");
    TBigIniFile ini(unwritable);
    ini.WriteString("A", "x", "1");
    try {
        ini.UpdateFile();
        FAIL() << "wrote into a missing folder";
    } catch (const EIniFileError& e) {
        EXPECT_EQ(e.FileName(), unwritable);
        EXPECT_NE(std::string(e.what()).find(unwritable), std::string::npos) << e.what();
    }
    EXPECT_TRUE(ini.Modified());
    EXPECT_EQ(Dump(ini), "[A]x=1");
}  // the destructor's failed write is swallowed

}  // namespace
