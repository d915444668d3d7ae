#include "tools/tessel/Rules.h"

#include <charconv>

namespace tessel::cli {

namespace {

// "81", "81h", "0x81": one byte in hex.
std::optional<std::uint8_t> ParseOpcode(std::string_view word) {
    if (word.starts_with("0x") || word.starts_with("0X")) word.remove_prefix(2);
    if (word.ends_with('h') || word.ends_with('H')) word.remove_suffix(1);
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value, 16);
    if (word.empty() || word.size() > 2 || ec != std::errc() || end != word.data() + word.size()) return {};
    return static_cast<std::uint8_t>(value);
}

}  // namespace

AnswerRules AnswerRules::Load(const std::string& path) {
    return Parse(ReadStepFile(path), path);
}

AnswerRules AnswerRules::Parse(std::string_view text, const std::string& fileName) {
    AnswerRules rules;
    // The sections the current lines belong to.
    std::vector<std::vector<Step>*> current;
    ForEachLine(text, [&](std::string_view line, std::size_t number) {
        const std::string where = fileName + ":" + std::to_string(number);
        const std::string_view trimmed = TrimBlanks(line);
        if (trimmed.starts_with('[')) {
            current = rules.OpenSections(trimmed, where);
            return;
        }
        std::optional<Step> step = ParseStepLine(line, where);
        if (!step) return;
        if (step->kind != StepKind::Set && step->kind != StepKind::Get) {
            throw UsageError(where + ": an answer takes set and get steps only");
        }
        if (current.empty()) throw UsageError(where + ": a step before the first [OPCODES] section");
        for (std::vector<Step>* section : current) section->push_back(*step);
    });
    return rules;
}

std::vector<std::vector<Step>*> AnswerRules::OpenSections(std::string_view header, const std::string& where) {
    const auto close = header.find(']');
    const std::string_view after =
        close == std::string_view::npos ? "" : TrimBlanks(header.substr(close + 1));
    if (close == std::string_view::npos || (!after.empty() && after.front() != '#')) {
        throw UsageError(where + ": a section header is \"[OPCODES]\"");
    }
    std::vector<std::vector<Step>*> sections;
    for (const std::string& word : SplitWords(header.substr(1, close - 1))) {
        std::optional<std::vector<Step>>* slot = nullptr;
        if (word == "*") {
            slot = &fallback_;
        } else if (const auto opcode = ParseOpcode(word)) {
            slot = &byOpcode_[*opcode];
        } else {
            throw UsageError(where + ": \"" + word + "\" is not an opcode in hex or *");
        }
        if (slot->has_value()) throw UsageError(where + ": " + word + " has a section already");
        slot->emplace();
        sections.push_back(&**slot);
    }
    if (sections.empty()) throw UsageError(where + ": the section names no opcode");
    return sections;
}

const std::vector<Step>* AnswerRules::For(std::uint8_t opcode) const {
    if (byOpcode_[opcode]) return &*byOpcode_[opcode];
    return fallback_ ? &*fallback_ : nullptr;
}

std::vector<const Step*> AnswerRules::AllSteps() const {
    std::vector<const Step*> steps;
    auto add = [&steps](const std::optional<std::vector<Step>>& section) {
        if (!section) return;
        for (const Step& step : *section) steps.push_back(&step);
    };
    for (const auto& section : byOpcode_) add(section);
    add(fallback_);
    return steps;
}

}  // namespace tessel::cli
