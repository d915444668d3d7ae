#include "tools/emulator/EmuScript.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>
#include <type_traits>
#include <variant>

#include "common/platform/AtomicFile.h"
#include "common/platform/CodePage.h"
#include "driver/commands/CommandFactory.h"
#include "driver/commands/untPaymentCommands.h"
#include "driver/commands/untSaleCommands.h"
#include "driver/engine/untTypes.h"
#include "driver/link/EcrFrame.h"
#include "tools/emulator/EmuLine.h"

namespace {

enum class Kind { Byte, Word, Money, Quantity, Text, Code };

// A parsed value: whole numbers for bytes and words, 1/10000 for money, quantities, texts and codes.
using Value = std::variant<std::uint64_t, Currency, double, std::string>;

// Article and discount codes travel in five bytes.
constexpr std::uint64_t kMaxCode = (std::uint64_t{1} << 40) - 1;
constexpr std::size_t kMoneyDecimals = 4;
constexpr std::size_t kQuantityDecimals = 3;

struct Field {
    const char* name;
    Kind kind;
    bool answer;
    std::function<void(TCommand&, const Value&)> set;
    std::function<std::string(const TCommand&)> get;
};

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

template <class C, class T>
Field MakeField(const char* name, Kind kind, bool answer, T C::*member) {
    Field f{name, kind, answer, {}, {}};
    f.set = [member](TCommand& command, const Value& value) {
        C& object = dynamic_cast<C&>(command);
        std::visit(
            [&](const auto& v) {
                using V = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<V, std::string> == std::is_same_v<T, std::string>) {
                    object.*member = static_cast<T>(v);
                }
            },
            value);
    };
    // Texts quoted, codes and whole numbers decimal, money and quantities with a point.
    if constexpr (std::is_same_v<T, std::string>) {
        const bool quoted = kind == Kind::Text;
        f.get = [member, quoted](const TCommand& command) -> std::string {
            const std::string& v = dynamic_cast<const C&>(command).*member;
            return quoted ? Quote(v) : v;
        };
    } else if constexpr (std::is_same_v<T, double>) {
        f.get = [member](const TCommand& command) {
            return FormatQuantity(dynamic_cast<const C&>(command).*member);
        };
    } else {
        const bool money = kind == Kind::Money;
        f.get = [member, money](const TCommand& command) {
            const T v = dynamic_cast<const C&>(command).*member;
            return money ? FormatMoney(static_cast<std::int64_t>(v))
                         : std::to_string(static_cast<std::uint64_t>(v));
        };
    }
    return f;
}

using Table = std::vector<Field>;

// Shorthands for the tables below: request and answer fields of class C.
template <class C, class T>
Field Req(const char* name, Kind kind, T C::*member) {
    return MakeField(name, kind, false, member);
}
template <class C, class T>
Field Ans(const char* name, Kind kind, T C::*member) {
    return MakeField(name, kind, true, member);
}

// The clock, document and receipt numbers shared by 90h and 91h.
Table ReceiptEndRequest() {
    using C = TReceiptEndCommand;
    return {Req("OperatorNumber", Kind::Byte, &C::OperatorNumber),
            Req("RegType", Kind::Byte, &C::RegType),
            Req("ECRDay", Kind::Byte, &C::ECRDay),
            Req("ECRMonth", Kind::Byte, &C::ECRMonth),
            Req("ECRYear", Kind::Byte, &C::ECRYear),
            Req("ECRHour", Kind::Byte, &C::ECRHour),
            Req("ECRMin", Kind::Byte, &C::ECRMin),
            Req("ECRSec", Kind::Byte, &C::ECRSec),
            Req("DocumentNumber", Kind::Word, &C::DocumentNumber),
            Req("ReceiptNumber", Kind::Word, &C::ReceiptNumber)};
}

Table Build80() {
    using C = TCommand80h;
    return {
        Req("RegType", Kind::Byte, &C::RegType),       Req("RegSign", Kind::Byte, &C::RegSign),
        Req("Quantity", Kind::Quantity, &C::Quantity), Req("Price", Kind::Money, &C::Price),
        Req("Section", Kind::Byte, &C::Section),       Req("OperatorNumber", Kind::Byte, &C::OperatorNumber)};
}

Table Build81() {
    using C = TCommand81h;
    return {Req("RegType", Kind::Byte, &C::RegType),
            Req("RegSign", Kind::Byte, &C::RegSign),
            Req("Quantity", Kind::Quantity, &C::Quantity),
            Req("Code", Kind::Code, &C::ArticleCode),
            Req("OperatorNumber", Kind::Byte, &C::OperatorNumber),
            Ans("Text", Kind::Text, &C::Text),
            Ans("Price", Kind::Money, &C::Price),
            Ans("Section", Kind::Byte, &C::Section),
            Ans("Tax1", Kind::Byte, &C::Tax1),
            Ans("Tax2", Kind::Byte, &C::Tax2),
            Ans("Tax3", Kind::Byte, &C::Tax3),
            Ans("Tax4", Kind::Byte, &C::Tax4)};
}

Table Build82() {
    using C = TCommand82h;
    return {Req("RegType", Kind::Byte, &C::RegType),
            Req("RegSign", Kind::Byte, &C::RegSign),
            Req("Quantity", Kind::Quantity, &C::Quantity),
            Req("OperatorNumber", Kind::Byte, &C::OperatorNumber),
            Req("Barcode", Kind::Text, &C::Barcode),
            Ans("BarcodeType", Kind::Byte, &C::BarcodeType),
            Ans("Text", Kind::Text, &C::Text),
            Ans("Price", Kind::Money, &C::Price),
            Ans("Section", Kind::Byte, &C::Section),
            Ans("Tax1", Kind::Byte, &C::Tax1),
            Ans("Tax2", Kind::Byte, &C::Tax2),
            Ans("Tax3", Kind::Byte, &C::Tax3),
            Ans("Tax4", Kind::Byte, &C::Tax4),
            Ans("BarcodeWeight", Kind::Quantity, &C::BarcodeWeight)};
}

Table Build83() {
    using C = TCommand83h;
    return {Req("RegType", Kind::Byte, &C::RegType), Req("DscSign", Kind::Byte, &C::DscSign),
            Req("RegSign", Kind::Byte, &C::RegSign), Req("Summ", Kind::Money, &C::Summ),
            Req("OperatorNumber", Kind::Byte, &C::OperatorNumber)};
}

Table Build84() {
    using C = TCommand84h;
    return {Req("RegType", Kind::Byte, &C::RegType),  Req("DscSign", Kind::Byte, &C::DscSign),
            Req("RegSign", Kind::Byte, &C::RegSign),  Req("Code", Kind::Code, &C::DiscountCode),
            Req("RecSumm", Kind::Money, &C::RecSumm), Req("OperatorNumber", Kind::Byte, &C::OperatorNumber),
            Ans("Text", Kind::Text, &C::Text),        Ans("Summ", Kind::Money, &C::Summ)};
}

Table Build85() {
    using C = TCommand85h;
    return {Req("RegType", Kind::Byte, &C::RegType),
            Req("DscSign", Kind::Byte, &C::DscSign),
            Req("RegSign", Kind::Byte, &C::RegSign),
            Req("RecSumm", Kind::Money, &C::RecSumm),
            Req("OperatorNumber", Kind::Byte, &C::OperatorNumber),
            Req("Barcode", Kind::Text, &C::Barcode),
            Ans("Text", Kind::Text, &C::Text),
            Ans("Summ", Kind::Money, &C::Summ)};
}

Table Build86() {
    using C = TCommand86h;
    return {Req("RegType", Kind::Byte, &C::RegType),
            Req("DscSign", Kind::Byte, &C::DscSign),
            Req("RegSign", Kind::Byte, &C::RegSign),
            Req("RecSumm", Kind::Money, &C::RecSumm),
            Req("OperatorNumber", Kind::Byte, &C::OperatorNumber),
            Ans("Text", Kind::Text, &C::Text),
            Ans("Summ", Kind::Money, &C::Summ)};
}

Table Build87() {
    using C = TCommand87h;
    return {Req("PayType", Kind::Byte, &C::PayType), Req("RegType", Kind::Byte, &C::RegType),
            Req("RegSign", Kind::Byte, &C::RegSign), Req("Summ", Kind::Money, &C::Summ),
            Req("OperatorNumber", Kind::Byte, &C::OperatorNumber)};
}

Table Build88() {
    using C = TCommand88h;
    return {Req("RegType", Kind::Byte, &C::RegType),  Req("RegSign", Kind::Byte, &C::RegSign),
            Req("RecSumm", Kind::Money, &C::RecSumm), Req("OperatorNumber", Kind::Byte, &C::OperatorNumber),
            Ans("PayType", Kind::Byte, &C::PayType),  Ans("Summ", Kind::Money, &C::Summ)};
}

Table Build90() {
    using C = TCommand90h;
    Table t = ReceiptEndRequest();
    t.push_back(Ans("TaxSumm1", Kind::Money, &C::TaxSumm1));
    t.push_back(Ans("TaxSumm2", Kind::Money, &C::TaxSumm2));
    t.push_back(Ans("TaxSumm3", Kind::Money, &C::TaxSumm3));
    t.push_back(Ans("TaxSumm4", Kind::Money, &C::TaxSumm4));
    return t;
}

Table Build5x() {
    using C = TCommand5xh;
    return {Req("Summ", Kind::Money, &C::Summ),
            Req("ECRDay", Kind::Byte, &C::ECRDay),
            Req("ECRMonth", Kind::Byte, &C::ECRMonth),
            Req("ECRYear", Kind::Byte, &C::ECRYear),
            Req("ECRHour", Kind::Byte, &C::ECRHour),
            Req("ECRMin", Kind::Byte, &C::ECRMin),
            Req("ECRSec", Kind::Byte, &C::ECRSec),
            Req("OperatorNumber", Kind::Byte, &C::OperatorNumber),
            Req("DocumentNumber", Kind::Word, &C::DocumentNumber),
            Req("OperationNumber", Kind::Word, &C::OperationNumber)};
}

// The fields of an opcode, or nullptr when the script does not know it.
const Table* TableFor(std::uint8_t opcode) {
    static const Table t80 = Build80(), t81 = Build81(), t82 = Build82(), t83 = Build83(), t84 = Build84(),
                       t85 = Build85(), t86 = Build86(), t87 = Build87(), t88 = Build88(), t90 = Build90(),
                       t91 = ReceiptEndRequest(), t5x = Build5x();
    switch (opcode) {
        case 0x80:
            return &t80;
        case 0x81:
            return &t81;
        case 0x82:
            return &t82;
        case 0x83:
            return &t83;
        case 0x84:
            return &t84;
        case 0x85:
            return &t85;
        case 0x86:
            return &t86;
        case 0x87:
            return &t87;
        case 0x88:
            return &t88;
        case 0x90:
            return &t90;
        case 0x91:
            return &t91;
        case 0x50:
        case 0x51:
        case 0x52:
            return &t5x;
        default:
            return nullptr;
    }
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

Value ParseValue(Kind kind, std::string_view text, std::string_view what) {
    switch (kind) {
        case Kind::Byte:
            return ParseWhole(text, 0xFF, what);
        case Kind::Word:
            return ParseWhole(text, 0xFFFF, what);
        case Kind::Money:
            return Currency{ParseFixed(text, kMoneyDecimals, what)};
        case Kind::Quantity:
            return static_cast<double>(ParseFixed(text, kQuantityDecimals, what)) / 1000.0;
        case Kind::Text:
            return ParseQuoted(text, what);
        case Kind::Code:
            return std::to_string(ParseWhole(text, kMaxCode, what));
    }
    throw std::logic_error("unknown field kind");
}

const Table& TableOf(const TCommand& command) {
    const Table* table = TableFor(command.Code);
    if (table == nullptr) throw std::invalid_argument(OpcodeText(command.Code) + " has no script fields");
    return *table;
}

void SetField(TCommand& command, std::string_view name, std::string_view value, bool answer) {
    const Table& table = TableOf(command);
    const auto it = std::find_if(table.begin(), table.end(),
                                 [&](const Field& f) { return f.answer == answer && name == f.name; });
    if (it == table.end()) {
        std::string known;
        for (const Field& f : table) {
            if (f.answer == answer) known += (known.empty() ? "" : ", ") + std::string(f.name);
        }
        throw std::invalid_argument("unknown field " + std::string(name) + " of " + OpcodeText(command.Code) +
                                    " (" + (known.empty() ? std::string("none") : known) + ")");
    }
    it->set(command, ParseValue(it->kind, value, name));
}

EmuFieldList ListFields(const TCommand& command, bool answer) {
    const Table* table = TableFor(command.Code);
    EmuFieldList out;
    if (table == nullptr) return out;
    for (const Field& f : *table) {
        if (f.answer != answer) continue;
        try {
            out.emplace_back(f.name, f.get(command));
        } catch (const std::bad_cast&) {
            return {};  // not an object of the opcode's class
        }
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
    if (TableFor(opcode) == nullptr) {
        throw std::invalid_argument("opcode " + OpcodeText(opcode) +
                                    " has no script fields (80h-88h, 90h, 91h, 50h-52h)");
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
# A second receipt, cancelled.
80 RegType=1 RegSign=0 Quantity=3.000 Price=5.00 Section=2 OperatorNumber=1
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
            EmuScriptStep step = ParseStep(words, address);
            step.line = lineNumber;
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
            outcome.answer = line.SendRequest(step.address, step.Payload(), timeoutMs);
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
