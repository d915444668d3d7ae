#include "tools/emulator/EmuScript.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <variant>

#include "common/platform/AtomicFile.h"
#include "common/platform/CodePage.h"
#include "driver/base/untTypes.h"
#include "driver/commands/CommandCatalogue.h"
#include "driver/link/EcrFrame.h"
#include "tools/emulator/EmuLine.h"

namespace {

using layout::TCodecKind;

constexpr std::size_t kMoneyDecimals = 4;
constexpr std::size_t kQuantityDecimals = 3;

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

bool IsText(const TField& field) {
    const TCodecKind kind = field.codec.kind;
    return kind == TCodecKind::Text || kind == TCodecKind::Name || kind == TCodecKind::TextTail ||
           kind == TCodecKind::RawTail;
}

// A script sends the register's own requests: their entries of the command list.
const TCommandInfo* ScriptCommand(std::uint8_t opcode) {
    const TCommandInfo* info = FindCommandInfo(opcode);
    return info != nullptr && info->sentByRegister ? info : nullptr;
}

std::string OpcodeText(std::uint8_t opcode) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02Xh", opcode);
    return buf;
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::uint64_t ParseWhole(std::string_view text, std::uint64_t max, std::string_view what) {
    std::uint64_t v = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (!AllDigits(text) || error != std::errc() || end != text.data() + text.size() || v > max) {
        throw std::invalid_argument(std::string(what) + ": expected a whole number from 0 to " +
                                    std::to_string(max) + ", got \"" + std::string(text) + "\"");
    }
    return v;
}

// "123", "123.4", "123.4567": the count of 10^-decimals units. No sign: no field carries a negative.
std::int64_t ParseFixed(std::string_view text, std::size_t decimals, std::string_view what) {
    const auto point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (!AllDigits(whole) || (point != std::string_view::npos && !AllDigits(fraction)) ||
        fraction.size() > decimals) {
        throw std::invalid_argument(std::string(what) + ": expected digits with a point and at most " +
                                    std::to_string(decimals) + " decimals, got \"" + std::string(text) +
                                    "\"");
    }
    std::int64_t scale = 1;
    for (std::size_t i = 0; i < decimals; ++i) scale *= 10;
    const auto max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / scale);
    const auto units = static_cast<std::int64_t>(ParseWhole(whole, max, what)) * scale;
    std::int64_t part = 0;
    for (std::size_t i = 0; i < decimals; ++i) {
        part = part * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    }
    // The whole part alone may fit while whole and fraction together pass the 64-bit count.
    if (units > std::numeric_limits<std::int64_t>::max() - part) {
        throw std::invalid_argument(std::string(what) + ": \"" + std::string(text) +
                                    "\" is beyond the largest value a script can give");
    }
    return units + part;
}

std::string ParseQuoted(std::string_view text, std::string_view what) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
        throw std::invalid_argument(std::string(what) + ": expected a text in double quotes");
    }
    std::string out;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        char c = text[i];
        if (c == '\\') {
            if (i + 2 >= text.size())
                throw std::invalid_argument(std::string(what) + ": a lone \\ at the end");
            c = text[++i];
            if (c != '"' && c != '\\')
                throw std::invalid_argument(std::string(what) + ": unknown escape \\" + c);
        }
        out += c;
    }
    // The register's texts are Windows-1251: a character it has no byte for would go out as '?'.
    for (std::size_t pos = 0; pos < out.size();) {
        const char32_t ch = tessel::NextUtf8Char(out, pos);
        if (tessel::CharToCp1251(ch) < 0) {
            throw std::invalid_argument(std::string(what) + ": a character the register's code page lacks");
        }
    }
    return out;
}

// The script's text of a field's value: bytes and words decimal, money with a point and up to four decimals,
// quantities with up to three, texts in double quotes, codes decimal.
TFieldValue ParseValue(const TField& field, std::string_view text) {
    const std::string_view what = field.name;
    switch (field.codec.kind) {
        case TCodecKind::U8:
            return static_cast<std::int64_t>(ParseWhole(text, 0xFF, what));
        case TCodecKind::U16:
            return static_cast<std::int64_t>(ParseWhole(text, 0xFFFF, what));
        case TCodecKind::Money:
        case TCodecKind::WrappedMoney:
            return ParseFixed(text, kMoneyDecimals, what);
        case TCodecKind::Quantity:
            return static_cast<double>(ParseFixed(text, kQuantityDecimals, what)) / 1000.0;
        case TCodecKind::Code:
            return std::to_string(ParseWhole(text, (std::uint64_t{1} << (8 * field.codec.width)) - 1, what));
        default:
            if (IsText(field)) return ParseQuoted(text, what);
    }
    throw std::invalid_argument(std::string(what) + " has no script form");
}

std::string FormatValue(const TField& field, const TFieldValue& value) {
    switch (field.codec.kind) {
        case TCodecKind::Money:
        case TCodecKind::WrappedMoney:
            return FormatMoney(std::get<std::int64_t>(value));
        case TCodecKind::Quantity:
            return FormatQuantity(std::get<double>(value));
        case TCodecKind::Code:
            return std::get<std::string>(value);
        default:
            break;
    }
    if (IsText(field)) return Quote(std::get<std::string>(value));
    return std::to_string(static_cast<std::uint64_t>(std::get<std::int64_t>(value)));
}

// The rows of `command`'s class for a script: those of a register's request and of an object of its class.
std::span<const TField> ScriptFields(const TCommand& command) {
    const TCommandInfo* info = ScriptCommand(command.Code);
    if (info == nullptr) throw std::invalid_argument(OpcodeText(command.Code) + " has no script fields");
    if (!info->IsClassOf(command))
        throw std::invalid_argument("not an object of " + OpcodeText(command.Code));
    return info->fields();
}

void SetField(TCommand& command, std::string_view name, std::string_view value, bool answer) {
    const auto direction = answer ? layout::Answer : layout::Request;
    const std::span<const TField> fields = ScriptFields(command);
    const auto it = std::find_if(fields.begin(), fields.end(),
                                 [&](const TField& f) { return f.direction == direction && name == f.name; });
    if (it == fields.end()) {
        std::string known;
        for (const TField& f : fields) {
            if (f.direction == direction) known += (known.empty() ? "" : ", ") + std::string(f.name);
        }
        throw std::invalid_argument("unknown field " + std::string(name) + " of " + OpcodeText(command.Code) +
                                    " (" + (known.empty() ? std::string("none") : known) + ")");
    }
    it->member.set(command, ParseValue(*it, value));
}

EmuFieldList ListFields(const TCommand& command, bool answer) {
    const TCommandInfo* info = ScriptCommand(command.Code);
    EmuFieldList out;
    if (info == nullptr || !info->IsClassOf(command)) return out;
    const auto direction = answer ? layout::Answer : layout::Request;
    for (const TField& f : info->fields()) {
        if (f.direction == direction) out.emplace_back(f.name, FormatValue(f, f.member.get(command)));
    }
    return out;
}

// The opcodes a script knows, for its error messages: "80h, 81h, ...".
std::string ScriptOpcodes() {
    std::string out;
    for (const TCommandInfo& info : CommandCatalogue()) {
        if (info.sentByRegister) out += (out.empty() ? "" : ", ") + OpcodeText(info.opcode);
    }
    return out;
}

// Splits a line into words at blanks; double quotes keep blanks, '#' and ';' inside; '#' or ';' outside
// quotes ends the line. Throws for a quote left open.
std::vector<std::string> SplitWords(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            word += c;
            if (c == '\\' && i + 1 < line.size()) {
                word += line[++i];
            } else if (c == '"') {
                quoted = false;
            }
            continue;
        }
        if (c == '#' || c == ';') break;
        if (c == ' ' || c == '\t' || c == '\r') {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        word += c;
        if (c == '"') quoted = true;
    }
    if (quoted) throw std::invalid_argument("a text without its closing quote");
    if (inWord) words.push_back(std::move(word));
    return words;
}

std::uint8_t ParseOpcode(const std::string& word) {
    std::string_view hex = word;
    if (!hex.empty() && (hex.back() == 'h' || hex.back() == 'H')) hex.remove_suffix(1);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
    if (hex.empty() || hex.size() > 2 || error != std::errc() || end != hex.data() + hex.size()) {
        throw std::invalid_argument("expected an opcode in hex or \"register N\", got \"" + word + "\"");
    }
    const auto opcode = static_cast<std::uint8_t>(value);
    if (ScriptCommand(opcode) == nullptr) {
        throw std::invalid_argument("opcode " + OpcodeText(opcode) + " has no script fields (" +
                                    ScriptOpcodes() + ")");
    }
    return opcode;
}

EmuScriptStep ParseStep(const std::vector<std::string>& words, std::uint8_t address) {
    EmuScriptStep step;
    step.address = address;
    step.request = CreateCommand(ParseOpcode(words[0]));
    std::vector<std::string> seen;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& pair = words[i];
        const auto eq = pair.find('=');
        if (eq == std::string::npos || eq == 0) {
            throw std::invalid_argument("expected Name=Value, got \"" + pair + "\"");
        }
        const std::string name = pair.substr(0, eq);
        if (std::find(seen.begin(), seen.end(), name) != seen.end()) {
            throw std::invalid_argument(name + " given twice");
        }
        seen.push_back(name);
        SetRequestField(*step.request, name, std::string_view(pair).substr(eq + 1));
    }
    // Encode once here so that a sum too wide for its field is the script's error, not the run's.
    Bytes payload;
    try {
        payload = step.Payload();
    } catch (const std::exception& e) {
        throw std::invalid_argument(std::string("the request cannot be encoded: ") + e.what());
    }
    if (payload.size() > kMaxPayloadLength) {
        throw std::invalid_argument("the request is " + std::to_string(payload.size()) +
                                    " bytes; a frame carries at most " + std::to_string(kMaxPayloadLength));
    }
    return step;
}

// Without a `register` line, so that the caller's register plays it.
constexpr char kExample[] = R"(# A sale, then the cash operations and the end of the shift.
# Goods: at the register's own price, by article code, by barcode.
80 RegType=1 RegSign=0 Quantity=1.000 Price=12.50 Section=1 OperatorNumber=1
81 RegType=1 RegSign=0 Quantity=2.000 Code=123 OperatorNumber=1
82 RegType=1 RegSign=0 Quantity=0.750 OperatorNumber=1 Barcode="4601234567893"
# Discounts: a free one, by discount code, by discount card, on the whole receipt.
83 RegType=1 DscSign=0 RegSign=0 Summ=1.00 OperatorNumber=1
84 RegType=1 DscSign=0 RegSign=0 Code=7 RecSumm=95.30 OperatorNumber=1
85 RegType=1 DscSign=0 RegSign=0 RecSumm=90.30 OperatorNumber=1 Barcode="2000000000015"
86 RegType=1 DscSign=0 RegSign=0 RecSumm=85.30 OperatorNumber=1
# Payment: the computer says how much goes by card, the rest is paid in cash; then the receipt is closed.
88 RegType=1 RegSign=0 RecSumm=80.30 OperatorNumber=1
87 PayType=1 RegType=1 RegSign=0 Summ=100.00 OperatorNumber=1
90 OperatorNumber=1 RegType=1 ECRDay=9 ECRMonth=2 ECRYear=24 ECRHour=13 ECRMin=45 ECRSec=7 DocumentNumber=15 ReceiptNumber=12
# A second receipt: the cashier corrects the quantity (the register rolls the registration back and sends it
# anew), then cancels the receipt.
80 RegType=1 RegSign=0 Quantity=3.000 Price=5.00 Section=2 OperatorNumber=1
rollback 80 RegType=1 RegSign=0 Quantity=2.000 Price=5.00 Section=2 OperatorNumber=1
91 OperatorNumber=1 RegType=1 ECRDay=9 ECRMonth=2 ECRYear=24 ECRHour=13 ECRMin=47 ECRSec=30 DocumentNumber=16 ReceiptNumber=13
# Cash in, cash out, and the closing of the shift.
50 Summ=500.00 ECRDay=9 ECRMonth=2 ECRYear=24 ECRHour=14 ECRMin=0 ECRSec=0 OperatorNumber=1 DocumentNumber=17 OperationNumber=1
51 Summ=300.00 ECRDay=9 ECRMonth=2 ECRYear=24 ECRHour=20 ECRMin=0 ECRSec=0 OperatorNumber=1 DocumentNumber=18 OperationNumber=2
52 Summ=280.30 ECRDay=9 ECRMonth=2 ECRYear=24 ECRHour=20 ECRMin=5 ECRSec=0 OperatorNumber=1 DocumentNumber=19 OperationNumber=3
)";

}  // namespace

EmuScriptError::EmuScriptError(int line, const std::string& reason, const std::string& file)
    : std::invalid_argument((file.empty() ? "" : file + ": ") + "line " + std::to_string(line) + ": " +
                            reason),
      line_(line),
      reason_(reason) {}

Bytes EmuScriptStep::Payload() const {
    Bytes payload{request->Code};
    const Bytes block = request->EncodeRequest();
    payload.insert(payload.end(), block.begin(), block.end());
    return payload;
}

EmuFieldList RequestFields(const TCommand& command) {
    return ListFields(command, false);
}
EmuFieldList AnswerFields(const TCommand& command) {
    return ListFields(command, true);
}

void SetRequestField(TCommand& command, std::string_view name, std::string_view value) {
    SetField(command, name, value, false);
}

void SetAnswerField(TCommand& command, std::string_view name, std::string_view value) {
    SetField(command, name, value, true);
}

std::string FormatMoney(std::int64_t value) {
    const bool negative = value < 0;
    const std::uint64_t magnitude =
        negative ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    const auto scale = static_cast<std::uint64_t>(kCurrencyScale);
    const std::uint64_t fraction = magnitude % scale;
    char buf[8];
    if (fraction % 100 == 0) {
        std::snprintf(buf, sizeof buf, "%02llu", static_cast<unsigned long long>(fraction / 100));
    } else {
        std::snprintf(buf, sizeof buf, "%04llu", static_cast<unsigned long long>(fraction));
    }
    return (negative ? "-" : "") + std::to_string(magnitude / scale) + "." + buf;
}

std::string FormatQuantity(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", value);
    return buf;
}

EmuScript EmuScript::Parse(std::string_view text, std::uint8_t defaultAddress) {
    EmuScript script;
    std::uint8_t address = defaultAddress;
    int lineNumber = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        try {
            const std::vector<std::string> words = SplitWords(line);
            if (words.empty()) continue;
            if (words[0] == "register") {
                if (words.size() != 2) throw std::invalid_argument("register takes one address");
                address = static_cast<std::uint8_t>(ParseWhole(words[1], 255, "register"));
                if (address == 0) throw std::invalid_argument("register: address 0 is the broadcast");
                continue;
            }
            const bool rollback = words[0] == "rollback";
            if (rollback && words.size() < 2) throw std::invalid_argument("rollback takes a request");
            EmuScriptStep step = ParseStep(
                rollback ? std::vector<std::string>(words.begin() + 1, words.end()) : words, address);
            step.line = lineNumber;
            step.rollback = rollback;
            script.steps_.push_back(std::move(step));
        } catch (const std::invalid_argument& e) {
            throw EmuScriptError(lineNumber, e.what());
        }
    }
    return script;
}

EmuScript EmuScript::Load(const std::string& path, std::uint8_t defaultAddress) {
    std::string text;
    if (!tessel::ReadWholeFile(path, text)) throw std::runtime_error("cannot read the script " + path);
    try {
        return Parse(text, defaultAddress);
    } catch (const EmuScriptError& e) {
        throw EmuScriptError(e.Line(), e.Reason(), path);
    }
}

std::string_view EmuScript::ExampleText() {
    return kExample;
}

bool RunScript(EmuLine& line, const EmuScript& script, std::uint32_t timeoutMs,
               const std::function<void(const EmuScriptStep&, const EmuStepOutcome&)>& report) {
    for (const EmuScriptStep& step : script.Steps()) {
        EmuStepOutcome outcome;
        try {
            outcome.answer = line.SendRequest(step.address, step.Payload(), timeoutMs, step.rollback);
            if (!outcome.answer) outcome.error = line.Running() ? "time-out" : "the line stopped";
        } catch (const std::exception& e) {
            outcome.error = e.what();
        }
        if (report) report(step, outcome);
        if (!outcome.answer) return false;
    }
    return true;
}

std::string DescribeOutcome(const EmuScriptStep& step, const EmuStepOutcome& outcome) {
    std::string out = "LINE " + std::to_string(step.line) + " ADDR " + std::to_string(step.address) + " OP " +
                      OpcodeText(step.Opcode());
    if (!outcome.answer) return out + " NO ANSWER (" + outcome.error + ")";
    const TCommand& answer = *outcome.answer;
    out += " ANSWER " + std::to_string(answer.ResultCode) + " \"" + answer.ResultDescription + "\"";
    if (answer.ResultCode == 0) {
        for (const auto& [name, value] : AnswerFields(answer)) out += " " + name + "=" + value;
    }
    return out;
}

std::string RunScriptText(EmuLine& line, const EmuScript& script, std::uint32_t timeoutMs) {
    std::string out;
    RunScript(line, script, timeoutMs, [&out](const EmuScriptStep& step, const EmuStepOutcome& outcome) {
        out += DescribeOutcome(step, outcome) + "\n";
    });
    return out;
}
