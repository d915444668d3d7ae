#pragma once
// The steps of a tessel run: what the command line, a steps file (-f) or a rules section asks for, parsed
// into one list before anything reaches the driver, so that a typing error costs nothing.

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tessel/StepOptions.h"

namespace tessel::cli {

// A mistake in what the user wrote: the run stops with status 2 before or at the faulty step.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A step that could not do its work (a device error it cannot get past, an interrupted transfer): the run
// stops with status 1, since later steps may rely on it (an import of the file an export did not write).
class StepFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class StepKind {
    Set,       // set NAME=VALUE
    Call,      // call METHOD
    Get,       // get NAME
    Wait,      // wait MS
    Pump,      // pump
    Members,   // members
    Settings,  // settings
    Listen,    // listen [SECONDS] [RULES] [count=N]
    Tables,    // tables export|import FILE ...
    Search,    // search [OPTIONS]
};

struct ListenOptions {
    std::uint32_t seconds = 0;  // 0: no time limit
    std::uint32_t count = 0;    // 0: no limit on the number of commands
    std::string rulesFile;      // empty: commands are printed, not answered
};

struct Step {
    StepKind kind = StepKind::Pump;
    std::string name;      // set, call, get: the member as the user wrote it
    std::string value;     // set: the value text
    std::uint32_t ms = 0;  // wait
    ListenOptions listen;  // listen
    TablesOptions tables;  // tables
    SearchOptions search;  // search
    std::string where;     // "argument 3" or "FILE:LINE", for messages
};

// Longest wait a `wait` step or `listen` may ask for: one day.
inline constexpr std::uint32_t kMaxWaitMs = 86'400'000;
inline constexpr std::uint32_t kMaxListenSeconds = kMaxWaitMs / 1000;
// A steps or rules file beyond this size is refused rather than read.
inline constexpr std::size_t kMaxStepFileBytes = 1 << 20;

// Steps from program arguments (the words after the options). "-f FILE" inserts the steps of FILE in its
// place. A keyword takes its required words whatever they are, then optional words up to the next keyword.
// Throws UsageError naming the argument for an unknown keyword, a missing or malformed word.
std::vector<Step> ParseStepArguments(const std::vector<std::string>& args);

// One line of a steps file: a keyword and its words; for `set` the rest of the line is NAME=VALUE. Blank
// lines and lines starting with '#' give nothing. Throws UsageError naming `where`.
std::optional<Step> ParseStepLine(std::string_view line, const std::string& where);

// Every line of `text` (a UTF-8 byte-order mark is skipped); `fileName` names the lines in messages.
std::vector<Step> ParseStepText(std::string_view text, const std::string& fileName);

// Reads a steps or rules file whole. Throws UsageError when it cannot be read or exceeds kMaxStepFileBytes.
std::string ReadStepFile(const std::string& path);

// Calls `line` for every line of a steps or rules file, numbered from 1, without its line end ("\n" or
// "\r\n"); a UTF-8 byte-order mark at the start is skipped.
void ForEachLine(std::string_view text, const std::function<void(std::string_view, std::size_t)>& line);

// `text` without blanks and tabs at either end.
std::string_view TrimBlanks(std::string_view text);
// The words of `text`, separated by blanks and tabs.
std::vector<std::string> SplitWords(std::string_view text);

// Whether `word` starts a step (a keyword or -f).
bool IsStepKeyword(std::string_view word);

// The step's syntax for messages, e.g. "set NAME=VALUE".
std::string_view StepUsage(StepKind kind);

}  // namespace tessel::cli
