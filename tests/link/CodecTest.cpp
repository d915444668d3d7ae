#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>

#include "driver/base/untError.h"
#include "driver/link/untCodecs.h"

namespace {

Bytes Padded(Bytes b, std::size_t size, std::uint8_t filler) {
    b.resize(size, filler);
    return b;
}

struct EncodeCase {
    const char* name;
    std::function<Bytes()> encode;
    Bytes expected;
};

class CodecEncode : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(CodecEncode, KnownAnswer) {
    EXPECT_EQ(GetParam().encode(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CodecEncode,
    ::testing::Values(
        EncodeCase{"u16", [] { return EncodeU16(0x1234); }, {0x34, 0x12}},
        EncodeCase{"i32", [] { return EncodeI32(-2); }, {0xFE, 0xFF, 0xFF, 0xFF}},
        EncodeCase{"int1_low_byte", [] { return EncodeInt(0x1FF, 1); }, {0xFF}},
        EncodeCase{"money5_half_up", [] { return EncodeMoney(123450, 5); }, {0xD3, 0x04, 0x00, 0x00, 0x00}},
        EncodeCase{"money5_negative", [] { return EncodeMoney(-150, 5); }, Bytes(5, 0xFF)},
        EncodeCase{"money5_toward_zero", [] { return EncodeMoney(-160, 5); }, Bytes(5, 0xFF)},
        EncodeCase{"qty5_half_up", [] { return EncodeQuantity(0.0005, 5); }, {0x01, 0, 0, 0, 0}},
        EncodeCase{"bcd4", [] { return EncodeBcd(1234, 4); }, {0x34, 0x12, 0x00, 0x00}},
        EncodeCase{"text_cp1251", [] { return EncodeText("Тест", 6); }, {0xD2, 0xE5, 0xF1, 0xF2, 0, 0}},
        EncodeCase{"text_cut", [] { return EncodeText("abcdef", 3); }, {'a', 'b', 'c'}},
        EncodeCase{"name40", [] { return EncodeName40("Товар"); },
                   Padded({0xD2, 0xEE, 0xE2, 0xE0, 0xF0}, 40, ' ')},
        EncodeCase{"name40_cut", [] { return EncodeName40(std::string(45, 'x')); }, Bytes(40, 'x')},
        EncodeCase{"version", [] { return EncodeVersion("1.23", 4); }, {'1', '2', '3', ' '}}),
    [](const auto& info) { return std::string(info.param.name); });

// Values the field cannot carry are refused instead of going out as a different number.
TEST(Codec, RefusesValuesOutsideTheField) {
    const std::function<void()> refused[] = {
        [] { EncodeBcd(-1, 4); }, [] { EncodeBcd(100000000, 4); }, [] { EncodeQuantity(std::nan(""), 5); },
        [] { EncodeQuantity(1e30, 5); },  // beyond 64 bits
    };
    for (const auto& call : refused) {
        try {
            call();
            ADD_FAILURE() << "accepted";
        } catch (const EDriverError& e) {
            EXPECT_EQ(e.ErrorCode(), E_INVALIDVALUE);
        }
    }
    EXPECT_THROW(EncodeInt(0, 9), std::invalid_argument);
}

TEST(Codec, IntegersReadOnlyInsideTheBlock) {
    const Bytes four = {1, 2, 3, 4};
    EXPECT_EQ(DecodeInt(four, 3, 4), 0x0403);
    EXPECT_EQ(DecodeInt(Bytes(5, 0xFF), 1, 5), 0xFFFFFFFFFF);  // unsigned below 8 bytes
    EXPECT_EQ(DecodeInt(Bytes(8, 0xFF), 1, 8), -1);
    EXPECT_EQ(DecodeU16(four, 4), 0x0004);
    EXPECT_EQ(DecodeI32({0xFE, 0xFF, 0xFF, 0xFF}, 1), -2);
    EXPECT_EQ(DecodeU8(four, 5), 0);
    EXPECT_EQ(DecodeU16(four, std::numeric_limits<std::size_t>::max()), 0);  // no wrap-around
    for (const std::size_t pos : {0u, 5u}) {
        try {
            DecodeInt(four, pos, 4);
            ADD_FAILURE() << pos;
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "Invalid index");
        }
    }
}

TEST(Codec, MoneyQuantityAndBcdDecode) {
    EXPECT_EQ(DecodeMoney({0xD3, 0x04, 0, 0, 0}, 1, 5), 123500);
    EXPECT_EQ(DecodeQuantity({0xDC, 0x05, 0, 0, 0}, 1, 5), 1.5);
    EXPECT_THROW(DecodeMoney(Bytes(8, 0x7F), 1, 8), std::overflow_error);
    EXPECT_EQ(DecodeBcd({0x34, 0x12, 0x00, 0x00}, 1, 4), "00001234");
    EXPECT_EQ(DecodeBcd({0x34, 0x12}, 1, 4), "00001234");
    EXPECT_EQ(DecodeBcd({0xAB}, 1, 1), ":;");
}

TEST(Codec, TextDecoding) {
    EXPECT_EQ(DecodeText({0x01, ' ', 'A', 'b', ' ', 0, 0}, 1, 7), "Ab");
    EXPECT_EQ(DecodeText({'x', 0xD2, 0xE5, 0xF1, 0xF2}, 2, 10), "Тест");
    EXPECT_EQ(DecodeText({'x'}, std::numeric_limits<std::size_t>::max(), 5), "");
    EXPECT_EQ(DecodeName40({0xCC, 0xEE, 0xEB, 0xEE, 0xEA, 0xEE, ' ', 0, 'j'}, 1), "Молоко");
    EXPECT_EQ(DecodeVersion({'1', '2', '3'}, 1, 3), "1.23");
    EXPECT_EQ(DecodeVersion({' ', ' '}, 1, 2), "");
}

TEST(Codec, NumberText) {
    const std::pair<const char*, std::int64_t> cases[] = {
        {"123", 123},
        {"-45", -45},
        {"+7", 7},
        {"", 0},
        {"12a", 0},
        {" 1", 0},
        {"+-1", 0},
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {"9223372036854775808", 0}};
    for (const auto& [text, expected] : cases) EXPECT_EQ(NumberTextToInt(text), expected) << text;
}

TEST(Codec, HexText) {
    EXPECT_EQ(BytesToHex({0x7E, 0x02}), "7E 02 ");
    EXPECT_EQ(BytesToHex({}), "");
    const std::pair<const char*, Bytes> cases[] = {{"7E 2 A", {0x7E, 0x02, 0x0A}},
                                                   {"7e", {0x07}},
                                                   {"ab", {}},
                                                   {"7E2", {0x7E, 0x02}},
                                                   {"0x1F", {0x00, 0x1F}}};
    for (const auto& [text, expected] : cases) EXPECT_EQ(HexToBytes(text), expected) << text;
    Bytes all(256);
    for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(HexToBytes(BytesToHex(all)), all);
}

}  // namespace
