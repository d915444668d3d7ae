#include "tools/tessel/ValueText.h"

#include <cstdint>

#include "common/com/ComText.h"
#include "common/platform/CodePage.h"

namespace tessel::cli {

namespace {

constexpr std::uint64_t kCyScale = 10000;

// RAII for the converted copy.
struct VariantHolder {
    VARIANT v;
    VariantHolder() { VariantInit(&v); }
    ~VariantHolder() { VariantClear(&v); }
    VariantHolder(const VariantHolder&) = delete;
    VariantHolder& operator=(const VariantHolder&) = delete;
};

}  // namespace

std::string CurrencyText(LONGLONG amount) {
    const bool negative = amount < 0;
    // Unsigned magnitude: the most negative amount has no positive counterpart.
    const std::uint64_t m =
        negative ? 0 - static_cast<std::uint64_t>(amount) : static_cast<std::uint64_t>(amount);
    std::string digits = std::to_string(m % kCyScale + kCyScale).substr(1);  // four, leading zeros kept
    while (digits.size() > 2 && digits.back() == '0') digits.pop_back();
    return (negative ? "-" : "") + std::to_string(m / kCyScale) + "." + digits;
}

std::string EscapeControls(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\\') {
            out += "\\\\";
        } else if (b < 0x20 || b == 0x7F) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::string PadRight(std::string_view text, std::size_t width) {
    std::size_t chars = 0;
    for (std::size_t pos = 0; pos < text.size(); ++chars) NextUtf8Char(text, pos);
    std::string out(text);
    if (chars < width) out.append(width - chars, ' ');
    return out;
}

std::string FormatValue(const VARIANT& value) {
    const VARIANT* v = &value;
    if ((v->vt & VT_BYREF) != 0 && (v->vt & VT_TYPEMASK) == VT_VARIANT && v->pvarVal != nullptr)
        v = v->pvarVal;
    switch (v->vt) {
        case VT_BOOL:
            return v->boolVal != 0 ? "true" : "false";
        case VT_CY:
            return CurrencyText(v->cyVal.int64);
        case VT_BSTR:
            return EscapeControls(BstrToUtf8(v->bstrVal));
        default:
            break;
    }
    VariantHolder text;
    // The source is not changed; some system headers declare it without const.
    if (FAILED(VariantChangeType(&text.v, const_cast<VARIANT*>(v), 0, VT_BSTR)) || text.v.vt != VT_BSTR) {
        return "(vt " + std::to_string(v->vt) + ")";
    }
    return EscapeControls(BstrToUtf8(text.v.bstrVal));
}

}  // namespace tessel::cli
