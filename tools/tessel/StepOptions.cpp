#include "tools/tessel/StepOptions.h"

#include <array>
#include <charconv>
#include <string_view>

#include "tools/tessel/Steps.h"

namespace tessel::cli {

namespace {

constexpr std::size_t kPortCount = 32;
// The driver's speed codes 1..8, in baud.
constexpr std::array<std::uint32_t, 8> kBaudRates = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr std::array<std::string_view, 2> kKindNames = {"normal", "fuel"};

constexpr std::string_view kRetry = "--retry";
constexpr std::string_view kQuiet = "--quiet";

std::optional<std::uint32_t> WholeNumber(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::vector<std::string_view> SplitCommas(std::string_view text) {
    std::vector<std::string_view> parts;
    if (text.empty()) return parts;
    for (;;) {
        const auto comma = text.find(',');
        parts.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos) return parts;
        text.remove_prefix(comma + 1);
    }
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// "1,3-5": single ports and ranges, each within 1..32.
std::vector<bool> ParsePorts(std::string_view list, const std::string& where) {
    std::vector<bool> chosen(kPortCount, false);
    for (const std::string_view part : SplitCommas(list)) {
        const auto dash = part.find('-');
        const auto first = WholeNumber(part.substr(0, dash));
        const auto last = dash == std::string_view::npos ? first : WholeNumber(part.substr(dash + 1));
        if (!first || !last || *first < 1 || *last > kPortCount || *first > *last) {
            throw UsageError(where + ": --ports takes port numbers and ranges from 1 to 32, not " +
                             Quoted(part));
        }
        for (std::uint32_t port = *first; port <= *last; ++port) chosen[port - 1] = true;
    }
    return chosen;
}

std::vector<bool> ParseSpeeds(std::string_view list, const std::string& where) {
    std::vector<bool> chosen(kBaudRates.size(), false);
    for (const std::string_view part : SplitCommas(list)) {
        const auto baud = WholeNumber(part);
        std::size_t i = 0;
        while (i < kBaudRates.size() && (!baud || kBaudRates[i] != *baud)) ++i;
        if (i == kBaudRates.size()) {
            throw UsageError(where +
                             ": --speeds takes 1200, 2400, 4800, 9600, 19200, 38400, 57600 and 115200, not " +
                             Quoted(part));
        }
        chosen[i] = true;
    }
    return chosen;
}

std::vector<bool> ParseKinds(std::string_view list, const std::string& where) {
    std::vector<bool> chosen(kKindNames.size(), false);
    for (const std::string_view part : SplitCommas(list)) {
        std::size_t i = 0;
        while (i < kKindNames.size() && kKindNames[i] != part) ++i;
        if (i == kKindNames.size()) {
            throw UsageError(where + ": --kinds takes normal and fuel, not " + Quoted(part));
        }
        chosen[i] = true;
    }
    return chosen;
}

// The value word after an option; throws when the option ends the step.
const std::string& ValueOf(const std::vector<std::string>& words, std::size_t& i, const std::string& where) {
    if (i + 1 >= words.size()) throw UsageError(where + ": " + words[i] + " needs a value");
    return words[++i];
}

}  // namespace

TablesOptions ParseTablesWords(const std::vector<std::string>& words, const std::string& where) {
    TablesOptions options;
    if (words.size() < 2) throw UsageError(where + ": expected \"tables export|import FILE\"");
    if (words[0] == "export") {
        options.action = TablesAction::Export;
    } else if (words[0] == "import") {
        options.action = TablesAction::Import;
    } else {
        throw UsageError(where + ": tables takes export or import, not " + Quoted(words[0]));
    }
    options.file = words[1];
    if (options.file.empty()) throw UsageError(where + ": tables " + words[0] + " needs a file name");
    bool haveRetry = false;
    for (std::size_t i = 2; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == kQuiet) {
            options.quiet = true;
        } else if (word == kRetry) {
            const std::string& value = ValueOf(words, i, where);
            const auto retries = WholeNumber(value);
            if (haveRetry || !retries || *retries > kMaxRetries) {
                throw UsageError(where + ": --retry takes one whole number from 0 to " +
                                 std::to_string(kMaxRetries) + ", not " + Quoted(value));
            }
            options.retries = *retries;
            haveRetry = true;
        } else if (word.starts_with("-")) {
            throw UsageError(where + ": tables has no option " + Quoted(word));
        } else if (options.action == TablesAction::Import) {
            throw UsageError(where + ": tables import writes every table of its file; it takes no table " +
                             Quoted(word));
        } else {
            const auto number = WholeNumber(word);
            if (!number || *number < 1 || *number > static_cast<std::uint32_t>(kMaxTableNumber)) {
                throw UsageError(where + ": a table number is a whole number from 1 to " +
                                 std::to_string(kMaxTableNumber) + ", not " + Quoted(word));
            }
            options.tables.push_back(static_cast<std::int32_t>(*number));
        }
    }
    return options;
}

SearchOptions ParseSearchWords(const std::vector<std::string>& words, const std::string& where) {
    SearchOptions options;
    auto once = [&where](SearchChoice& choice, const std::string& option) {
        if (choice) throw UsageError(where + ": search takes " + option + " once");
    };
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--ports") {
            once(options.ports, word);
            options.ports = ParsePorts(ValueOf(words, i, where), where);
        } else if (word == "--speeds") {
            once(options.speeds, word);
            options.speeds = ParseSpeeds(ValueOf(words, i, where), where);
        } else if (word == "--kinds") {
            once(options.kinds, word);
            options.kinds = ParseKinds(ValueOf(words, i, where), where);
        } else if (word == "--save") {
            options.save = true;
        } else if (word == kQuiet) {
            options.quiet = true;
        } else {
            throw UsageError(where + ": search has no option " + Quoted(word));
        }
    }
    return options;
}

}  // namespace tessel::cli
