// The tick clock on Windows: the system's own, cut to 32 bits so that it wraps as GetTickCount does.
#include <windows.h>

#include "common/platform/TickClock.h"

namespace tessel {

std::uint32_t TickCount() {
    return static_cast<std::uint32_t>(::GetTickCount64());
}

void SleepMs(std::uint32_t ms) {
    ::Sleep(ms);
}

}  // namespace tessel
