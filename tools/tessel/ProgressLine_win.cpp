// Standard error as a terminal on Windows: a console, which rewrites lines in place once its virtual
// terminal processing is on.
#include <windows.h>

#include "tools/tessel/ProgressLine.h"

namespace tessel::cli {

bool ProgressLine::StderrIsTerminal() {
    const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (err == nullptr || err == INVALID_HANDLE_VALUE || !::GetConsoleMode(err, &mode)) return false;
    // A console that cannot take control sequences gets plain lines.
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           ::SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

std::size_t ProgressLine::StderrWidth() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) return kDefaultTerminalWidth;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<std::size_t>(columns) : kDefaultTerminalWidth;
}

}  // namespace tessel::cli
