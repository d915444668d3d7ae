#pragma once
// `settings`: the connection settings of the current logical device and the driver's own connection and log
// settings, which the driver keeps in its settings store for every later run (a `set` of one of them is
// therefore not undone when tessel ends). One comment line names the store's file, then one "NAME = VALUE"
// line each, as `get` prints them.

#include "tools/tessel/Session.h"

namespace tessel::cli {

// Prints the settings. Throws DispatchError when the driver refuses to read one.
void PrintSavedSettings(Session& session);

}  // namespace tessel::cli
