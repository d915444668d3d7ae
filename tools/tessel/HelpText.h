#pragma once

#include <string_view>

namespace tessel::cli {

// The --help text: the steps, the output lines, the rules file format and the exit statuses.
std::string_view HelpText();

}  // namespace tessel::cli
