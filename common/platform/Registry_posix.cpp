// The settings store on POSIX: one UTF-8 text file per hive, in a .reg-like form:
//
//     ; Tessel settings store
//
//     [Software\Korvex\TesselDrv\TesselDrv\Param]
//     "LogEnabled"=dword:00000001
//     "LogFileName"="/tmp/a.log"
//     @="default value"
//     "Blob"=hex:7e,02,01
//
// Every key is a section of its own, so empty keys survive. A change takes an exclusive lock on
// "<hive>.lock", re-reads the file, applies itself and replaces the file atomically; a read parses the
// current file without a lock, since the atomic replacement never shows a half-written file.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string_view>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <variant>

#include "common/platform/AtomicFile.h"
#include "common/platform/CodePage.h"
#include "common/platform/HexText.h"
#include "common/platform/Registry.h"
#include "common/platform/RegistryPath.h"
#include "common/platform/TextTrim.h"

namespace tessel {
namespace {

using registry_detail::JoinPath;
using registry_detail::SplitPath;

// The system registry's own limits, so that nothing stored here could not be stored there.
constexpr std::size_t kMaxKeyNameChars = 255;
constexpr std::size_t kMaxValueNameChars = 16383;
constexpr std::size_t kMaxKeyDepth = 512;
// Guards memory against a runaway or foreign file; real hives are a few kilobytes.
constexpr std::size_t kMaxHiveBytes = std::size_t{16} << 20;
constexpr auto kLockTimeout = std::chrono::seconds(10);
constexpr std::string_view kFileHeader = "; Tessel settings store\n";

// ---------------------------------------------------------------------------------------------------------
// The tree of one hive.

using ValueData = std::variant<std::string, std::uint32_t, Bytes>;

struct RegValue {
    std::string name;
    ValueData data;
};

struct KeyNode {
    std::string name;
    std::vector<RegValue> values;                    // in creation order
    std::vector<std::unique_ptr<KeyNode>> children;  // sorted case-insensitively

    KeyNode* FindChild(std::string_view childName) const {
        const auto it = LowerBound(childName);
        return it != children.end() && SameTextNoCase((*it)->name, childName) ? it->get() : nullptr;
    }
    KeyNode& AddChild(std::string childName) {
        const auto it = LowerBound(childName);
        auto child = std::make_unique<KeyNode>();
        child->name = std::move(childName);
        return **children.insert(it, std::move(child));
    }
    bool RemoveChild(std::string_view childName) {
        const auto it = LowerBound(childName);
        if (it == children.end() || !SameTextNoCase((*it)->name, childName)) return false;
        children.erase(it);
        return true;
    }
    RegValue* FindValue(std::string_view valueName) {
        const auto it = std::find_if(values.begin(), values.end(),
                                     [&](const RegValue& v) { return SameTextNoCase(v.name, valueName); });
        return it != values.end() ? &*it : nullptr;
    }
    const RegValue* FindValue(std::string_view valueName) const {
        const auto it = std::find_if(values.begin(), values.end(),
                                     [&](const RegValue& v) { return SameTextNoCase(v.name, valueName); });
        return it != values.end() ? &*it : nullptr;
    }

  private:
    std::vector<std::unique_ptr<KeyNode>>::const_iterator LowerBound(std::string_view childName) const {
        return std::lower_bound(children.begin(), children.end(), childName,
                                [](const std::unique_ptr<KeyNode>& node, std::string_view n) {
                                    return CompareTextNoCase(node->name, n) < 0;
                                });
    }
};

RegValueType TypeOf(const ValueData& data) {
    if (std::holds_alternative<std::string>(data)) return RegValueType::String;
    if (std::holds_alternative<std::uint32_t>(data)) return RegValueType::DWord;
    return RegValueType::Binary;
}

// ---------------------------------------------------------------------------------------------------------
// Names and paths.

// Characters in `text`, or -1 when it is not well-formed UTF-8.
long Utf8Length(std::string_view text) {
    long count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) {
        const std::size_t before = pos;
        // A malformed sequence decodes as U+FFFD of one byte; the real U+FFFD takes three.
        if (NextUtf8Char(text, pos) == 0xFFFD && pos - before == 1) return -1;
    }
    return count;
}

bool HasControlChar(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F;
    });
}

// Key names appear bare in section lines, so they may hold neither separators nor line breaks.
bool ValidKeyName(std::string_view name) {
    const long chars = Utf8Length(name);
    return chars > 0 && static_cast<std::size_t>(chars) <= kMaxKeyNameChars &&
           name.find('\\') == std::string_view::npos && !HasControlChar(name);
}

bool ValidValueName(std::string_view name) {
    const long chars = Utf8Length(name);
    return chars >= 0 && static_cast<std::size_t>(chars) <= kMaxValueNameChars;
}

bool ValidKeyPath(const std::vector<std::string>& parts) {
    return parts.size() <= kMaxKeyDepth &&
           std::all_of(parts.begin(), parts.end(), [](const std::string& p) { return ValidKeyName(p); });
}

template <class Node>
Node* FindKey(Node& root, const std::vector<std::string>& parts) {
    Node* node = &root;
    for (const auto& p : parts) {
        node = node->FindChild(p);
        if (node == nullptr) return nullptr;
    }
    return node;
}

// ---------------------------------------------------------------------------------------------------------
// Text form.

char HexDigit(unsigned value) {
    return "0123456789abcdef"[value & 0xF];
}

void AppendHexByte(std::string& out, unsigned char b) {
    out += HexDigit(b >> 4);
    out += HexDigit(b);
}

// Quotes `text` so that any byte string, line breaks and malformed UTF-8 included, reads back unchanged.
void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (std::size_t pos = 0; pos < text.size();) {
        const auto b = static_cast<unsigned char>(text[pos]);
        if (b >= 0x80) {
            const std::size_t before = pos;
            if (NextUtf8Char(text, pos) == 0xFFFD && pos - before == 1) {
                out += "\\x";
                AppendHexByte(out, b);
            } else {
                out.append(text.substr(before, pos - before));
            }
            continue;
        }
        ++pos;
        switch (b) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (b < 0x20 || b == 0x7F) {
                    out += "\\x";
                    AppendHexByte(out, b);
                } else {
                    out += static_cast<char>(b);
                }
        }
    }
    out += '"';
}

void AppendValue(std::string& out, const RegValue& value) {
    if (value.name.empty())
        out += '@';
    else
        AppendQuoted(out, value.name);
    out += '=';
    if (const auto* s = std::get_if<std::string>(&value.data)) {
        AppendQuoted(out, *s);
    } else if (const auto* d = std::get_if<std::uint32_t>(&value.data)) {
        out += "dword:";
        for (int shift = 28; shift >= 0; shift -= 4) out += HexDigit(*d >> shift);
    } else {
        out += "hex:";
        const auto& bytes = std::get<Bytes>(value.data);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (i > 0) out += ',';
            AppendHexByte(out, bytes[i]);
        }
    }
    out += '\n';
}

void AppendKey(std::string& out, const KeyNode& key, const std::string& path) {
    out += "\n[";
    out += path;
    out += "]\n";
    for (const auto& v : key.values) AppendValue(out, v);
    for (const auto& child : key.children) AppendKey(out, *child, path + "\\" + child->name);
}

std::string FormatHive(const KeyNode& root) {
    std::string out(kFileHeader);
    // The root is written only when it holds values: it exists whether written or not.
    if (!root.values.empty()) {
        out += "\n[]\n";
        for (const auto& v : root.values) AppendValue(out, v);
    }
    for (const auto& child : root.children) AppendKey(out, *child, child->name);
    return out;
}

// The name as case-insensitive comparison sees it.
std::string FoldedName(std::string_view name) {
    std::string folded;
    for (std::size_t pos = 0; pos < name.size();) AppendUtf8(folded, FoldCase(NextUtf8Char(name, pos)));
    return folded;
}

// A hive's lines may end in CR when the file was edited on Windows.
std::string_view Trim(std::string_view s) {
    return TrimBlanks(s, " \t\r");
}

// Reads a hive's text; every fault names the file and the line.
class HiveParser {
  public:
    HiveParser(std::string_view text, const std::string& file) : text_(text), file_(file) {}

    std::unique_ptr<KeyNode> Parse() {
        root_ = std::make_unique<KeyNode>();
        // A byte order mark from a hand edit is not content.
        if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
        std::size_t start = 0;
        while (start < text_.size()) {
            std::size_t end = text_.find('\n', start);
            if (end == std::string_view::npos) end = text_.size();
            ++line_;
            ParseLine(Trim(text_.substr(start, end - start)));
            start = end + 1;
        }
        return std::move(root_);
    }

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw RegistryError(file_ + ":" + std::to_string(line_) + ": " + what);
    }

    void ParseLine(std::string_view line) {
        if (line.empty() || line.front() == ';') return;
        if (line.front() == '[') return ParseSection(line);
        if (line.front() == '"' || line.front() == '@') return ParseValue(line);
        Fail("unexpected text");
    }

    void ParseSection(std::string_view line) {
        if (line.size() < 2 || line.back() != ']') Fail("missing ']' after the key name");
        const std::string_view path = line.substr(1, line.size() - 2);
        KeyNode* node = root_.get();
        if (!path.empty()) {
            std::size_t start = 0, depth = 0;
            for (;;) {
                std::size_t end = path.find('\\', start);
                if (end == std::string_view::npos) end = path.size();
                const std::string_view name = path.substr(start, end - start);
                if (!ValidKeyName(name)) Fail("invalid key name \"" + std::string(name) + "\"");
                if (++depth > kMaxKeyDepth) Fail("keys nested too deeply");
                KeyNode* child = node->FindChild(name);
                node = child != nullptr ? child : &node->AddChild(std::string(name));
                if (end == path.size()) break;
                start = end + 1;
            }
        }
        if (!declared_.insert(node).second) Fail("duplicate key [" + std::string(path) + "]");
        current_ = node;
        valueNames_.clear();
    }

    void ParseValue(std::string_view line) {
        if (current_ == nullptr) Fail("value outside a key");
        std::size_t pos = 0;
        std::string name;
        if (line.front() == '@') {
            pos = 1;
        } else {
            name = ParseQuoted(line, pos);
        }
        if (!ValidValueName(name)) Fail("invalid value name");
        const std::string_view rest = Trim(line.substr(pos));
        if (rest.empty() || rest.front() != '=') Fail("missing '=' after the value name");
        ValueData data = ParseData(Trim(rest.substr(1)));
        // A set of folded names keeps a key with very many values from making the load quadratic.
        if (!valueNames_.insert(FoldedName(name)).second) Fail("duplicate value \"" + name + "\"");
        current_->values.push_back({std::move(name), std::move(data)});
    }

    ValueData ParseData(std::string_view text) {
        if (!text.empty() && text.front() == '"') {
            std::size_t pos = 0;
            std::string value = ParseQuoted(text, pos);
            if (pos != text.size()) Fail("unexpected text after the value");
            return value;
        }
        if (text.substr(0, 6) == "dword:") return ParseDword(text.substr(6));
        if (text.substr(0, 4) == "hex:") return ParseHex(text.substr(4));
        Fail("unknown value type");
    }

    std::uint32_t ParseDword(std::string_view digits) {
        if (digits.empty() || digits.size() > 8) Fail("a dword needs 1 to 8 hex digits");
        std::uint32_t value = 0;
        for (char c : digits) {
            const int v = HexDigitValue(c);
            if (v < 0) Fail("a dword needs 1 to 8 hex digits");
            value = (value << 4) | static_cast<std::uint32_t>(v);
        }
        return value;
    }

    Bytes ParseHex(std::string_view list) {
        Bytes bytes;
        if (Trim(list).empty()) return bytes;
        std::size_t start = 0;
        for (;;) {
            std::size_t end = list.find(',', start);
            if (end == std::string_view::npos) end = list.size();
            const std::string_view item = Trim(list.substr(start, end - start));
            if (item.empty() || item.size() > 2) Fail("binary data needs bytes of 1 or 2 hex digits");
            unsigned value = 0;
            for (char c : item) {
                const int v = HexDigitValue(c);
                if (v < 0) Fail("binary data needs bytes of 1 or 2 hex digits");
                value = value * 16 + static_cast<unsigned>(v);
            }
            bytes.push_back(static_cast<std::uint8_t>(value));
            if (end == list.size()) break;
            start = end + 1;
        }
        return bytes;
    }

    // A quoted text starting at `pos`; leaves `pos` after the closing quote.
    std::string ParseQuoted(std::string_view line, std::size_t& pos) {
        std::string out;
        for (++pos; pos < line.size(); ++pos) {
            const char c = line[pos];
            if (c == '"') {
                ++pos;
                return out;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (++pos == line.size()) break;
            switch (line[pos]) {
                case '\\':
                    out += '\\';
                    break;
                case '"':
                    out += '"';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'x': {
                    const int hi = pos + 1 < line.size() ? HexDigitValue(line[pos + 1]) : -1;
                    const int lo = pos + 2 < line.size() ? HexDigitValue(line[pos + 2]) : -1;
                    if (hi < 0 || lo < 0) Fail("\\x needs two hex digits");
                    out += static_cast<char>(hi * 16 + lo);
                    pos += 2;
                    break;
                }
                default:
                    Fail(std::string("unknown escape \\") + line[pos]);
            }
        }
        Fail("missing closing quote");
    }

    std::string_view text_;
    const std::string& file_;
    std::size_t line_ = 0;
    std::unique_ptr<KeyNode> root_;
    KeyNode* current_ = nullptr;
    std::unordered_set<const KeyNode*> declared_;
    std::unordered_set<std::string> valueNames_;  // of the current key, folded
};

// ---------------------------------------------------------------------------------------------------------
// Files.

[[noreturn]] void FailErrno(const std::string& what, const std::string& path, int err) {
    throw RegistryError(what + " '" + path + "': " + std::generic_category().message(err));
}

// Closes the descriptor on every path out, which also releases a lock held through it.
class UniqueFd {
  public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return fd_; }

  private:
    int fd_;
};

// An exclusive advisory lock serialising the changes of one hive across processes and threads (each lock
// is its own open file, so threads of one process exclude each other too).
class HiveLock {
  public:
    explicit HiveLock(const std::string& lockFile)
        : fd_(::open(lockFile.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_.Get() < 0) FailErrno("cannot open the lock file", lockFile, errno);
        // flock has no timed form; trying with a growing pause keeps the wait bounded even when a
        // stopped process holds the lock.
        const auto deadline = std::chrono::steady_clock::now() + kLockTimeout;
        auto pause = std::chrono::microseconds(50);
        while (::flock(fd_.Get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) FailErrno("cannot lock", lockFile, errno);
            if (std::chrono::steady_clock::now() >= deadline)
                throw RegistryError("'" + lockFile + "' stays locked by another process");
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::microseconds(5000));
        }
    }

  private:
    UniqueFd fd_;
};

// The hive's tree; `text` (when given) receives the file's contents, empty when there is no file.
std::unique_ptr<KeyNode> LoadHive(const std::string& file, std::string* text = nullptr) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        if (errno == ENOENT) return std::make_unique<KeyNode>();
        FailErrno("cannot read", file, errno);
    }
    if (static_cast<std::uint64_t>(st.st_size) > kMaxHiveBytes)
        throw RegistryError(file + ": the file is larger than a settings store can be");
    std::string contents;
    try {
        if (!ReadWholeFile(file, contents)) return std::make_unique<KeyNode>();
    } catch (const std::system_error& e) {
        throw RegistryError(e.what());
    }
    auto root = HiveParser(contents, file).Parse();
    if (text != nullptr) *text = std::move(contents);
    return root;
}

void StoreHive(const std::string& file, const KeyNode& root) {
    const std::string text = FormatHive(root);
    if (text.size() > kMaxHiveBytes) throw RegistryError(file + ": the change would make the file too large");
    try {
        WriteFileAtomically(file, text, 0600);
    } catch (const std::system_error& e) {
        throw RegistryError(e.what());
    }
}

}  // namespace

// The copy of a hive that an open RegistryUpdate works on.
struct RegistryUpdate::State {
    explicit State(Hive h) : hive(h) {}

    // Locks the hive and loads it at the first access.
    KeyNode& Root() {
        if (!root) {
            file = HiveFile(hive);
            lock = std::make_unique<HiveLock>(file + ".lock");
            root = LoadHive(file, &original);
        }
        return *root;
    }

    Hive hive;
    std::string file;
    std::unique_ptr<HiveLock> lock;
    std::unique_ptr<KeyNode> root;
    std::string original;  // the file's text when it was loaded; empty without a file
};

namespace {

thread_local std::unique_ptr<RegistryUpdate::State> tUpdate;

RegistryUpdate::State* ActiveUpdate(Hive hive) {
    return tUpdate && tUpdate->hive == hive ? tUpdate.get() : nullptr;
}

// The hive as this thread sees it: the open update's copy, or the file's current contents.
class HiveView {
  public:
    explicit HiveView(Hive hive) {
        if (RegistryUpdate::State* update = ActiveUpdate(hive)) {
            root_ = &update->Root();
        } else {
            owned_ = LoadHive(HiveFile(hive));
            root_ = owned_.get();
        }
    }
    const KeyNode& Root() const { return *root_; }

  private:
    std::unique_ptr<KeyNode> owned_;
    const KeyNode* root_ = nullptr;
};

// Applies `change` to the hive's current contents under the lock and stores the result when `change`
// reports that it changed something. A file that does not load is never replaced. Inside an update the
// change goes to its copy, which Commit stores.
void ModifyHive(Hive hive, const std::function<bool(KeyNode&)>& change) {
    if (RegistryUpdate::State* update = ActiveUpdate(hive)) {
        change(update->Root());
        return;
    }
    const std::string file = HiveFile(hive);
    HiveLock lock(file + ".lock");
    const auto root = LoadHive(file);
    if (change(*root)) StoreHive(file, *root);
}

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && *found->pw_dir != '\0')
        return found->pw_dir;
    throw RegistryError("cannot find the home folder for the settings store");
}

// mkdir -p, each new folder private to its owner.
void MakeDirectories(const std::string& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
    for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        const std::string prefix = dir.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            FailErrno("cannot create the settings folder", prefix, errno);
        if (slash == std::string::npos) break;
    }
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw RegistryError("'" + dir + "' is not a folder");
}

std::string NonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// ---------------------------------------------------------------------------------------------------------
// The operations behind the open key.

const KeyNode* OpenNode(const KeyNode& root, const std::string& path) {
    return FindKey(root, SplitPath(path));
}

ValueData ReadData(Hive hive, bool open, const std::string& path, const std::string& name) {
    if (!open) throw RegistryError("Failed to get data for '" + name + "': no key is open");
    const HiveView view(hive);
    const KeyNode* key = OpenNode(view.Root(), path);
    const RegValue* value = key != nullptr ? key->FindValue(name) : nullptr;
    if (value == nullptr) throw RegistryError("Failed to get data for '" + name + "'");
    return value->data;
}

[[noreturn]] void InvalidType(const std::string& name) {
    throw RegistryError("Invalid data type for '" + name + "'");
}

void WriteData(Hive hive, bool open, const std::string& path, const std::string& name, ValueData data) {
    if (!open) throw RegistryError("Failed to set data for '" + name + "': no key is open");
    if (!ValidValueName(name)) throw RegistryError("Failed to set data for '" + name + "': invalid name");
    const auto parts = SplitPath(path);
    ModifyHive(hive, [&](KeyNode& root) {
        KeyNode* key = FindKey(root, parts);
        // The system registry refuses writes through a deleted key too; recreating it would resurrect
        // a tree that another caller removed on purpose.
        if (key == nullptr)
            throw RegistryError("Failed to set data for '" + name + "': the key '" + path + "' was deleted");
        if (RegValue* existing = key->FindValue(name)) {
            if (existing->data == data) return false;
            existing->data = std::move(data);
            return true;
        }
        key->values.push_back({name, std::move(data)});
        return true;
    });
}

void RequireOpen(bool open, const char* what) {
    if (!open) throw RegistryError(std::string(what) + ": no key is open");
}

}  // namespace

std::string RegistryDirectory() {
    std::string dir = NonEmptyEnv("TESSEL_REGISTRY_DIR");
    if (dir.empty()) {
        const std::string xdg = NonEmptyEnv("XDG_CONFIG_HOME");
        // A relative XDG_CONFIG_HOME is invalid and ignored, as the base directory rules say.
        dir = !xdg.empty() && xdg.front() == '/' ? xdg + "/tessel" : HomeDirectory() + "/.config/tessel";
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    MakeDirectories(dir);
    return dir;
}

std::string HiveFile(Hive hive) {
    return RegistryDirectory() + (hive == Hive::ClassesRoot ? "/classes.reg" : "/user.reg");
}

bool Registry::OpenKey(const std::string& path, bool canCreate) {
    const std::string full = Resolve(path);
    const auto parts = SplitPath(full);
    // A name the store cannot hold names no key, as the system registry refuses it.
    if (!ValidKeyPath(parts)) return false;
    bool found = false;
    if (canCreate) {
        ModifyHive(hive_, [&](KeyNode& root) {
            bool created = false;
            KeyNode* node = &root;
            for (const auto& p : parts) {
                KeyNode* child = node->FindChild(p);
                if (child == nullptr) {
                    child = &node->AddChild(p);
                    created = true;
                }
                node = child;
            }
            found = true;
            return created;
        });
    } else {
        found = FindKey(HiveView(hive_).Root(), parts) != nullptr;
    }
    if (found) {
        open_ = true;
        path_ = full;
    }
    return found;
}

bool Registry::KeyExists(const std::string& path) const {
    const auto parts = SplitPath(Resolve(path));
    if (!ValidKeyPath(parts)) return false;
    return FindKey(HiveView(hive_).Root(), parts) != nullptr;
}

bool Registry::DeleteKey(const std::string& path) {
    auto parts = SplitPath(Resolve(path));
    if (parts.empty()) throw RegistryError("the root of a hive cannot be deleted");
    if (!ValidKeyPath(parts)) return false;
    const std::string leaf = parts.back();
    parts.pop_back();
    bool deleted = false;
    ModifyHive(hive_, [&](KeyNode& root) {
        KeyNode* parent = FindKey(root, parts);
        deleted = parent != nullptr && parent->RemoveChild(leaf);
        return deleted;
    });
    return deleted;
}

std::vector<std::string> Registry::GetKeyNames() const {
    RequireOpen(open_, "GetKeyNames");
    std::vector<std::string> names;
    const HiveView view(hive_);
    if (const KeyNode* key = OpenNode(view.Root(), path_))
        for (const auto& child : key->children) names.push_back(child->name);
    return names;
}

std::vector<std::string> Registry::GetValueNames() const {
    RequireOpen(open_, "GetValueNames");
    std::vector<std::string> names;
    const HiveView view(hive_);
    if (const KeyNode* key = OpenNode(view.Root(), path_))
        for (const auto& v : key->values) names.push_back(v.name);
    return names;
}

std::optional<RegValueType> Registry::GetDataType(const std::string& name) const {
    RequireOpen(open_, "GetDataType");
    const HiveView view(hive_);
    const KeyNode* key = OpenNode(view.Root(), path_);
    const RegValue* value = key != nullptr ? key->FindValue(name) : nullptr;
    if (value == nullptr) return std::nullopt;
    return TypeOf(value->data);
}

bool Registry::DeleteValue(const std::string& name) {
    RequireOpen(open_, "DeleteValue");
    const auto parts = SplitPath(path_);
    bool deleted = false;
    ModifyHive(hive_, [&](KeyNode& root) {
        KeyNode* key = FindKey(root, parts);
        if (key == nullptr) return false;
        const auto it = std::find_if(key->values.begin(), key->values.end(),
                                     [&](const RegValue& v) { return SameTextNoCase(v.name, name); });
        deleted = it != key->values.end();
        if (deleted) key->values.erase(it);
        return deleted;
    });
    return deleted;
}

std::string Registry::ReadString(const std::string& name) const {
    ValueData data = ReadData(hive_, open_, path_, name);
    if (auto* s = std::get_if<std::string>(&data)) return std::move(*s);
    InvalidType(name);
}

std::int32_t Registry::ReadInteger(const std::string& name) const {
    const ValueData data = ReadData(hive_, open_, path_, name);
    if (const auto* d = std::get_if<std::uint32_t>(&data)) return static_cast<std::int32_t>(*d);
    InvalidType(name);
}

Bytes Registry::ReadBinary(const std::string& name) const {
    ValueData data = ReadData(hive_, open_, path_, name);
    if (auto* b = std::get_if<Bytes>(&data)) return std::move(*b);
    InvalidType(name);
}

void Registry::WriteString(const std::string& name, const std::string& value) {
    WriteData(hive_, open_, path_, name, value);
}

void Registry::WriteInteger(const std::string& name, std::int32_t value) {
    WriteData(hive_, open_, path_, name, static_cast<std::uint32_t>(value));
}

void Registry::WriteBinary(const std::string& name, const Bytes& value) {
    WriteData(hive_, open_, path_, name, value);
}

RegistryUpdate::RegistryUpdate(Hive hive) {
    if (tUpdate) {
        // Joins the open one, which stores the changes of both.
        if (tUpdate->hive != hive)
            throw RegistryError("a settings update of another hive is open on this thread");
        return;
    }
    tUpdate = std::make_unique<State>(hive);
    owner_ = true;
}

RegistryUpdate::~RegistryUpdate() {
    // Dropped uncommitted: the copy and the lock go.
    if (owner_) tUpdate.reset();
}

bool RegistryUpdate::Commit() {
    if (!owner_) return false;
    owner_ = false;
    const std::unique_ptr<State> state = std::move(tUpdate);
    if (!state->root) return false;
    const bool empty = state->root->values.empty() && state->root->children.empty();
    // The text is compared, not the steps: a key deleted and written again as it was is no change.
    if (state->original.empty() ? empty : FormatHive(*state->root) == state->original) return false;
    StoreHive(state->file, *state->root);
    return true;
}

}  // namespace tessel
