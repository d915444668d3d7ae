#pragma once
// The frame checksum: CRC-16 with polynomial 1021h, start value 0, updated per byte b as
// crc := ((crc << 8) | b) ^ T[crc >> 8] (16 bits kept), one table lookup per byte.

#include <cstddef>
#include <cstdint>

// The checksum of `size` bytes, continuing from `crc` (0 for a new frame).
std::uint16_t CalcCRC(const std::uint8_t* data, std::size_t size, std::uint16_t crc = 0);
