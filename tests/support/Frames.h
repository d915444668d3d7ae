#pragma once
// Frames as the tests hand them to the driver; the unstuffed frame of a body is the link's own UnstuffedFrame.

#include "common/platform/Bytes.h"
#include "driver/link/CRC.h"
#include "driver/link/EcrFrame.h"

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
