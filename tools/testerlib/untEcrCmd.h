#pragma once
// The protocol commands that the command tester (and the test program's "Команды" page) offers, in display
// order, with every input and output parameter: the property that carries it, its caption, type and default.
// Every command ends with the two result parameters CommandResultCode and CommandResultDescription.
//
// A small library without Qt: descriptions (untCommand.h), conversions (untCmdValue.h), the driver reached
// by member names (untCmdDriver.h) and the settings file (untCmdIni.h) go with it.

#include "tools/testerlib/untCmdValue.h"
#include "tools/testerlib/untCommand.h"

namespace tessel::cmd {

// The command list with every parameter's current text set to its default. The defaults of date and time
// parameters are today and now in `forms`' formats.
TCommands CreateEcrCommands(const TCmdDateForms& forms);

}  // namespace tessel::cmd
