#pragma once
// Byte strings as the hex text that logs, answers and the testers' fields show.

#include <string>
#include <string_view>

#include "common/platform/Bytes.h"

// Each byte as two capital hex digits followed by one blank; empty for no bytes.
std::string BytesToHex(const Bytes& bytes);
// Scans left to right: only 0-9 and A-F are digits (small a-f separate). Two digits in a row give one byte;
// a lone digit before a separator or at the end gives a byte of its value; separators are dropped.
// Never fails.
Bytes HexToBytes(std::string_view text);

// The value of one hex digit of either case (settings files, GUID texts); -1 for any other character.
int HexDigitValue(char c);
