#pragma once
// The command tester's settings file: its own settings in section "Параметры" (Timeout, SendAnswer,
// WaitAnswer) and the last text of every parameter in one section per command, named by the opcode in two
// upper-case hex digits ("[11]"), with the key "Название" (the command's name) and one key per property,
// inputs first. UTF-8, lines ending in CR LF.

#include <string>

#include "tools/testerlib/untCommand.h"

namespace tessel::cmd {

// The section of the tester's own settings.
inline constexpr char kParamsSection[] = "Параметры";

// The program's path with its extension changed to ".ini" when the program's folder is writable; otherwise
// the same name in the settings folder ($TESSEL_REGISTRY_DIR, else $XDG_CONFIG_HOME/tessel, else
// ~/.config/tessel), since a program installed for the whole system cannot write beside itself.
std::string CmdIniFileName(const std::string& programPath);
// The running program's own path.
std::string ProgramPath();

// Reads the file when it exists: the settings, then the texts of every command whose section name, read as a
// hexadecimal number, is an opcode of the list; other sections are ignored. A key that is missing or empty
// gives the parameter's default. Throws EIniFileError naming the file when it cannot be read; nothing
// changes then.
void LoadCmdIni(const std::string& fileName, TAppParams& params, TCommands& commands);

// Writes the whole file anew in one atomic step (the folder made if need be): a crash leaves the old file or
// the new one, never none. Throws EIniFileError naming the file.
void SaveCmdIni(const std::string& fileName, const TAppParams& params, const TCommands& commands);

}  // namespace tessel::cmd
