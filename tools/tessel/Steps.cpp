#include "tools/tessel/Steps.h"

#include <charconv>
#include <system_error>

#include "common/platform/AtomicFile.h"

namespace tessel::cli {

namespace {

struct StepSyntax {
    std::string_view keyword;
    StepKind kind;
    std::size_t required;  // words the step always takes
    std::size_t optional;  // further words it takes up to the next keyword
    std::string_view usage;
};

// Every step; a new one needs a row here, a case in MakeStep and one in the runner.
constexpr StepSyntax kSyntax[] = {
    {"set", StepKind::Set, 1, 0, "set NAME=VALUE"},
    {"call", StepKind::Call, 1, 0, "call METHOD"},
    {"get", StepKind::Get, 1, 0, "get NAME"},
    {"wait", StepKind::Wait, 1, 0, "wait MS"},
    {"pump", StepKind::Pump, 0, 0, "pump"},
    {"members", StepKind::Members, 0, 0, "members"},
    {"settings", StepKind::Settings, 0, 0, "settings"},
    {"listen", StepKind::Listen, 0, 3, "listen [SECONDS] [RULES] [count=N]"},
    // Up to every table number besides the options; the words themselves are checked when parsed.
    {"tables", StepKind::Tables, 2, 2 * kMaxTableNumber,
     "tables export FILE [TABLE...] [--retry N] [--quiet] | tables import FILE [--retry N] [--quiet]"},
    {"search", StepKind::Search, 0, 8,
     "search [--ports LIST] [--speeds LIST] [--kinds LIST] [--save] [--quiet]"},
};

constexpr std::string_view kFileOption = "-f";
constexpr std::string_view kCountPrefix = "count=";
constexpr std::string_view kBlanks = " \t";

const StepSyntax* FindSyntax(std::string_view keyword) {
    for (const StepSyntax& s : kSyntax)
        if (s.keyword == keyword) return &s;
    return nullptr;
}

// A whole decimal number within 0..max; nothing for anything else.
std::optional<std::uint32_t> ParseNumber(std::string_view text, std::uint32_t max) {
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max) return {};
    return value;
}

std::uint32_t RequireNumber(std::string_view text, std::uint32_t max, const std::string& what,
                            const std::string& where) {
    const auto value = ParseNumber(text, max);
    if (!value) {
        throw UsageError(where + ": " + what + " must be a whole number from 0 to " + std::to_string(max) +
                         ", not \"" + std::string(text) + "\"");
    }
    return *value;
}

// NAME=VALUE; a value in double quotes loses them, so that it may begin or end with blanks.
void ParseAssignment(std::string_view text, Step& step) {
    const auto eq = text.find('=');
    if (eq == std::string_view::npos) {
        throw UsageError(step.where + ": set needs NAME=VALUE, not \"" + std::string(text) + "\"");
    }
    step.name = std::string(TrimBlanks(text.substr(0, eq)));
    if (step.name.empty() || step.name.find_first_of(kBlanks) != std::string::npos) {
        throw UsageError(step.where + ": set needs a member name before '='");
    }
    std::string_view value = text.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    step.value = std::string(value);
}

void ParseListen(const std::vector<std::string>& words, Step& step) {
    bool haveSeconds = false;
    bool haveCount = false;
    for (const std::string& word : words) {
        if (word.starts_with(kCountPrefix)) {
            if (haveCount) throw UsageError(step.where + ": listen takes count=N once");
            step.listen.count = RequireNumber(std::string_view(word).substr(kCountPrefix.size()), UINT32_MAX,
                                              "count", step.where);
            haveCount = true;
        } else if (!haveSeconds && step.listen.rulesFile.empty() && ParseNumber(word, UINT32_MAX)) {
            step.listen.seconds = RequireNumber(word, kMaxListenSeconds, "the listening time", step.where);
            haveSeconds = true;
        } else if (step.listen.rulesFile.empty()) {
            step.listen.rulesFile = word;
        } else {
            throw UsageError(step.where + ": listen takes one rules file, not \"" + word + "\" as well");
        }
    }
}

Step MakeStep(const StepSyntax& syntax, const std::vector<std::string>& words, const std::string& where) {
    Step step;
    step.kind = syntax.kind;
    step.where = where;
    if (words.size() < syntax.required || words.size() > syntax.required + syntax.optional) {
        throw UsageError(where + ": expected \"" + std::string(syntax.usage) + "\"");
    }
    switch (syntax.kind) {
        case StepKind::Set:
            ParseAssignment(words[0], step);
            break;
        case StepKind::Call:
        case StepKind::Get:
            step.name = words[0];
            break;
        case StepKind::Wait:
            step.ms = RequireNumber(words[0], kMaxWaitMs, "wait", where);
            break;
        case StepKind::Listen:
            ParseListen(words, step);
            break;
        case StepKind::Tables:
            step.tables = ParseTablesWords(words, where);
            break;
        case StepKind::Search:
            step.search = ParseSearchWords(words, where);
            break;
        case StepKind::Pump:
        case StepKind::Members:
        case StepKind::Settings:
            break;
    }
    return step;
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

void ForEachLine(std::string_view text, const std::function<void(std::string_view, std::size_t)>& line) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (text.starts_with(kBom)) text.remove_prefix(kBom.size());
    for (std::size_t number = 1; !text.empty(); ++number) {
        const auto nl = text.find('\n');
        std::string_view current = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        if (current.ends_with('\r')) current.remove_suffix(1);
        line(current, number);
    }
}

std::vector<std::string> SplitWords(std::string_view text) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while ((pos = text.find_first_not_of(kBlanks, pos)) != std::string_view::npos) {
        const auto end = text.find_first_of(kBlanks, pos);
        words.emplace_back(text.substr(pos, end == std::string_view::npos ? end : end - pos));
        pos = end;
    }
    return words;
}

bool IsStepKeyword(std::string_view word) {
    return word == kFileOption || FindSyntax(word) != nullptr;
}

std::string_view StepUsage(StepKind kind) {
    for (const StepSyntax& s : kSyntax)
        if (s.kind == kind) return s.usage;
    return {};
}

std::string ReadStepFile(const std::string& path) {
    std::string text;
    try {
        if (!ReadWholeFile(path, text)) throw UsageError("cannot read " + path + ": no such file");
    } catch (const std::system_error& e) {
        throw UsageError(std::string("cannot read ") + e.what());
    }
    if (text.size() > kMaxStepFileBytes) {
        throw UsageError(path + " is larger than " + std::to_string(kMaxStepFileBytes) + " bytes");
    }
    return text;
}

std::vector<Step> ParseStepArguments(const std::vector<std::string>& args) {
    std::vector<Step> steps;
    for (std::size_t i = 0; i < args.size();) {
        const std::string where = "argument " + std::to_string(i + 1);
        const std::string& keyword = args[i++];
        if (keyword == kFileOption) {
            if (i >= args.size()) throw UsageError(where + ": -f needs a file");
            const std::string& file = args[i++];
            std::vector<Step> fromFile = ParseStepText(ReadStepFile(file), file);
            steps.insert(steps.end(), fromFile.begin(), fromFile.end());
            continue;
        }
        const StepSyntax* syntax = FindSyntax(keyword);
        if (syntax == nullptr) throw UsageError(where + ": unknown step \"" + keyword + "\" (try --help)");
        std::vector<std::string> words;
        while (words.size() < syntax->required && i < args.size()) words.push_back(args[i++]);
        while (words.size() < syntax->required + syntax->optional && i < args.size() &&
               !IsStepKeyword(args[i]))
            words.push_back(args[i++]);
        steps.push_back(MakeStep(*syntax, words, where));
    }
    return steps;
}

std::optional<Step> ParseStepLine(std::string_view line, const std::string& where) {
    const std::string_view text = TrimBlanks(line);
    if (text.empty() || text.front() == '#') return std::nullopt;
    const auto end = text.find_first_of(kBlanks);
    const std::string_view keyword = text.substr(0, end);
    const std::string_view rest =
        end == std::string_view::npos ? std::string_view() : TrimBlanks(text.substr(end));
    const StepSyntax* syntax = FindSyntax(keyword);
    if (syntax == nullptr) throw UsageError(where + ": unknown step \"" + std::string(keyword) + "\"");
    // A value may hold blanks: the rest of the line is the one word of `set`.
    if (syntax->kind == StepKind::Set) {
        return MakeStep(
            *syntax, rest.empty() ? std::vector<std::string>{} : std::vector<std::string>{std::string(rest)},
            where);
    }
    return MakeStep(*syntax, SplitWords(rest), where);
}

std::vector<Step> ParseStepText(std::string_view text, const std::string& fileName) {
    std::vector<Step> steps;
    ForEachLine(text, [&](std::string_view line, std::size_t number) {
        if (auto step = ParseStepLine(line, fileName + ":" + std::to_string(number))) {
            steps.push_back(std::move(*step));
        }
    });
    return steps;
}

}  // namespace tessel::cli
