#pragma once
// The words of the `tables` and `search` steps, parsed before anything reaches the driver.
//
//   tables export FILE [TABLE...] [--retry N] [--quiet]
//   tables import FILE [--retry N] [--quiet]
//   search [--ports LIST] [--speeds LIST] [--kinds LIST] [--save] [--quiet]
//
// A LIST is comma-separated: ports as numbers and ranges ("1,3-5", 1..32), speeds in baud ("9600,115200"),
// kinds "normal" and "fuel". An empty LIST ("") chooses nothing from that list.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessel::cli {

enum class TablesAction { Export, Import };

struct TablesOptions {
    TablesAction action = TablesAction::Export;
    std::string file;
    std::vector<std::int32_t> tables;  // export: the tables chosen, in the order given; empty: all
    std::uint32_t retries = 0;         // times a failed device step is repeated before the step fails
    bool quiet = false;                // plain progress lines even on a terminal
};

// One choice per item of a search list; an absent list keeps the saved choices.
using SearchChoice = std::optional<std::vector<bool>>;

struct SearchOptions {
    SearchChoice ports;   // 32 items: port i + 1
    SearchChoice speeds;  // 8 items: speed code i + 1 (1200 ... 115200 baud)
    SearchChoice kinds;   // 2 items: normal, fuel
    bool save = false;    // keep the resulting choices as the saved search parameters
    bool quiet = false;
};

// The most retries `--retry` accepts.
inline constexpr std::uint32_t kMaxRetries = 100;
// The highest table number a register can report.
inline constexpr std::int32_t kMaxTableNumber = 255;

// The words after `tables`. Throws UsageError naming `where` for an unknown action or option, a table
// number outside 1..kMaxTableNumber, tables given to an import, a malformed or repeated --retry.
TablesOptions ParseTablesWords(const std::vector<std::string>& words, const std::string& where);

// The words after `search`. Throws UsageError naming `where` for an unknown option, a missing or malformed
// list, a port outside 1..32, a speed not in the driver's table, an unknown kind, an option given twice.
SearchOptions ParseSearchWords(const std::vector<std::string>& words, const std::string& where);

}  // namespace tessel::cli
