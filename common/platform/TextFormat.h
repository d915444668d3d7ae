#pragma once
// printf-style formatting into a std::string, for the system's own message formats ("Чтение таблицы '%s'").

#include <algorithm>
#include <cstdio>
#include <string>

namespace tessel {

// The text of `format` with `args`; empty when the format cannot be applied.
template <typename... Args>
std::string FormatText(const char* format, Args... args) {
    const int size = std::snprintf(nullptr, 0, format, args...);
    std::string out(static_cast<std::size_t>(std::max(size, 0)) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, args...);
    out.pop_back();
    return out;
}

}  // namespace tessel
