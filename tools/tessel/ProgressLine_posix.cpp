// Standard error as a terminal on Linux: isatty and the terminal's window size.
#include <sys/ioctl.h>
#include <unistd.h>

#include "tools/tessel/ProgressLine.h"

namespace tessel::cli {

bool ProgressLine::StderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

std::size_t ProgressLine::StderrWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return kDefaultTerminalWidth;
    return size.ws_col;
}

}  // namespace tessel::cli
