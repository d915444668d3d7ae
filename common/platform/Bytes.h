#pragma once
// Byte strings of the protocol (frames, data blocks, raw data): never text.

#include <cstdint>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline Bytes BytesOf(std::string_view s) {
    return Bytes(s.begin(), s.end());
}
inline std::string_view AsChars(const Bytes& b) {
    return {reinterpret_cast<const char*>(b.data()), b.size()};
}
