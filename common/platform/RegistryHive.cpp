#include "common/platform/RegistryHive.h"

#include <unordered_set>

#include "common/platform/HexText.h"
#include "common/platform/TextTrim.h"

namespace tessel::registry_detail {
namespace {

constexpr std::string_view kFileHeader = "; Tessel settings store\n";

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

}  // namespace

RegValueType TypeOf(const ValueData& data) {
    if (std::holds_alternative<std::string>(data)) return RegValueType::String;
    if (std::holds_alternative<std::uint32_t>(data)) return RegValueType::DWord;
    return RegValueType::Binary;
}

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

std::unique_ptr<KeyNode> ParseHive(std::string_view text, const std::string& file) {
    return HiveParser(text, file).Parse();
}

}  // namespace tessel::registry_detail
