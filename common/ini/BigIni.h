#pragma once
// An ini file kept wholly in memory: read once when opened, served from memory, written back in one pass
// only when something changed.
//
// Sections, keys, values and lines are byte strings: the store keeps the file's bytes as they are, whatever
// their code page (the driver's export files are Windows-1251, the command tester's settings UTF-8).
// Names compare without case: as UTF-8 (ASCII and Cyrillic letters fold) when a name is valid UTF-8, else as
// Windows-1251 bytes.
//
// Every text limit is 255 characters: of text that is valid UTF-8 its characters are counted (a Cyrillic
// letter is one, not its two bytes), of any other text its bytes, one character each in Windows-1251. A
// cut never splits a character.

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The length of `text` as the limits count it: characters of UTF-8 text, bytes of any other.
std::size_t IniTextLength(std::string_view text);

// A file of the store could not be read or written. The message names the file.
class EIniFileError : public std::runtime_error {
  public:
    EIniFileError(const std::string& fileName, const std::string& message);

    const std::string& FileName() const { return fileName_; }

  private:
    std::string fileName_;
};

// How the lines of a file are treated as they are read. Everything is off unless switched on.
struct TIniReadOptions {
    bool DropComments = false;         // drop lines whose first character is ";"
    bool OnlyKeyLines = false;         // keep only lines that contain "="
    bool TrimAroundEquals = false;     // remove blanks and tabs on both sides of the first "="
    bool RemoveQuotes = false;         // remove one pair of matching '"' or '\'' around the value
    bool CutTrailingControls = false;  // cut trailing characters with codes below 33
};

// Asked while loading when a section repeats the name (without case) of an earlier one. Returns true to keep
// the later section (the earlier one is dropped), false to keep the earlier one.
using TDuplicateSectionEvent =
    std::function<bool(const std::string& name, const std::vector<std::string>& keptLines,
                       const std::vector<std::string>& laterLines)>;

// Sections in file order, each owning its lines. Lookup by name is without case and starts at the section
// found last (PrevSection), going once round the list.
class TSectionList {
  public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    std::size_t Count() const { return items_.size(); }
    // Index checked: throws std::out_of_range past the end.
    const std::string& Name(std::size_t index) const { return items_.at(index).name; }
    const std::vector<std::string>& Lines(std::size_t index) const { return items_.at(index).lines; }
    std::vector<std::string>& Lines(std::size_t index) { return items_.at(index).lines; }

    // Index of the section named `name`, or npos. A hit becomes PrevSection.
    std::size_t IndexOf(std::string_view name);
    // Appends a section (no check for an existing one); returns its index.
    std::size_t Add(std::string name, std::vector<std::string> lines = {});
    // Removes a section; PrevSection returns to 0 when it would point past the end. Throws std::out_of_range.
    void Delete(std::size_t index);
    void Clear();

    std::size_t PrevSection() const { return prevSection_; }

  private:
    struct Item {
        std::string name;
        std::string key;  // the name folded, for comparisons
        std::vector<std::string> lines;
    };
    std::vector<Item> items_;
    std::size_t prevSection_ = 0;
};

class TBigIniFile {
  public:
    // Size of the text buffer for writing the file; reading is not limited by it.
    static constexpr std::size_t BufferSize = 0x7000;
    static constexpr std::size_t MaxFileName = 255;
    static constexpr std::size_t MaxLine = 255;

    // Opens `fileName` and loads it if it exists (an empty name gives an empty store bound to no file).
    // Throws EIniFileError when the name is longer than 255 characters or the file cannot be read.
    explicit TBigIniFile(const std::string& fileName, TIniReadOptions options = {},
                         TDuplicateSectionEvent onDuplicateSection = {});
    // Runs UpdateFile; a failure there is lost, so callers that must know call UpdateFile first.
    ~TBigIniFile();
    TBigIniFile(const TBigIniFile&) = delete;
    TBigIniFile& operator=(const TBigIniFile&) = delete;

    const std::string& FileName() const { return fileName_; }
    // Writes the old file (UpdateFile), then replaces the contents with the new file's. On any failure the
    // name and the contents stay as they were; the old file may already have been written.
    void SetFileName(const std::string& fileName);

    // Take effect at the next load (SetFileName, LoadFromText).
    void SetReadOptions(const TIniReadOptions& options) { options_ = options; }
    const TIniReadOptions& ReadOptions() const { return options_; }
    void SetOnDuplicateSection(TDuplicateSectionEvent handler) { onDuplicateSection_ = std::move(handler); }

    // Replaces the contents with `text` read as if it were the file (options and duplicates as on loading).
    // The file itself is not touched; Modified tells only whether duplicates were dropped.
    void LoadFromText(std::string_view text);
    // The file's text as UpdateFile writes it.
    std::string SaveToText() const;

    const TSectionList& Sections() const { return sections_; }
    bool Modified() const { return modified_; }
    std::size_t PrevSection() const { return sections_.PrevSection(); }

    // The value after the first "=" of the key's line, or `def` when the section or key is missing; cut to
    // 255 characters.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def);
    // Sets the line key "=" value (cut to 255 characters), adding the section or line as needed; Modified is
    // set only when the contents change. Each line break (LF or CR LF) inside section, key or value becomes
    // one blank, so a value never splits into lines of its own. A section name is cut to 253 characters and a
    // key to 254, so that the header keeps its "]" and the line its "="; every operation treats the names it
    // is given alike. An empty key erases the section when the section or value is not empty, else runs
    // UpdateFile. Throws EIniFileError only from that UpdateFile.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // Leading blanks, an optional sign, then decimal, or hexadecimal after "$" (a leading "0x" in any case
    // counts as "$"); `def` for anything else or outside 32 bits (hexadecimal takes all 32 bits: "$FFFFFFFF"
    // is -1).
    int ReadInteger(std::string_view section, std::string_view key, int def);
    void WriteInteger(std::string_view section, std::string_view key, int value);
    bool ReadBool(std::string_view section, std::string_view key, bool def);
    void WriteBool(std::string_view section, std::string_view key, bool value);

    // Each of these replaces the contents of its output list.
    // The keys (the part before "=") of the section's lines that have one.
    void ReadSection(std::string_view section, std::vector<std::string>& keys);
    void ReadSections(std::vector<std::string>& names) const;
    // The section's lines as they are held.
    void ReadSectionValues(std::string_view section, std::vector<std::string>& lines);

    // Removes the section and its lines, if present.
    void EraseSection(std::string_view section);
    // Removes the key's line, if present; a missing section is added empty (an empty section is never
    // written).
    void DeleteKey(std::string_view section, std::string_view key);
    // Writes the whole file at once (replaced atomically, never left half-written) if Modified and the name
    // is not empty, then clears Modified. Throws EIniFileError; the contents and Modified then stay.
    void UpdateFile();

  private:
    // Index of the key's line in section `index`, or npos; `key` is already normalised.
    std::size_t FindKey(std::size_t index, std::string_view key) const;
    std::size_t FindSection(std::string_view section);
    std::size_t FindOrAddSection(std::string_view section);
    // Reads the file (empty text when the name is empty or the file missing); throws EIniFileError.
    static std::string ReadFileText(const std::string& fileName);

    std::string fileName_;
    TIniReadOptions options_;
    TDuplicateSectionEvent onDuplicateSection_;
    TSectionList sections_;
    bool modified_ = false;
};
