// The tick clock on Windows: the system's own, cut to 32 bits so that it wraps as GetTickCount does.
#include <windows.h>
// after windows.h, whose types it uses
#include <timeapi.h>

#include "common/platform/TickClock.h"

namespace tessel {

std::uint32_t TickCount() {
    return static_cast<std::uint32_t>(::GetTickCount64());
}

void SleepMs(std::uint32_t ms) {
    // Sleep ends on a tick of the system timer, 1 ms while a PreciseTiming is held; a second sleep for the
    // last stretch would add a tick, not take one off.
    ::Sleep(ms);
}

PreciseTiming::PreciseTiming() {
    if (::timeBeginPeriod(1) == TIMERR_NOERROR) saved_ = 1;
}

PreciseTiming::~PreciseTiming() {
    if (saved_ != 0) ::timeEndPeriod(1);
}

}  // namespace tessel
