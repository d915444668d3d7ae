#include "tools/tester/untReg.h"

#include <charconv>
#include <cstdlib>
#include <limits>

#include "common/platform/TextFormat.h"
#include "common/platform/TextTrim.h"
#include "tools/testerlib/untCmdValue.h"

namespace tessel::tst {

namespace {

std::string_view Trim(std::string_view text) {
    return TrimBlanks(text, " \t\r");
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

const TECRRegister& TECRRegisters::Read(TDriver& driver, int number) {
    const auto sequence = driver.Sequence();
    driver.PutLong("RegisterNumber", number);
    driver.Check(ReadMethod());
    items_.push_back({number, ValueText(driver)});
    return items_.back();
}

void TECRRegisters::ReadAll(TDriver& driver, const std::function<bool()>& stopped,
                            const std::function<void(const TECRRegister&)>& onRead) {
    for (int number = 0; number <= kLastRegisterNumber && !stopped(); ++number) {
        try {
            onRead(Read(driver, number));
        } catch (const EDriverError& e) {
            if (e.Code() == kNoSuchRegister) return;
            throw;
        }
    }
}

std::string TCashRegisters::ValueText(TDriver& driver) const {
    return cmd::MoneyText(driver.GetMoney(ValueProperty()));
}

std::string TOptnRegisters::ValueText(TDriver& driver) const {
    return std::to_string(static_cast<std::uint16_t>(driver.GetLong(ValueProperty())));
}

std::string TRestRegisters::ValueText(TDriver& driver) const {
    return cmd::QuantityText(static_cast<double>(driver.GetLong(ValueProperty())));
}

std::string RegisterLine(const TECRRegister& r) {
    return FormatText("%.2d: %s", r.Number, r.Value.c_str());
}

std::string ThousandthsText(std::int32_t thousandths) {
    const bool negative = thousandths < 0;
    const std::int64_t magnitude = std::llabs(static_cast<std::int64_t>(thousandths));
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / 1000);
    std::string fraction = FormatText("%03d", static_cast<int>(magnitude % 1000));
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (!fraction.empty()) text += "." + fraction;
    return text;
}

std::string RestLine(int number, std::int32_t thousandths) {
    return FormatText("%.4d: %s", number, ThousandthsText(thousandths).c_str());
}

std::optional<std::int32_t> ParseThousandths(std::string_view text) {
    std::string_view t = Trim(text);
    bool negative = false;
    if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    const auto point = t.find_first_of(".,");
    const std::string_view whole = t.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : t.substr(point + 1);
    if (whole.empty() && fraction.empty()) return std::nullopt;
    for (const char c : whole)
        if (!IsDigit(c)) return std::nullopt;
    for (const char c : fraction)
        if (!IsDigit(c)) return std::nullopt;
    // Digits past the thousandths are cut off, not rounded; leading zeros cannot overflow.
    std::int64_t value = 0;
    for (const char c : whole) {
        value = value * 10 + (c - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
    }
    for (std::size_t i = 0; i < 3; ++i) value = value * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    if (negative) value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::vector<TRestWrite> ParseRestLines(std::string_view text) {
    std::vector<TRestWrite> writes;
    int lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (Trim(line).empty()) continue;
        // Four characters of number, two of separator; a number of five digits ("%.4d" of 12345) runs on,
        // and is not cut to the register 1234.
        std::size_t numberEnd = std::min<std::size_t>(4, line.size());
        while (numberEnd < line.size() && IsDigit(line[numberEnd])) ++numberEnd;
        const std::string_view numberText = Trim(line.substr(0, numberEnd));
        int number = -1;
        const auto [last, ec] =
            std::from_chars(numberText.data(), numberText.data() + numberText.size(), number);
        const std::optional<std::int32_t> value = line.size() > numberEnd + 2
                                                      ? ParseThousandths(line.substr(numberEnd + 2))
                                                      : std::optional<std::int32_t>();
        if (numberText.empty() || ec != std::errc() || last != numberText.data() + numberText.size() ||
            number < 0 || number > kLastRegisterNumber || !value) {
            throw ERestLineError(
                FormatText("Неверная строка %d: «%s»", lineNumber, std::string(Trim(line)).c_str()));
        }
        writes.push_back({number, *value});
    }
    return writes;
}

}  // namespace tessel::tst
