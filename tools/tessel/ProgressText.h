#pragma once
// The table transfer engine reports its progress in the texts of the driver's tables dialog (Russian, as
// the dialog shows them); tessel speaks English, so its progress lines say the same in English. Names that
// the texts carry (a table's name) are kept as they are.

#include <string>
#include <string_view>

namespace tessel::cli {

// `text` of the engine's window (a caption, one of its three lines, or the first line of its error
// question) in English; a text the table does not know comes back unchanged.
std::string EnglishProgressText(std::string_view text);

}  // namespace tessel::cli
