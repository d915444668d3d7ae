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
