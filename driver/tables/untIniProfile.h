#pragma once
// Reads an ini file the way the platform's profile functions read it (GetPrivateProfileString and its
// kin), for the tables export file:
// - a line is blank, a comment (first character ";"), a section header "[name]" or a key line "key=value";
//   blanks and tabs around each line are ignored;
// - a key is the text before the first "=", a value the text after it, both without surrounding blanks and
//   tabs; then one pair of matching double or single quotation marks around the value is removed;
// - sections and keys are matched without case (ASCII and Cyrillic letters fold); where a name repeats, the
//   first one in the file is the one that is read.
//
// A line that is none of these and holds no "=" is skipped, as the platform functions skip it, and its number
// is kept (SkippedLines). Unlike those functions it refuses what would change the values read (an unclosed
// section header, which would give the lines after it to the section before; a key line before the first
// section; an empty key; a NUL) instead of reading what it can: the whole text is checked when it is parsed,
// so a caller applies either all of a file or nothing.

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// What makes a line of an ini file unreadable.
enum class TIniFault {
    BadCharacter,       // a NUL
    UnclosedSection,    // "[" without "]" at the end
    KeyOutsideSection,  // a key line before the first section
    EmptyKey,           // "=" first
};

// A file that is not a valid ini file: the message names the file, the line and the fault.
class EIniProfileError : public std::runtime_error {
  public:
    EIniProfileError(const std::string& fileName, int line, TIniFault fault);

    const std::string& FileName() const { return fileName_; }
    // Line number from 1.
    int Line() const { return line_; }
    TIniFault Fault() const { return fault_; }

  private:
    std::string fileName_;
    int line_;
    TIniFault fault_;
};

class TIniProfile {
  public:
    // Parses `text` (UTF-8; LF or CR LF ends a line). `fileName` only names the text in errors. Throws
    // EIniProfileError at the first unclosed section header ("[" without "]" at the end), key line before
    // the first section, empty key or NUL character.
    static TIniProfile Parse(std::string_view text, const std::string& fileName);

    // Reads and parses a Windows-1251 file. Empty when the file does not exist. Throws EIniProfileError for a
    // damaged file and std::system_error (naming the path) when it cannot be read.
    static std::optional<TIniProfile> LoadCp1251File(const std::string& path);

    // Section names in file order; a name that repeats (without case) is listed once, at its first place.
    const std::vector<std::string>& SectionNames() const { return sectionNames_; }
    bool HasSection(std::string_view section) const;
    // The value of `key` in section `section`; empty when either is missing.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    // The section's keys in file order, each once; empty for a missing section.
    std::vector<std::string> Keys(std::string_view section) const;
    // Numbers (from 1) of the lines skipped because they are neither blank, comment, header nor key line.
    const std::vector<int>& SkippedLines() const { return skippedLines_; }

  private:
    struct TSection {
        std::vector<std::pair<std::string, std::string>> entries;  // key, value in file order
        std::unordered_map<std::string, std::size_t> index;        // folded key -> first entry
    };

    const TSection* FindSection(std::string_view section) const;

    std::vector<std::string> sectionNames_;
    std::vector<TSection> sections_;                             // parallel to sectionNames_
    std::unordered_map<std::string, std::size_t> sectionIndex_;  // folded name -> section
    std::vector<int> skippedLines_;
};
