#pragma once
// Key paths of the settings store, shared by its backends.

#include <string>
#include <string_view>
#include <vector>

namespace tessel::registry_detail {

// Components of a backslash-separated path; empty components (doubled or outer separators) are dropped.
std::vector<std::string> SplitPath(std::string_view path);
// The components joined by single backslashes.
std::string JoinPath(const std::vector<std::string>& parts);

}  // namespace tessel::registry_detail
