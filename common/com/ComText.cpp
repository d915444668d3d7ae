#include "common/com/ComText.h"

#include <limits>
#include <new>

#include "common/platform/CodePage.h"

namespace tessel {

namespace {

UniqueBstr MakeBstr(const std::u16string& units) {
    if (units.size() > std::numeric_limits<UINT>::max()) throw std::bad_alloc();
    UniqueBstr out(SysAllocStringLen(units.data(), static_cast<UINT>(units.size())));
    if (!out) throw std::bad_alloc();
    return out;
}

void AppendUtf16(std::u16string& out, char32_t ch) {
    if (ch >= 0x10000) {
        ch -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (ch >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (ch & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(ch));
    }
}

bool IsHigh(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLow(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

}  // namespace

std::string BstrToUtf8(const OLECHAR* bstr) {
    std::string out;
    const UINT n = SysStringLen(const_cast<BSTR>(bstr));
    out.reserve(n);
    for (UINT i = 0; i < n; ++i) {
        const char16_t u = bstr[i];
        char32_t ch = u;
        if (IsHigh(u) && i + 1 < n && IsLow(bstr[i + 1])) {
            ch = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (bstr[i + 1] - 0xDC00);
            ++i;
        } else if (IsHigh(u) || IsLow(u)) {
            ch = 0xFFFD;
        }
        AppendUtf8(out, ch);
    }
    return out;
}

UniqueBstr Utf8ToBstr(std::string_view utf8) {
    std::u16string units;
    units.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) AppendUtf16(units, NextUtf8Char(utf8, pos));
    return MakeBstr(units);
}

UniqueBstr BytesToBstr(const Bytes& bytes) {
    std::u16string units;
    units.reserve(bytes.size());
    // Every Windows-1251 character lies in the basic plane: one unit per byte.
    for (std::uint8_t b : bytes) units.push_back(static_cast<char16_t>(Cp1251ToChar(b)));
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
