#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "common/platform/Bytes.h"
#include "driver/link/CRC.h"

namespace {

std::uint16_t Crc(const Bytes& b) {
    return CalcCRC(b.data(), b.size());
}

// Bit by bit, without a table: CRC-16/XMODEM of all but the last two bytes, XORed with those two bytes
// (the register's checksum shifts each byte in below the register instead of appending zero bytes).
std::uint16_t BitwiseReference(const Bytes& b) {
    std::uint16_t crc = 0;
    const std::size_t head = b.size() >= 2 ? b.size() - 2 : 0;
    for (std::size_t i = 0; i < head; ++i) {
        crc ^= static_cast<std::uint16_t>(b[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    std::uint16_t tail = 0;
    for (std::size_t i = head; i < b.size(); ++i) tail = static_cast<std::uint16_t>((tail << 8) | b[i]);
    return crc ^ tail;
}

struct KnownCrc {
    const char* name;
    Bytes data;
    std::uint16_t crc;
};

TEST(CRC, KnownAnswers) {
    const KnownCrc cases[] = {
        {"empty", {}, 0x0000},
        {"abc", BytesOf("abc"), 0x1EE4},
        {"request 1->2 opcode 11h", {0x02, 0x01, 0x00, 0x00, 0x00, 0x01, 0x11}, 0x3326},
        {"request with C1 7Eh C2 7Dh", {0x02, 0x01, 0x00, 0x7E, 0x7D, 0x01, 0x11}, 0xB74A},
        // A byte i followed by two zero bytes leaves exactly T[i] in the register.
        {"T[1]", {0x01, 0x00, 0x00}, 0x1021},
        {"T[2]", {0x02, 0x00, 0x00}, 0x2042},
        {"T[255]", {0xFF, 0x00, 0x00}, 0x1EF0},
    };
    for (const auto& c : cases) EXPECT_EQ(Crc(c.data), c.crc) << c.name;
}

TEST(CRC, MatchesBitwiseReferenceOnRandomData) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 500; ++round) {
        Bytes data(rng() % 300);
        for (auto& b : data) b = static_cast<std::uint8_t>(rng());
        ASSERT_EQ(Crc(data), BitwiseReference(data)) << "length " << data.size();
    }
}

TEST(CRC, ContinuesAcrossEverySplit) {
    Bytes data(64);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 37 + 11);
    const std::uint16_t whole = Crc(data);
    for (std::size_t cut = 0; cut <= data.size(); ++cut) {
        const std::uint16_t first = CalcCRC(data.data(), cut);
        EXPECT_EQ(CalcCRC(data.data() + cut, data.size() - cut, first), whole) << "cut at " << cut;
    }
}

}  // namespace
