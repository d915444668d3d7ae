#pragma once
// How the Windows serial port reads the system's errors (CUComm_win.cpp); apart so that its tests can use it.

#include <windows.h>

#include <cstdint>

// The driver result of a refused CreateFile on "\\.\COM<n>": E_PORTBUSY when another program holds the
// port (the system opens ports exclusively and answers a second opener with access denied), else
// E_PORTUNAVAILABLE (missing, not a serial device, any other refusal).
int CommOpenErrorResult(DWORD error);

// Whether an I/O error means the device itself went away (a USB adapter pulled out), not a refused call.
bool IsCommDeviceGone(DWORD error);

// Whether EscapeCommFunction's refusal means the port has no modem lines to set (a pseudo-terminal behind
// Wine, some USB adapters), which the port logs once and then ignores.
bool IsModemLineRefusal(DWORD error);

// The port's event bits (TCommEvent) for the events a system mask reports, and back.
std::uint32_t CommEventsFromSystem(DWORD mask);
DWORD SystemCommEvents(std::uint32_t events);
