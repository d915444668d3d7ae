#pragma once
// Where a program keeps the files it changes as it runs (counters, logs) when its own folder may not be
// written, as in a system-wide installation.

#include <string>

namespace tessel {

// The user's folder for such files, "tessel" in the state folder of the desktop base directory rules:
// $XDG_STATE_HOME/tessel, else ~/.local/state/tessel (a relative XDG_STATE_HOME is ignored, as the rules
// say). Created with mode 0700 when missing. Throws std::system_error naming the folder when it cannot be
// made, std::runtime_error when no home folder is known.
std::string StateDirectory();

// Whether a program should keep the files it changes in `directory`: this process may create files there and
// the folder is not one of the system's (IsSystemFolder). The package manager owns those on Linux; on Windows
// programs under Program Files keep their data in the user's folder, so that a host run once with and once
// without administrator rights keeps one set of files, and an uninstaller leaves no data of theirs behind.
bool MayKeepFilesIn(const std::string& directory);

// Whether `directory` (an absolute path) belongs to the system's installed software, where a program keeps
// no files it changes whoever runs it, the administrator too: below /usr, /lib*, /bin or /sbin on Linux,
// below the Windows folder or the Program Files folders on Windows.
bool IsSystemFolder(const std::string& directory);

}  // namespace tessel
