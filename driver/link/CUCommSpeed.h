#pragma once
// Line rates of an open terminal in baud, through the kernel's termios2 interface (CUCommSpeed_posix.cpp:
// termios2 cannot be declared next to <termios.h>). The emulator reads with them the rate that the driver
// set on the other side of a pseudo-terminal: its master side reports the slave's settings.

#include <cstdint>

namespace tessel_comm {

// Sets both directions of the open terminal `fd` to `baud`. Returns 0, or the errno of the refusal.
int SetLineRate(int fd, std::uint32_t baud);
// The output rate that the open terminal `fd` reports; 0 when it cannot be read.
std::uint32_t GetLineRate(int fd);

}  // namespace tessel_comm
