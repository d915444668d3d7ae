// Arbitrary text through the ini store's loader. The first input byte chooses the reading options (bits 0-4)
// and whether a duplicate-section handler is set (bit 5) and which way it leans (bit 6); the rest is the
// file's text. Every held line must respect the store's limits, the saved text must load back to itself, and
// a written value must read back as written.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/ini/BigIni.h"

namespace {

void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "ini invariant broken: %s\n", what);
        std::abort();
    }
}

TIniReadOptions OptionsOf(std::uint8_t flags) {
    TIniReadOptions options;
    options.DropComments = (flags & 0x01) != 0;
    options.OnlyKeyLines = (flags & 0x02) != 0;
    options.TrimAroundEquals = (flags & 0x04) != 0;
    options.RemoveQuotes = (flags & 0x08) != 0;
    options.CutTrailingControls = (flags & 0x10) != 0;
    return options;
}

TDuplicateSectionEvent HandlerOf(std::uint8_t flags) {
    if ((flags & 0x20) == 0) return {};
    const bool preferLonger = (flags & 0x40) != 0;
    return [preferLonger](const std::string&, const std::vector<std::string>& kept,
                          const std::vector<std::string>& later) {
        return preferLonger ? later.size() > kept.size() : later.size() < kept.size();
    };
}

void CheckHeldLines(TBigIniFile& ini, const TIniReadOptions& options) {
    std::vector<std::string> names, keys, lines;
    ini.ReadSections(names);
    Require(names.size() == ini.Sections().Count(), "section list");
    for (const auto& name : names) {
        Require(IniTextLength(name) <= TBigIniFile::MaxLine - 2, "section name length");
        ini.ReadSection(name, keys);
        ini.ReadSectionValues(name, lines);
        Require(keys.size() <= lines.size(), "more keys than lines");
        for (const auto& line : lines) {
            Require(!line.empty() && IniTextLength(line) <= TBigIniFile::MaxLine, "line length");
            Require(line.find('\n') == std::string::npos, "line break inside a line");
            if (options.OnlyKeyLines) Require(line.find('=') != std::string::npos, "line without '='");
            if (options.DropComments) Require(line.front() != ';', "comment kept");
        }
        for (const auto& key : keys) {
            Require(IniTextLength(ini.ReadString(name, key, "")) <= TBigIniFile::MaxLine, "value length");
            ini.ReadInteger(name, key, 0);
        }
    }
}

// Saved text loads back (options off) to the same text; with options off nothing changes on the way.
void CheckRoundTrip(const TBigIniFile& ini, bool optionsOff) {
    const std::string saved = ini.SaveToText();
    TBigIniFile again("");
    again.LoadFromText(saved);
    const std::string resaved = again.SaveToText();
    if (optionsOff) Require(!again.Modified() && resaved == saved, "saved text does not load back");
    TBigIniFile third("");
    third.LoadFromText(resaved);
    Require(!third.Modified() && third.SaveToText() == resaved, "resaved text does not load back");
}

void CheckWriteRead(TBigIniFile& ini, std::string_view value) {
    std::vector<std::string> names;
    ini.ReadSections(names);
    const std::string section = names.empty() ? std::string("S") : names.front();
    ini.WriteString(section, "fuzz", value);
    const std::string read = ini.ReadString(section, "fuzz", "missing");
    std::string expected;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') continue;
        expected += value[i] == '\n' ? ' ' : value[i];
    }
    // Only the line limit may shorten the value.
    Require(expected.compare(0, read.size(), read) == 0, "value read back is not what was written");
    // The limit counts characters of a line that is UTF-8, else bytes.
    Require(read.size() == expected.size() || read.size() + 5 >= TBigIniFile::MaxLine ||
                IniTextLength(read) + 5 >= TBigIniFile::MaxLine,
            "value cut short");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t flags = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const TIniReadOptions options = OptionsOf(flags);

    TBigIniFile ini("", options, HandlerOf(flags));
    ini.LoadFromText(text);
    CheckHeldLines(ini, options);
    CheckRoundTrip(ini, (flags & 0x1F) == 0);
    CheckWriteRead(ini, text.substr(0, 300));
    return 0;
}
