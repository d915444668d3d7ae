// GUIDs in their registry text form.
#include <cstdio>

#include "common/com/ComTypes.h"
#include "common/platform/HexText.h"

namespace tessel {

namespace {

// Reads `digits` hex digits at `pos`; false on any other character.
bool ReadHex(std::string_view text, std::size_t pos, int digits, std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        const int v = HexDigitValue(text[pos + static_cast<std::size_t>(i)]);
        if (v < 0) return false;
        value = (value << 4) | static_cast<std::uint32_t>(v);
    }
    return true;
}

}  // namespace

std::string GuidToString(const GUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

std::optional<GUID> GuidFromString(std::string_view t) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (t.size() != 38 || t[0] != '{' || t[37] != '}' || t[9] != '-' || t[14] != '-' || t[19] != '-' ||
        t[24] != '-')
        return std::nullopt;
    GUID g{};
    std::uint32_t v = 0;
    if (!ReadHex(t, 1, 8, v)) return std::nullopt;
    g.Data1 = v;
    if (!ReadHex(t, 10, 4, v)) return std::nullopt;
    g.Data2 = static_cast<WORD>(v);
    if (!ReadHex(t, 15, 4, v)) return std::nullopt;
    g.Data3 = static_cast<WORD>(v);
    static constexpr std::size_t kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(t, kBytePos[i], 2, v)) return std::nullopt;
        g.Data4[i] = static_cast<BYTE>(v);
    }
    return g;
}

}  // namespace tessel
