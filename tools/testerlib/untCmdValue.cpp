#include "tools/testerlib/untCmdValue.h"

#include <charconv>
#include <cmath>
#include <ctime>

#include "common/com/ComText.h"
#include "common/com/compat/OleDateText.h"
#include "common/platform/TextFormat.h"
#include "common/platform/TextTrim.h"

namespace tessel::cmd {

namespace {

constexpr char kDayZero[] = "30.12.1899";
constexpr char kMidnight[] = "00:00:00";

// Clears a VARIANT for a new value.
void Reset(VARIANT& v) {
    VariantClear(&v);
    VariantInit(&v);
}

// `value` converted by automation's rules to `vt` in `out`; false when it does not convert.
bool Convert(const VARIANT& value, VARTYPE vt, VARIANT& out) {
    VariantInit(&out);
    return SUCCEEDED(VariantChangeType(&out, const_cast<VARIANT*>(&value), 0, vt));
}

// A text converted by automation's rules (a point or a comma, an exponent) to `vt`.
bool ConvertText(std::string_view text, VARTYPE vt, VARIANT& out) {
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = Utf8ToBstr(text).release();
    const bool ok = Convert(source, vt, out);
    VariantClear(&source);
    return ok;
}

[[noreturn]] void NotA(std::string_view text, const char* what) {
    throw ECmdConvertError("«" + std::string(text) + "» не является " + what);
}

const char* TypeWord(int type) {
    switch (type) {
        case ptInteger:
            return "целым числом";
        case ptDate:
            return "датой";
        case ptTime:
            return "временем";
        case ptMoney:
            return "суммой";
        case ptQuantity:
            return "числом";
        default:
            return "строкой";
    }
}

}  // namespace

// ---- Dates ----

std::string TCmdDateForms::DateText(DATE value) const {
    const auto text = OleDateToText(value);
    if (!text) return {};
    // Day zero is written as the time alone, and a midnight as the date alone.
    if (text->find('.') == std::string::npos) return kDayZero;
    return text->substr(0, text->find(' '));
}

std::string TCmdDateForms::TimeText(DATE value) const {
    const auto text = OleDateToText(value);
    if (!text) return {};
    if (const auto blank = text->find(' '); blank != std::string::npos) return text->substr(blank + 1);
    return text->find(':') != std::string::npos ? *text : kMidnight;
}

std::optional<DATE> TCmdDateForms::ParseDate(std::string_view text) const {
    const auto value = OleDateFromText(text);
    if (!value || text.find(':') != std::string_view::npos) return std::nullopt;
    return value;
}

std::optional<DATE> TCmdDateForms::ParseTime(std::string_view text) const {
    if (text.find('.') != std::string_view::npos || text.find('-') != std::string_view::npos)
        return std::nullopt;
    return OleDateFromText(text);
}

DATE TCmdDateForms::Now() const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return OleDateFromText(FormatText("%02d.%02d.%04d %02d:%02d:%02d", local.tm_mday, local.tm_mon + 1,
                                      local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec))
        .value_or(0.0);
}

std::string NowText(int type, const TCmdDateForms& forms) {
    return type == ptTime ? forms.TimeText(forms.Now()) : forms.DateText(forms.Now());
}

// ---- Numbers ----

std::optional<std::int32_t> ParseInteger(std::string_view text) {
    std::string_view t = TrimBlanks(text);
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
    return value;
}

std::optional<LONGLONG> ParseMoney(std::string_view text) {
    VARIANT value;
    if (!ConvertText(text, VT_CY, value)) return std::nullopt;
    return value.cyVal.int64;
}

std::optional<double> ParseQuantity(std::string_view text) {
    VARIANT value;
    if (!ConvertText(text, VT_R8, value) || !std::isfinite(value.dblVal)) return std::nullopt;
    return value.dblVal;
}

std::string MoneyText(LONGLONG amount) {
    const bool negative = amount < 0;
    // Through the unsigned type, so that the smallest amount has a magnitude too.
    const auto magnitude =
        negative ? 0 - static_cast<unsigned long long>(amount) : static_cast<unsigned long long>(amount);
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / 10000);
    std::string fraction = FormatText("%04llu", magnitude % 10000);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (!fraction.empty()) text += "." + fraction;
    return text;
}

std::string QuantityText(double value) {
    char buffer[400];  // the longest fixed form of a double has 309 integer digits
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (ec != std::errc()) return {};
    std::string text(buffer, end);
    return text == "-0" ? "0" : text;
}

// ---- Text and values ----

void TextToVariant(int type, std::string_view text, const TCmdDateForms& forms, VARIANT& out) {
    Reset(out);
    switch (type) {
        case ptInteger: {
            const auto value = ParseInteger(text);
            if (!value) NotA(text, TypeWord(type));
            out.vt = VT_I4;
            out.lVal = *value;
            return;
        }
        case ptHex:
            out.vt = VT_BSTR;
            out.bstrVal = BytesToBstr(HexToBytes(text)).release();
            return;
        case ptDate:
        case ptTime: {
            const auto value = type == ptDate ? forms.ParseDate(text) : forms.ParseTime(text);
            if (!value) NotA(text, TypeWord(type));
            out.vt = VT_DATE;
            out.date = *value;
            return;
        }
        case ptMoney: {
            const auto value = ParseMoney(text);
            if (!value) NotA(text, TypeWord(type));
            out.vt = VT_CY;
            out.cyVal.int64 = *value;
            return;
        }
        case ptQuantity: {
            const auto value = ParseQuantity(text);
            if (!value) NotA(text, TypeWord(type));
            out.vt = VT_R8;
            out.dblVal = *value;
            return;
        }
        default:
            out.vt = VT_BSTR;
            out.bstrVal = Utf8ToBstr(text).release();
            return;
    }
}

std::string VariantToText(int type, const VARIANT& value, const TCmdDateForms& forms) {
    VARIANT v;
    const VARTYPE vt = type == ptInteger                  ? VT_I4
                       : type == ptDate || type == ptTime ? VT_DATE
                       : type == ptMoney                  ? VT_CY
                       : type == ptQuantity               ? VT_R8
                                                          : VT_BSTR;
    if (!Convert(value, vt, v)) throw ECmdConvertError(std::string("Значение не является ") + TypeWord(type));
    std::string text;
    switch (type) {
        case ptInteger:
            text = std::to_string(v.lVal);
            break;
        case ptHex:
            text = BytesToHex(BstrToBytes(v.bstrVal));
            break;
        case ptDate:
            text = forms.DateText(v.date);
            break;
        case ptTime:
            text = forms.TimeText(v.date);
            break;
        case ptMoney:
            text = MoneyText(v.cyVal.int64);
            break;
        case ptQuantity:
            text = QuantityText(v.dblVal);
            break;
        default:
            text = BstrToUtf8(v.bstrVal);
            break;
    }
    VariantClear(&v);
    return text;
}

}  // namespace tessel::cmd
