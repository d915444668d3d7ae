#include "common/platform/CodePage.h"

#include <array>

namespace tessel {
namespace {

// Bytes 80h to FFh; below 80h the code page is ASCII.
constexpr std::array<char16_t, 128> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

}  // namespace

char32_t Cp1251ToChar(unsigned char byte) {
    return byte < 0x80 ? byte : kHigh[byte - 0x80];
}

int CharToCp1251(char32_t ch) {
    if (ch < 0x80) return static_cast<int>(ch);
    // The common Cyrillic block is contiguous; the rest is a short scan of the same table.
    if (ch >= 0x0410 && ch <= 0x044F) return static_cast<int>(0xC0 + (ch - 0x0410));
    for (std::size_t i = 0; i < 0x40; ++i) {
        if (kHigh[i] == ch) return static_cast<int>(0x80 + i);
    }
    return -1;
}

char32_t NextUtf8Char(std::string_view s, std::size_t& pos) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    int extra = 0;
    char32_t ch = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1, ch = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, ch = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, ch = b0 & 0x07, min = 0x10000;
    } else {
        ++pos;
        return 0xFFFD;
    }
    if (pos + static_cast<std::size_t>(extra) >= s.size()) {
        ++pos;
        return 0xFFFD;
    }
    for (int i = 1; i <= extra; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + static_cast<std::size_t>(i)]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        ch = (ch << 6) | (b & 0x3F);
    }
    if (ch < min || ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF)) {
        ++pos;
        return 0xFFFD;
    }
    pos += static_cast<std::size_t>(extra) + 1;
    return ch;
}

void AppendUtf8(std::string& out, char32_t ch) {
    if (ch < 0x80) {
        out += static_cast<char>(ch);
    } else if (ch < 0x800) {
        out += static_cast<char>(0xC0 | (ch >> 6));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        out += static_cast<char>(0xE0 | (ch >> 12));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (ch >> 18));
        out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    }
}

std::string Cp1251ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) AppendUtf8(out, Cp1251ToChar(static_cast<unsigned char>(c)));
    return out;
}

std::string Utf8ToCp1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const int b = CharToCp1251(NextUtf8Char(utf8, pos));
        out += b < 0 ? '?' : static_cast<char>(b);
    }
    return out;
}

char32_t FoldCase(char32_t ch) {
    if (ch >= 'A' && ch <= 'Z') return ch + 32;
    if (ch >= 0x0410 && ch <= 0x042F) return ch + 32;  // А..Я
    if (ch >= 0x0400 && ch <= 0x040F) return ch + 80;  // Ѐ..Џ, Ё among them
    return ch;
}

int CompareTextNoCase(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = FoldCase(NextUtf8Char(a, i));
        const char32_t y = FoldCase(NextUtf8Char(b, j));
        if (x != y) return x < y ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

bool LooksLikeUtf8(std::string_view bytes) {
    bool beyondAscii = false;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        // The sequence's length and the range of its second byte: no overlong forms, no surrogates, nothing
        // beyond U+10FFFF.
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (i + length > bytes.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto b = static_cast<unsigned char>(bytes[i + k]);
            if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) return false;
        }
        beyondAscii = true;
        i += length;
    }
    return beyondAscii;
}

}  // namespace tessel
