#include "driver/link/CRC.h"

#include <array>

namespace {

constexpr std::uint16_t kPolynomial = 0x1021;

// T[i]: the most-significant-bit-first remainder of i shifted into the top byte.
constexpr std::array<std::uint16_t, 256> MakeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < table.size(); ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000u) ? (crc << 1) ^ kPolynomial : crc << 1;
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kTable = MakeTable();

static_assert(kTable[1] == 0x1021 && kTable[2] == 0x2042 && kTable[255] == 0x1EF0);

}  // namespace

std::uint16_t CalcCRC(const std::uint8_t* data, std::size_t size, std::uint16_t crc) {
    // The byte is shifted in below the register rather than XORed into it: no zero bytes are appended at the
    // end.
    for (std::size_t i = 0; i < size; ++i)
        crc = static_cast<std::uint16_t>(((crc << 8) | data[i]) ^ kTable[crc >> 8]);
    return crc;
}
