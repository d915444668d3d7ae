#include "common/ini/BigIni.h"

#include <array>
#include <cstdint>
#include <optional>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "common/platform/AtomicFile.h"
#include "common/platform/CodePage.h"

namespace {

constexpr std::size_t npos = std::string::npos;
// "[" name "]" must fit in one line, or the header would come back as an ordinary line.
constexpr std::size_t kMaxSectionName = TBigIniFile::MaxLine - 2;
// key "=" must fit in one line, or the line could never be found by its key again.
constexpr std::size_t kMaxKey = TBigIniFile::MaxLine - 1;

bool IsUtf8(std::string_view s) {
    std::size_t pos = 0;
    while (pos < s.size()) {
        const std::size_t start = pos;
        const auto lead = static_cast<unsigned char>(s[pos]);
        tessel::NextUtf8Char(s, pos);
        // A malformed sequence is skipped one byte at a time; a whole character above ASCII takes more.
        if (lead >= 0x80 && pos - start == 1) return false;
    }
    return true;
}

// Windows-1251 byte -> byte of its lower-case letter (the byte itself when it has none).
const std::array<char, 256>& Cp1251FoldTable() {
    static const std::array<char, 256> table = [] {
        std::array<char, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const int folded =
                tessel::CharToCp1251(tessel::FoldCase(tessel::Cp1251ToChar(static_cast<unsigned char>(b))));
            t[static_cast<std::size_t>(b)] = static_cast<char>(folded < 0 ? b : folded);
        }
        return t;
    }();
    return table;
}

// The name with its letters folded; never changes the length, so names of different lengths never match.
std::string FoldName(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    if (IsUtf8(s)) {
        std::size_t pos = 0;
        while (pos < s.size()) tessel::AppendUtf8(out, tessel::FoldCase(tessel::NextUtf8Char(s, pos)));
    } else {
        const auto& table = Cp1251FoldTable();
        for (const char c : s) out += table[static_cast<unsigned char>(c)];
    }
    return out;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && (a == b || FoldName(a) == FoldName(b));
}

// The first `limit` characters of `s`: whole UTF-8 characters of text that is UTF-8, bytes of any other.
std::string_view CutView(std::string_view s, std::size_t limit) {
    if (s.size() <= limit) return s;
    if (!IsUtf8(s)) return s.substr(0, limit);
    std::size_t pos = 0;
    for (std::size_t count = 0; count < limit && pos < s.size(); ++count) tessel::NextUtf8Char(s, pos);
    return s.substr(0, pos);
}

std::string Cut(std::string_view s, std::size_t limit = TBigIniFile::MaxLine) {
    return std::string(CutView(s, limit));
}

// Only LF ends a line in the file (a CR before it goes with it); each such line break becomes one blank, so
// nothing written can split into lines of its own. A lone CR is ordinary data and stays.
std::string WithoutLineBreaks(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
        out += s[i] == '\n' ? ' ' : s[i];
    }
    return out;
}

std::string NormalSection(std::string_view section) {
    return Cut(WithoutLineBreaks(section), kMaxSectionName);
}
std::string NormalKey(std::string_view key) {
    return Cut(WithoutLineBreaks(key), kMaxKey);
}

bool IsBlankOrTab(char c) {
    return c == ' ' || c == '\t';
}

void CutTrailingControls(std::string& line) {
    while (!line.empty() && static_cast<unsigned char>(line.back()) < 33) line.pop_back();
}

void TrimAroundEquals(std::string& line) {
    const std::size_t eq = line.find('=');
    if (eq == npos) return;
    std::size_t left = eq;
    while (left > 0 && IsBlankOrTab(line[left - 1])) --left;
    std::size_t right = eq + 1;
    while (right < line.size() && IsBlankOrTab(line[right])) ++right;
    line.replace(left, right - left, "=");
}

void RemoveQuotes(std::string& line) {
    const std::size_t eq = line.find('=');
    if (eq == npos) return;
    const std::size_t len = line.size() - eq - 1;
    if (len < 2) return;
    const char first = line[eq + 1];
    if ((first == '"' || first == '\'') && line.back() == first) {
        line.pop_back();
        line.erase(eq + 1, 1);
    }
}

// Trailing blanks go before the quotes are looked at, so a quoted value keeps the blanks inside its quotes.
// Returns false for a line to drop.
bool ApplyReadOptions(std::string& line, const TIniReadOptions& options) {
    if (options.DropComments && !line.empty() && line.front() == ';') return false;
    if (options.OnlyKeyLines && line.find('=') == npos) return false;
    if (options.CutTrailingControls) CutTrailingControls(line);
    if (options.TrimAroundEquals) TrimAroundEquals(line);
    if (options.RemoveQuotes) RemoveQuotes(line);
    return !line.empty();
}

bool IsHeader(std::string_view line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

struct ParsedSection {
    std::string name;
    std::vector<std::string> lines;
};

// Splits at LF, dropping one CR before it; the last line needs no line end.
std::vector<ParsedSection> ParseSections(std::string_view text, const TIniReadOptions& options) {
    std::vector<ParsedSection> sections;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == npos) end = text.size();
        std::string_view raw = text.substr(start, end - start);
        start = end + 1;
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        std::string line = Cut(raw);
        if (IsHeader(line)) {
            sections.push_back({line.substr(1, line.size() - 2), {}});
        } else if (!sections.empty() && ApplyReadOptions(line, options)) {
            sections.back().lines.push_back(std::move(line));
        }
    }
    return sections;
}

// Keeps one section of each name; returns whether any was dropped.
bool DropDuplicates(std::vector<ParsedSection>& sections, const TDuplicateSectionEvent& onDuplicate) {
    std::vector<std::optional<ParsedSection>> kept;
    std::unordered_map<std::string, std::size_t> byName;
    bool dropped = false;
    for (auto& section : sections) {
        auto [it, inserted] = byName.try_emplace(FoldName(section.name), kept.size());
        if (!inserted) {
            dropped = true;
            auto& earlier = kept[it->second];
            if (!onDuplicate || !onDuplicate(earlier->name, earlier->lines, section.lines)) continue;
            earlier.reset();
            it->second = kept.size();
        }
        kept.emplace_back(std::move(section));
    }
    sections.clear();
    for (auto& section : kept) {
        if (section) sections.push_back(std::move(*section));
    }
    return dropped;
}

TSectionList BuildSectionList(std::string_view text, const TIniReadOptions& options,
                              const TDuplicateSectionEvent& onDuplicate, bool& dropped) {
    std::vector<ParsedSection> parsed = ParseSections(text, options);
    dropped = DropDuplicates(parsed, onDuplicate);
    TSectionList list;
    for (auto& section : parsed) list.Add(std::move(section.name), std::move(section.lines));
    return list;
}

bool IsHexDigit(char c, unsigned& value) {
    if (c >= '0' && c <= '9') {
        value = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
        value = static_cast<unsigned>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
        value = static_cast<unsigned>(c - 'A' + 10);
    } else {
        return false;
    }
    return true;
}

std::optional<std::int32_t> ParseHex(std::string_view digits, bool negative) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        unsigned digit = 0;
        if (!IsHexDigit(c, digit)) return std::nullopt;
        value = value * 16 + digit;
        if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    // Hexadecimal text is a 32-bit pattern: "$FFFFFFFF" is -1.
    std::uint32_t bits = static_cast<std::uint32_t>(value);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
}

std::optional<std::int32_t> ParseDecimal(std::string_view digits, bool negative) {
    if (digits.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{1} << 31) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// Leading blanks, an optional sign, then decimal digits or "$" and hexadecimal digits, nothing after.
std::int32_t StrToIntDef(std::string_view s, std::int32_t def) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    std::optional<std::int32_t> value;
    if (i < s.size() && s[i] == '$') {
        value = ParseHex(s.substr(i + 1), negative);
    } else {
        value = ParseDecimal(s.substr(i), negative);
    }
    return value.value_or(def);
}

}  // namespace

std::size_t IniTextLength(std::string_view s) {
    if (!IsUtf8(s)) return s.size();
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < s.size(); ++count) tessel::NextUtf8Char(s, pos);
    return count;
}

EIniFileError::EIniFileError(const std::string& fileName, const std::string& message)
    : std::runtime_error(message.find(fileName) == npos ? message + " ('" + fileName + "')" : message),
      fileName_(fileName) {}

std::size_t TSectionList::IndexOf(std::string_view name) {
    const std::size_t count = items_.size();
    if (count == 0) return npos;
    const std::string key = FoldName(name);
    const std::size_t start = prevSection_ < count ? prevSection_ : 0;
    for (std::size_t step = 0; step < count; ++step) {
        const std::size_t i = (start + step) % count;
        if (items_[i].key == key) {
            prevSection_ = i;
            return i;
        }
    }
    return npos;
}

std::size_t TSectionList::Add(std::string name, std::vector<std::string> lines) {
    std::string key = FoldName(name);
    items_.push_back({std::move(name), std::move(key), std::move(lines)});
    return items_.size() - 1;
}

void TSectionList::Delete(std::size_t index) {
    if (index >= items_.size()) throw std::out_of_range("section index out of range");
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
    if (prevSection_ >= items_.size()) prevSection_ = 0;
}

void TSectionList::Clear() {
    items_.clear();
    prevSection_ = 0;
}

TBigIniFile::TBigIniFile(const std::string& fileName, TIniReadOptions options,
                         TDuplicateSectionEvent onDuplicateSection)
    : options_(options), onDuplicateSection_(std::move(onDuplicateSection)) {
    LoadFromText(ReadFileText(fileName));
    fileName_ = fileName;
}

TBigIniFile::~TBigIniFile() {
    try {
        UpdateFile();
    } catch (...) {
        // A destructor must not throw; owners that need the outcome call UpdateFile themselves.
    }
}

std::string TBigIniFile::ReadFileText(const std::string& fileName) {
    if (IniTextLength(fileName) > MaxFileName) {
        throw EIniFileError(fileName, "ini file name longer than 255 characters: '" + fileName + "'");
    }
    std::string text;
    if (fileName.empty()) return text;
    try {
        if (!tessel::ReadWholeFile(fileName, text)) text.clear();
    } catch (const std::system_error& e) {
        throw EIniFileError(fileName, e.what());
    }
    return text;
}

void TBigIniFile::SetFileName(const std::string& fileName) {
    UpdateFile();
    const std::string text = ReadFileText(fileName);
    bool dropped = false;
    TSectionList loaded = BuildSectionList(text, options_, onDuplicateSection_, dropped);
    fileName_ = fileName;
    sections_ = std::move(loaded);
    modified_ = dropped;
}

void TBigIniFile::LoadFromText(std::string_view text) {
    bool dropped = false;
    TSectionList loaded = BuildSectionList(text, options_, onDuplicateSection_, dropped);
    sections_ = std::move(loaded);
    modified_ = dropped;
}

std::string TBigIniFile::SaveToText() const {
    std::string text;
    text.reserve(BufferSize);
    for (std::size_t i = 0; i < sections_.Count(); ++i) {
        const auto& lines = sections_.Lines(i);
        if (lines.empty()) continue;
        text += '[';
        text += sections_.Name(i);
        text += "]\r\n";
        for (const auto& line : lines) {
            text += line;
            text += "\r\n";
        }
        text += "\r\n";
    }
    return text;
}

std::size_t TBigIniFile::FindSection(std::string_view section) {
    return sections_.IndexOf(NormalSection(section));
}

std::size_t TBigIniFile::FindOrAddSection(std::string_view section) {
    std::string name = NormalSection(section);
    const std::size_t found = sections_.IndexOf(name);
    return found != npos ? found : sections_.Add(std::move(name));
}

std::size_t TBigIniFile::FindKey(std::size_t index, std::string_view key) const {
    const auto& lines = sections_.Lines(index);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t eq = lines[i].find('=');
        if (eq != npos && SameName(std::string_view(lines[i]).substr(0, eq), key)) return i;
    }
    return npos;
}

std::string TBigIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) {
    const std::size_t s = FindSection(section);
    if (s == npos) return Cut(def);
    const std::size_t k = FindKey(s, NormalKey(key));
    if (k == npos) return Cut(def);
    const std::string& line = sections_.Lines(s)[k];
    return Cut(std::string_view(line).substr(line.find('=') + 1));
}

void TBigIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (key.empty()) {
        if (!section.empty() || !value.empty()) {
            EraseSection(section);
        } else {
            UpdateFile();
        }
        return;
    }
    const std::string normalKey = NormalKey(key);
    std::string line = Cut(normalKey + "=" + WithoutLineBreaks(value));
    const std::size_t s = FindOrAddSection(section);
    auto& lines = sections_.Lines(s);
    const std::size_t k = FindKey(s, normalKey);
    if (k == npos) {
        lines.push_back(std::move(line));
        modified_ = true;
    } else if (lines[k] != line) {
        lines[k] = std::move(line);
        modified_ = true;
    }
}

int TBigIniFile::ReadInteger(std::string_view section, std::string_view key, int def) {
    std::string text = ReadString(section, key, "");
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.replace(0, 2, "$");
    return StrToIntDef(text, def);
}

void TBigIniFile::WriteInteger(std::string_view section, std::string_view key, int value) {
    WriteString(section, key, std::to_string(value));
}

bool TBigIniFile::ReadBool(std::string_view section, std::string_view key, bool def) {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TBigIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TBigIniFile::ReadSection(std::string_view section, std::vector<std::string>& keys) {
    keys.clear();
    const std::size_t s = FindSection(section);
    if (s == npos) return;
    for (const auto& line : sections_.Lines(s)) {
        const std::size_t eq = line.find('=');
        if (eq != npos) keys.push_back(line.substr(0, eq));
    }
}

void TBigIniFile::ReadSections(std::vector<std::string>& names) const {
    names.clear();
    for (std::size_t i = 0; i < sections_.Count(); ++i) names.push_back(sections_.Name(i));
}

void TBigIniFile::ReadSectionValues(std::string_view section, std::vector<std::string>& lines) {
    lines.clear();
    const std::size_t s = FindSection(section);
    if (s != npos) lines = sections_.Lines(s);
}

void TBigIniFile::EraseSection(std::string_view section) {
    const std::size_t s = FindSection(section);
    if (s == npos) return;
    sections_.Delete(s);
    modified_ = true;
}

void TBigIniFile::DeleteKey(std::string_view section, std::string_view key) {
    const std::size_t s = FindOrAddSection(section);
    const std::size_t k = FindKey(s, NormalKey(key));
    if (k == npos) return;
    auto& lines = sections_.Lines(s);
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(k));
    modified_ = true;
}

void TBigIniFile::UpdateFile() {
    if (!modified_ || fileName_.empty()) return;
    try {
        tessel::WriteFileAtomically(fileName_, SaveToText(), 0644);
    } catch (const std::system_error& e) {
        throw EIniFileError(fileName_, e.what());
    }
    modified_ = false;
}
