#include "driver/tables/untIniProfile.h"

#include "common/platform/AtomicFile.h"
#include "common/platform/CodePage.h"
#include "common/platform/TextTrim.h"

namespace {

// The value as the profile functions give it: one pair of matching quotation marks removed.
std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// The name folded for comparisons without case.
std::string Fold(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    std::size_t pos = 0;
    while (pos < name.size()) tessel::AppendUtf8(out, tessel::FoldCase(tessel::NextUtf8Char(name, pos)));
    return out;
}

}  // namespace

namespace {

const char* FaultText(TIniFault fault) {
    switch (fault) {
        case TIniFault::BadCharacter:
            return "недопустимый символ";
        case TIniFault::UnclosedSection:
            return "заголовок секции не закрыт";
        case TIniFault::KeyOutsideSection:
            return "ключ вне секции";
        case TIniFault::EmptyKey:
            return "пустой ключ";
    }
    return "";
}

}  // namespace

EIniProfileError::EIniProfileError(const std::string& fileName, int line, TIniFault fault)
    : std::runtime_error("Ошибка в файле \"" + fileName + "\", строка " + std::to_string(line) + ": " +
                         FaultText(fault)),
      fileName_(fileName),
      line_(line),
      fault_(fault) {}

TIniProfile TIniProfile::Parse(std::string_view text, const std::string& fileName) {
    TIniProfile profile;
    // The section that key lines go to; null before the first header and inside a repeated section, whose
    // lines are checked but never read.
    TSection* current = nullptr;
    bool inSection = false;
    int lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find('\0') != std::string_view::npos)
            throw EIniProfileError(fileName, lineNumber, TIniFault::BadCharacter);
        line = tessel::TrimBlanks(line);
        if (line.empty() || line.front() == ';') continue;

        if (line.front() == '[') {
            if (line.size() < 2 || line.back() != ']')
                throw EIniProfileError(fileName, lineNumber, TIniFault::UnclosedSection);
            std::string name(line.substr(1, line.size() - 2));
            const auto [it, added] = profile.sectionIndex_.emplace(Fold(name), profile.sections_.size());
            if (added) {
                profile.sectionNames_.push_back(std::move(name));
                profile.sections_.emplace_back();
                current = &profile.sections_.back();
            } else {
                current = nullptr;
            }
            inSection = true;
            continue;
        }

        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            // Names no value: the profile functions pass over it, and so does this reader.
            profile.skippedLines_.push_back(lineNumber);
            continue;
        }
        if (!inSection) throw EIniProfileError(fileName, lineNumber, TIniFault::KeyOutsideSection);
        const std::string_view key = tessel::TrimBlanks(line.substr(0, eq));
        if (key.empty()) throw EIniProfileError(fileName, lineNumber, TIniFault::EmptyKey);
        if (current == nullptr) continue;
        const auto [it, added] = current->index.emplace(Fold(key), current->entries.size());
        if (added)
            current->entries.emplace_back(std::string(key),
                                          std::string(Unquote(tessel::TrimBlanks(line.substr(eq + 1)))));
    }
    return profile;
}

std::optional<TIniProfile> TIniProfile::LoadCp1251File(const std::string& path) {
    std::string bytes;
    if (!tessel::ReadWholeFile(path, bytes)) return std::nullopt;
    return Parse(tessel::Cp1251ToUtf8(bytes), path);
}

const TIniProfile::TSection* TIniProfile::FindSection(std::string_view section) const {
    const auto it = sectionIndex_.find(Fold(section));
    return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

bool TIniProfile::HasSection(std::string_view section) const {
    return FindSection(section) != nullptr;
}

std::optional<std::string> TIniProfile::Value(std::string_view section, std::string_view key) const {
    const TSection* s = FindSection(section);
    if (s == nullptr) return std::nullopt;
    const auto it = s->index.find(Fold(key));
    if (it == s->index.end()) return std::nullopt;
    return s->entries[it->second].second;
}

std::vector<std::string> TIniProfile::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    if (const TSection* s = FindSection(section)) {
        keys.reserve(s->entries.size());
        for (const auto& entry : s->entries) keys.push_back(entry.first);
    }
    return keys;
}
