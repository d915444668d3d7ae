#pragma once
// Windows-1251, the 8-bit Cyrillic code page of the register's texts and of export files, and UTF-8, the
// program's own text. One table serves both directions, so all 256 bytes round-trip (the unassigned byte
// 98h maps to U+0098 and back).
//
// Text that cannot be encoded in Windows-1251 (a character outside the code page, or malformed UTF-8)
// becomes "?" byte by character; encoding never fails.

#include <string>
#include <string_view>

namespace tessel {

// The Unicode character of a Windows-1251 byte.
char32_t Cp1251ToChar(unsigned char byte);
// The Windows-1251 byte of a character, or -1 when the code page has none.
int CharToCp1251(char32_t ch);

// Windows-1251 bytes (one char each) to UTF-8.
std::string Cp1251ToUtf8(std::string_view bytes);
// UTF-8 to Windows-1251 bytes; unencodable characters and malformed sequences become '?'.
std::string Utf8ToCp1251(std::string_view utf8);

// Decodes one UTF-8 character at `pos` and advances `pos`; a malformed sequence yields U+FFFD and skips one
// byte. Used by every conversion that walks UTF-8 text.
char32_t NextUtf8Char(std::string_view utf8, std::size_t& pos);
void AppendUtf8(std::string& out, char32_t ch);

// Whether `bytes` are valid UTF-8 holding at least one character beyond ASCII. Windows-1251 text with
// letters never is in practice: its letters are the bytes C0h..FFh, which UTF-8 takes only as lead bytes and
// then only before bytes 80h..BFh, the Windows-1251 range of rarely used signs. A file that passes is UTF-8
// text, not the Windows-1251 one expected.
bool LooksLikeUtf8(std::string_view bytes);

// Case folding of the texts this system compares without case: ASCII and Cyrillic letters.
char32_t FoldCase(char32_t ch);
// Case-insensitive comparison of UTF-8 texts (ASCII and Cyrillic letters fold): <0, 0 or >0.
int CompareTextNoCase(std::string_view a, std::string_view b);
inline bool SameTextNoCase(std::string_view a, std::string_view b) {
    return CompareTextNoCase(a, b) == 0;
}

}  // namespace tessel
