#pragma once
// The unstuffed frame of a body, as the assembler hands it over: start byte, body, checksum low and high.

#include "common/platform/Bytes.h"
#include "driver/link/CRC.h"
#include "driver/link/EcrFrame.h"

inline Bytes UnstuffedFrame(const Bytes& body) {
    Bytes frame{kFrameStart};
    frame.insert(frame.end(), body.begin(), body.end());
    const std::uint16_t crc = CalcCRC(body.data(), body.size());
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

// A received frame around a data block as the command tests hand it to SetFrame: destination 1, source 0,
// counters 5 and 6, an answer's result byte in front of the block; the checksum bytes are zero and not looked
// at.
inline Bytes ReceivedFrame(std::uint8_t code, bool answer, const Bytes& block, std::uint8_t result = 0) {
    const std::size_t length = 1 + (answer ? 1 : 0) + block.size();
    Bytes frame{0x02, 0x01, 0x00, std::uint8_t(answer ? 1 : 0), 5, 6, std::uint8_t(length), code};
    frame.reserve(frame.size() + length + 2);
    if (answer) frame.push_back(result);
    for (const std::uint8_t b : block) frame.push_back(b);
    frame.push_back(0x00);
    frame.push_back(0x00);
    return frame;
}
