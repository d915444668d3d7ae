#include "common/com/ComText.h"

#include <limits>
#include <new>

#include "common/platform/CodePage.h"

namespace tessel {

namespace {

// UTF-16 units as the system's OLECHAR holds them (char16_t here, wchar_t on Windows).
using OleString = std::basic_string<OLECHAR>;

UniqueBstr MakeBstr(const OleString& units) {
    if (units.size() > std::numeric_limits<UINT>::max()) throw std::bad_alloc();
    UniqueBstr out(SysAllocStringLen(units.data(), static_cast<UINT>(units.size())));
    if (!out) throw std::bad_alloc();
    return out;
}

void AppendUtf16(OleString& out, char32_t ch) {
    if (ch >= 0x10000) {
        ch -= 0x10000;
        out.push_back(static_cast<OLECHAR>(0xD800 + (ch >> 10)));
        out.push_back(static_cast<OLECHAR>(0xDC00 + (ch & 0x3FF)));
    } else {
        out.push_back(static_cast<OLECHAR>(ch));
    }
}

bool IsHigh(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLow(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

std::string Utf16ToUtf8(const OLECHAR* units, std::size_t n) {
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t u = units[i];
        char32_t ch = u;
        if (IsHigh(u) && i + 1 < n && IsLow(units[i + 1])) {
            ch = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (IsHigh(u) || IsLow(u)) {
            ch = 0xFFFD;
        }
        AppendUtf8(out, ch);
    }
    return out;
}

}  // namespace

std::string BstrToUtf8(const OLECHAR* bstr) {
    return Utf16ToUtf8(bstr, SysStringLen(const_cast<BSTR>(bstr)));
}

std::string OleStrToUtf8(const OLECHAR* text) {
    if (text == nullptr) return {};
    std::size_t n = 0;
    while (text[n] != 0) ++n;
    return Utf16ToUtf8(text, n);
}

UniqueBstr Utf8ToBstr(std::string_view utf8) {
    OleString units;
    units.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) AppendUtf16(units, NextUtf8Char(utf8, pos));
    return MakeBstr(units);
}

UniqueBstr BytesToBstr(const Bytes& bytes) {
    OleString units;
    units.reserve(bytes.size());
    // Every Windows-1251 character lies in the basic plane: one unit per byte.
    for (std::uint8_t b : bytes) units.push_back(static_cast<OLECHAR>(Cp1251ToChar(b)));
    return MakeBstr(units);
}

Bytes BstrToBytes(const OLECHAR* bstr) {
    const UINT n = SysStringLen(const_cast<BSTR>(bstr));
    Bytes out;
    out.reserve(n);
    for (UINT i = 0; i < n; ++i) {
        const int b = CharToCp1251(bstr[i]);
        out.push_back(b < 0 ? static_cast<std::uint8_t>('?') : static_cast<std::uint8_t>(b));
    }
    return out;
}

}  // namespace tessel
