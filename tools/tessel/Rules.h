#pragma once
// Answer rules for `listen`: which steps prepare the answer to each of the register's requests.
//
// The file is divided into sections. A section starts with a line "[OPCODES]": one or more opcodes in hex
// ("81", "81h", "0x81"), separated by blanks, or "*" for every request that no other section names; what
// follows '#' on that line is a comment. The section's lines are `set NAME=VALUE` and `get NAME` steps, as in
// a steps file. Blank lines and lines starting with '#' are skipped.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tessel/Steps.h"

namespace tessel::cli {

class AnswerRules {
  public:
    // Parses the text of a rules file; `fileName` names lines in messages. Throws UsageError for a step
    // before the first section, a step other than set and get, a malformed or repeated opcode.
    static AnswerRules Parse(std::string_view text, const std::string& fileName);
    // Reads and parses a file; throws UsageError as ReadStepFile and Parse do.
    static AnswerRules Load(const std::string& path);

    // The steps answering `opcode`: its own section, else the "*" section, else nothing (no answer).
    const std::vector<Step>* For(std::uint8_t opcode) const;
    // Every step of every section, for checking the member names before the first request comes.
    std::vector<const Step*> AllSteps() const;

  private:
    // Opens the sections a "[OPCODES]" line names; throws UsageError naming `where`.
    std::vector<std::vector<Step>*> OpenSections(std::string_view header, const std::string& where);

    std::array<std::optional<std::vector<Step>>, 256> byOpcode_;
    std::optional<std::vector<Step>> fallback_;
};

}  // namespace tessel::cli
