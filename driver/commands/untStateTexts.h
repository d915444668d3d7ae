#pragma once
// Texts of the register's modes, submodes and memory-dump devices.

#include <cstdint>
#include <string>

// Text of mode `mode` (status byte 12) for register model `model` (device type answer); a mode without a text
// in its model's column, and any mode of a model above 6, reads as the decimal mode number.
std::string GetECRModeText(std::int32_t model, std::int32_t mode);
// Text of a submode (status byte 13); any other submode reads as its decimal number.
std::string GetECRAdvancedModeText(std::int32_t submode);
// Name of a memory-dump device code; any other code gives the empty text.
std::string GetECRDeviceName(std::int32_t device);
