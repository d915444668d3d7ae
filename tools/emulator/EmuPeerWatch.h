#pragma once
// Waits for the computer to come to the line before a register speaks first: what a register sends before
// any program has the line open is lost (the driver discards unread input when it opens and sends).

#include <cstdint>
#include <string>

#include "tools/emulator/EmuLine.h"

// How a wait for the computer ended.
enum class EmuPeerWait { Came, BoundPassed, Stopped };

class EmuPeerWatch {
  public:
    // Starts watching `line` at once, so that nothing that happens from here on is missed: for a
    // pseudo-terminal made here (`pseudoTerminal`), a program opening its slave side `path`; for any line,
    // its first received byte. A watch on the path that cannot be had leaves only the byte to wait for.
    EmuPeerWatch(const EmuLine& line, const std::string& path, bool pseudoTerminal);
    ~EmuPeerWatch();
    EmuPeerWatch(const EmuPeerWatch&) = delete;
    EmuPeerWatch& operator=(const EmuPeerWatch&) = delete;

    // Waits at most `boundMs` for the computer: Came once a program has opened the line (then after the
    // quiet interval a station leaves on the line, in which the program configures its port) or sent a
    // byte; BoundPassed when the bound passed first; Stopped as soon as `stopFd` (when not -1) is readable,
    // as the emulator's stop signals make it, which is left unread.
    EmuPeerWait Wait(std::uint32_t boundMs, int stopFd = -1);

  private:
    const EmuLine& line_;
    int watch_ = -1;  // inotify descriptor, or -1
};
