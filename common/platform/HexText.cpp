#include "common/platform/HexText.h"

#include <cstdint>

namespace {

// Only capital letters are digits; small a-f separate bytes like any other character.
int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string BytesToHex(const Bytes& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(3 * bytes.size());
    for (const std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
        out += ' ';
    }
    return out;
}

Bytes HexToBytes(std::string_view text) {
    Bytes out;
    out.reserve(text.size() / 2 + 1);
    for (std::size_t i = 0; i < text.size();) {
        const int high = HexDigit(text[i]);
        if (high < 0) {
            ++i;
            continue;
        }
        const int low = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        if (low < 0) {
            out.push_back(static_cast<std::uint8_t>(high));
            ++i;
        } else {
            out.push_back(static_cast<std::uint8_t>(high * 16 + low));
            i += 2;
        }
    }
    return out;
}

int HexDigitValue(char c) {
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return HexDigit(c);
}
