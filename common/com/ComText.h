#pragma once
// Text at the automation boundary: BSTR (UTF-16) to and from the program's UTF-8, and byte strings of the
// protocol as BSTR under the one-character-per-byte rule of Windows-1251.

#include <memory>
#include <string>
#include <string_view>

#include "common/com/OleAuto.h"
#include "common/platform/Bytes.h"

namespace tessel {

struct BstrFree {
    void operator()(OLECHAR* s) const { SysFreeString(s); }
};
// Owns one BSTR; release() hands it to a caller's out-parameter.
using UniqueBstr = std::unique_ptr<OLECHAR, BstrFree>;

// UTF-8 of the whole BSTR (embedded NULs kept); a lone surrogate becomes U+FFFD. Null gives "".
std::string BstrToUtf8(const OLECHAR* bstr);
// UTF-8 of a plain NUL-terminated text (an LPOLESTR, which has no length prefix: the names that
// GetIDsOfNames is given); read up to the NUL. Null gives "".
std::string OleStrToUtf8(const OLECHAR* text);
// A new BSTR holding `utf8` (malformed sequences become U+FFFD). Throws std::bad_alloc when memory runs out.
UniqueBstr Utf8ToBstr(std::string_view utf8);

// One character per byte, each byte read as Windows-1251 (all 256 round-trip).
UniqueBstr BytesToBstr(const Bytes& bytes);
// One byte per character, as Windows-1251; a character outside the code page becomes '?'.
Bytes BstrToBytes(const OLECHAR* bstr);

}  // namespace tessel
