#pragma once
// Blanks around a value read from a file, a field or an argument.

#include <string_view>

namespace tessel {

// `text` without the characters of `blanks` (space and tab unless told) at either end; a view into `text`.
inline std::string_view TrimBlanks(std::string_view text, std::string_view blanks = " \t") {
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace tessel
