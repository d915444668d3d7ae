#pragma once
// Field codecs of the protocol's data blocks (the hex text form of byte strings comes with HexText.h).
//
// Integers are little-endian. Encoders return the field's bytes; a command class concatenates them into
// its block with AppendBytes. Decoders read from a block at a position counted from 1 at the block's first
// byte; a field that runs past the end of a short block never reads outside it: missing integer bytes
// count as 0 and texts end early. Position 0 is refused with std::out_of_range("Invalid index").
//
// Texts inside the program are UTF-8; on the wire they are Windows-1251, converted here.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/platform/Bytes.h"
#include "common/platform/HexText.h"
#include "driver/base/untTypes.h"

// Widths of the integer codecs (intN, moneyN, qtyN, bcdN): 1 to 8 bytes.
constexpr std::size_t kMaxIntWidth = 8;
// Widths of the text codecs (textN, version): at most one whole frame.
constexpr std::size_t kMaxTextWidth = 255;
constexpr std::size_t kName40Width = 40;

inline void AppendBytes(Bytes& to, const Bytes& from) {
    to.insert(to.end(), from.begin(), from.end());
}

// The rounding rule of money and quantities: the truncated value, plus 1 when the fraction is at least 0.5;
// negatives therefore truncate toward zero (-1.5 gives -1). A value that is not finite or lies outside the
// 64-bit range fails with EDriverError(E_INVALIDVALUE).
std::int64_t RoundToInt(double value);

// u8, u16, i32. Decoders: bytes past the block's end count as 0.
Bytes EncodeU8(std::uint8_t value);
std::uint8_t DecodeU8(const Bytes& block, std::size_t pos);
Bytes EncodeU16(std::uint16_t value);
std::uint16_t DecodeU16(const Bytes& block, std::size_t pos);
Bytes EncodeI32(std::int32_t value);
std::int32_t DecodeI32(const Bytes& block, std::size_t pos);

// intN: the `width` low bytes of the two's-complement value. Decoding reads at most `width` bytes, stopping
// at the block's end, into a zero-filled value (unsigned for widths below 8; width 8 gives the 64-bit
// pattern as is). A start beyond the block's end fails with std::out_of_range("Invalid index"). A width
// outside 1..8 fails with std::invalid_argument.
Bytes EncodeInt(std::int64_t value, std::size_t width);
std::int64_t DecodeInt(const Bytes& block, std::size_t pos, std::size_t width);

// moneyN: the count of hundredths. Encoding cannot fail for a valid width; decoding fails as intN does, and
// with std::overflow_error for a count beyond the currency range (possible only with width 8).
Bytes EncodeMoney(Currency value, std::size_t width);
Currency DecodeMoney(const Bytes& block, std::size_t pos, std::size_t width);

// qtyN: the count of thousandths. Encoding fails with EDriverError(E_INVALIDVALUE) for a quantity that is
// not finite or too large to count; decoding fails as intN does. Decoded values are rounded to 1/10000.
Bytes EncodeQuantity(double value, std::size_t width);
double DecodeQuantity(const Bytes& block, std::size_t pos, std::size_t width);

// moneyN and qtyN of an unsigned field: fail with EDriverError(E_INVALIDVALUE) when the count of hundredths
// (thousandths) is negative or needs more than `width` bytes, or the quantity is not finite, rather than send
// another number. `width` is 1..7; another fails with std::invalid_argument.
Bytes EncodeMoneyField(Currency value, std::size_t width);
Bytes EncodeQuantityField(double value, std::size_t width);

// bcdN: packed decimal, two digits a byte, least significant pair first. A negative value, or one with more
// than 2 x width digits, fails with EDriverError(E_INVALIDVALUE) rather than going out as a wrong number.
// Decoding gives 2 x width characters, most significant first, leading zeros kept; a nibble above 9 reads
// as the character 30h plus its value.
Bytes EncodeBcd(std::int64_t value, std::size_t width);
std::string DecodeBcd(const Bytes& block, std::size_t pos, std::size_t width);

// textN: the text cut to `width` bytes and filled with 00h. Decoding takes the `width` bytes (fewer when the
// block ends) and removes leading and trailing bytes of code 20h or below. Widths outside 1..255 fail with
// std::invalid_argument.
Bytes EncodeText(std::string_view text, std::size_t width);
std::string DecodeText(const Bytes& block, std::size_t pos, std::size_t width);

// name40: the text cut at 40 characters and filled with blanks. Decoding takes the 40 bytes (fewer when the
// block ends) up to the first 00h and removes trailing blanks.
Bytes EncodeName40(std::string_view text);
std::string DecodeName40(const Bytes& block, std::size_t pos);

// version: "1.0" goes out as the first character and the characters after the point ("10"), filled with
// blanks to `width`. Decoding removes trailing blanks; what is left reads as its first character, a point
// and the rest ("10" reads "1.0"); an all-blank field reads as empty text.
Bytes EncodeVersion(std::string_view text, std::size_t width);
std::string DecodeVersion(const Bytes& block, std::size_t pos, std::size_t width);

// Decimal text (an optional sign and digits only) to a 64-bit integer; anything else, including a value
// outside the 64-bit range, gives 0.
std::int64_t NumberTextToInt(std::string_view text);
