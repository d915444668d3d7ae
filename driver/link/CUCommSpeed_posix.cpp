// Line rates through the kernel's termios2 interface, which takes any rate in baud (BOTHER) besides the
// standard codes. Kept apart because <asm/termbits.h> cannot share a translation unit with <termios.h>.

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>

#include "driver/link/CUCommSpeed.h"

namespace tessel_comm {

namespace {

struct StandardRate {
    std::uint32_t baud;
    unsigned code;
};

constexpr StandardRate kStandardRates[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

}  // namespace

int SetLineRate(int fd, std::uint32_t baud) {
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return errno;
    unsigned code = BOTHER;
    for (const auto& rate : kStandardRates) {
        if (rate.baud == baud) code = rate.code;
    }
    // A standard code where one exists: drivers that predate BOTHER understand only those.
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= code | (code << IBSHIFT);
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    if (::ioctl(fd, TCSETS2, &tio) != 0) return errno;
    return 0;
}

std::uint32_t GetLineRate(int fd) {
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return 0;
    return tio.c_ospeed;
}

}  // namespace tessel_comm
