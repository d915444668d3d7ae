#pragma once
// What the client does differently per platform around its steps: the command line as UTF-8, a console that
// shows UTF-8 text, and how to register the driver. Platform backend.

#include <string>
#include <vector>

namespace tessel::cli {

// The program's arguments after its name, as UTF-8 (on Windows read from the wide command line, since the
// narrow one is in the system's code page).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Makes the console show the program's UTF-8 output (Windows); nothing elsewhere.
void PrepareConsole();

// How to register the driver, naming the built files when they lie where the build puts them.
std::string RegistrationHint();
// Where the driver's settings for the user are kept, for people to read: the settings file on Linux, the
// registry key on Windows.
std::string SettingsLocation();

}  // namespace tessel::cli
