#include "driver/link/untCodecs.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <span>
#include <stdexcept>

#include "common/platform/CodePage.h"
#include "driver/base/untError.h"

namespace {

constexpr std::uint8_t kBlank = 0x20;

void CheckIntWidth(std::size_t width) {
    if (width == 0 || width > kMaxIntWidth) throw std::invalid_argument("Invalid integer field width");
}

void CheckTextWidth(std::size_t width) {
    if (width == 0 || width > kMaxTextWidth) throw std::invalid_argument("Invalid text field width");
}

// The bytes of a field that lie inside the block: `width` from `pos` (1-based), fewer when the block ends,
// none when the field starts beyond it. Written so that a huge `pos` cannot wrap around.
std::span<const std::uint8_t> FieldBytes(const Bytes& block, std::size_t pos, std::size_t width) {
    if (pos == 0) throw std::out_of_range("Invalid index");
    const std::size_t start = pos - 1;
    if (start >= block.size()) return {};
    return {block.data() + start, std::min(width, block.size() - start)};
}

// Little-endian, zero-filled: the bytes missing at the block's end count as 0.
std::uint64_t ReadLittleEndian(std::span<const std::uint8_t> bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) value = (value << 8) | bytes[i];
    return value;
}

Bytes WriteLittleEndian(std::uint64_t value, std::size_t width) {
    Bytes out(width);
    for (std::size_t i = 0; i < width; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
    return out;
}

std::string ToText(std::span<const std::uint8_t> bytes) {
    return tessel::Cp1251ToUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::span<const std::uint8_t> TrimTrailingBlanks(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty() && bytes.back() == kBlank) bytes = bytes.first(bytes.size() - 1);
    return bytes;
}

// The text in Windows-1251, cut to `width` bytes and filled with `filler`.
Bytes FixedText(std::string_view cp1251, std::size_t width, std::uint8_t filler) {
    Bytes out(width, filler);
    std::copy_n(cp1251.begin(), std::min(width, cp1251.size()), out.begin());
    return out;
}

}  // namespace

std::int64_t RoundToInt(double value) {
    if (!std::isfinite(value)) throw EDriverError(E_INVALIDVALUE);
    const double truncated = std::trunc(value);
    // 2^63 is exact in a double; the largest double below it still leaves room for the +1.
    constexpr double kLimit = 9223372036854775808.0;
    if (truncated < -kLimit || truncated >= kLimit) throw EDriverError(E_INVALIDVALUE);
    auto result = static_cast<std::int64_t>(truncated);
    if (value - truncated >= 0.5) ++result;
    return result;
}

Bytes EncodeU8(std::uint8_t value) {
    return Bytes{value};
}

std::uint8_t DecodeU8(const Bytes& block, std::size_t pos) {
    return static_cast<std::uint8_t>(ReadLittleEndian(FieldBytes(block, pos, 1)));
}

Bytes EncodeU16(std::uint16_t value) {
    return WriteLittleEndian(value, 2);
}

std::uint16_t DecodeU16(const Bytes& block, std::size_t pos) {
    return static_cast<std::uint16_t>(ReadLittleEndian(FieldBytes(block, pos, 2)));
}

Bytes EncodeI32(std::int32_t value) {
    return WriteLittleEndian(static_cast<std::uint32_t>(value), 4);
}

std::int32_t DecodeI32(const Bytes& block, std::size_t pos) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(ReadLittleEndian(FieldBytes(block, pos, 4))));
}

Bytes EncodeInt(std::int64_t value, std::size_t width) {
    CheckIntWidth(width);
    return WriteLittleEndian(static_cast<std::uint64_t>(value), width);
}

std::int64_t DecodeInt(const Bytes& block, std::size_t pos, std::size_t width) {
    CheckIntWidth(width);
    if (pos == 0 || pos > block.size()) throw std::out_of_range("Invalid index");
    return static_cast<std::int64_t>(ReadLittleEndian(FieldBytes(block, pos, width)));
}

Bytes EncodeMoney(Currency value, std::size_t width) {
    CheckIntWidth(width);
    // Hundredths of the four-decimal value; the division is exact wherever the rule's half can occur.
    return EncodeInt(RoundToInt(static_cast<double>(value) / 100.0), width);
}

Currency DecodeMoney(const Bytes& block, std::size_t pos, std::size_t width) {
    const std::int64_t count = DecodeInt(block, pos, width);
    constexpr std::int64_t kScale = kCurrencyScale / 100;
    if (count > std::numeric_limits<Currency>::max() / kScale ||
        count < std::numeric_limits<Currency>::min() / kScale) {
        throw std::overflow_error("Money value out of range");
    }
    return count * kScale;
}

Bytes EncodeQuantity(double value, std::size_t width) {
    CheckIntWidth(width);
    return EncodeInt(RoundToInt(value * 1000.0), width);
}

double DecodeQuantity(const Bytes& block, std::size_t pos, std::size_t width) {
    // Thousandths need no further rounding to 1/10000: the nearest double is the exact value's.
    return static_cast<double>(DecodeInt(block, pos, width)) / 1000.0;
}

namespace {

// A count that its unsigned field cannot carry would go out as another number: refuse it.
Bytes EncodeCount(std::int64_t count, std::size_t width) {
    if (width == 0 || width >= kMaxIntWidth) throw std::invalid_argument("Invalid counted field width");
    const std::int64_t largest = (std::int64_t{1} << (8 * width)) - 1;
    if (count < 0 || count > largest) throw EDriverError(E_INVALIDVALUE);
    return EncodeInt(count, width);
}

}  // namespace

Bytes EncodeMoneyField(Currency value, std::size_t width) {
    // Hundredths of the four-decimal value, rounded as every money field is.
    return EncodeCount(RoundToInt(static_cast<double>(value) / 100.0), width);
}

Bytes EncodeQuantityField(double value, std::size_t width) {
    return EncodeCount(RoundToInt(value * 1000.0), width);
}

Bytes EncodeBcd(std::int64_t value, std::size_t width) {
    CheckIntWidth(width);
    if (value < 0) throw EDriverError(E_INVALIDVALUE);
    const std::string digits = std::to_string(value);
    if (digits.size() > 2 * width) throw EDriverError(E_INVALIDVALUE);
    const std::string padded = std::string(2 * width - digits.size(), '0') + digits;
    Bytes out(width);
    // The last digit pair is the least significant and goes first.
    for (std::size_t i = 0; i < width; ++i) {
        const std::size_t pair = 2 * (width - 1 - i);
        out[i] = static_cast<std::uint8_t>(((padded[pair] - '0') << 4) | (padded[pair + 1] - '0'));
    }
    return out;
}

std::string DecodeBcd(const Bytes& block, std::size_t pos, std::size_t width) {
    CheckIntWidth(width);
    const auto bytes = FieldBytes(block, pos, width);
    std::string out;
    out.reserve(2 * width);
    for (std::size_t i = width; i-- > 0;) {
        const std::uint8_t b = i < bytes.size() ? bytes[i] : 0;
        out += static_cast<char>(0x30 + (b >> 4));
        out += static_cast<char>(0x30 + (b & 0x0F));
    }
    return out;
}

Bytes EncodeText(std::string_view text, std::size_t width) {
    CheckTextWidth(width);
    return FixedText(tessel::Utf8ToCp1251(text), width, 0x00);
}

std::string DecodeText(const Bytes& block, std::size_t pos, std::size_t width) {
    CheckTextWidth(width);
    auto bytes = FieldBytes(block, pos, width);
    while (!bytes.empty() && bytes.front() <= kBlank) bytes = bytes.subspan(1);
    while (!bytes.empty() && bytes.back() <= kBlank) bytes = bytes.first(bytes.size() - 1);
    return ToText(bytes);
}

Bytes EncodeName40(std::string_view text) {
    return FixedText(tessel::Utf8ToCp1251(text), kName40Width, kBlank);
}

std::string DecodeName40(const Bytes& block, std::size_t pos) {
    auto bytes = FieldBytes(block, pos, kName40Width);
    const auto zero = std::find(bytes.begin(), bytes.end(), 0x00);
    bytes = bytes.first(static_cast<std::size_t>(zero - bytes.begin()));
    return ToText(TrimTrailingBlanks(bytes));
}

Bytes EncodeVersion(std::string_view text, std::size_t width) {
    CheckTextWidth(width);
    const std::string cp = tessel::Utf8ToCp1251(text);
    // The point at the second position is implied on the wire.
    std::string wire = cp.substr(0, 1);
    if (cp.size() > 2) wire += cp.substr(2);
    return FixedText(wire, width, kBlank);
}

std::string DecodeVersion(const Bytes& block, std::size_t pos, std::size_t width) {
    CheckTextWidth(width);
    const auto bytes = TrimTrailingBlanks(FieldBytes(block, pos, width));
    if (bytes.empty()) return {};
    return ToText(bytes.first(1)) + "." + ToText(bytes.subspan(1));
}

std::int64_t NumberTextToInt(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return 0;
    }
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return 0;
    return value;
}
