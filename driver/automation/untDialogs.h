#pragma once
// The driver's dialogs live in a module of their own, libTesselDrvUi.so, next to the driver library, so that
// clients without a display never load a windowing toolkit. It is loaded on the first dialog call.

#include <string>

#include "driver/automation/TesselDrv_TLB.h"

// The module's one entry point: shows the dialog `name` ("About", "Log", "Properties", "Search", "Service",
// "Status", "Tables") modally over the window `parentWnd` (0: none), acting on the driver through `driver`.
// Returns 1 when the dialog was closed with OK, 0 when it was closed otherwise, a negative driver code when
// it could not be shown.
using TTesselShowDialog = LONG (*)(const char* name, ITesselDriver* driver, LONG parentWnd);
inline constexpr const char* kShowDialogExport = "TesselShowDialog";

// The dialogs module's path: the directory of the module that holds the driver, then "libTesselDrvUi.so".
std::string DialogsModulePath();

// The module's entry point, loading it on first use (it stays loaded). Throws EDriverError(-199) saying
// that the dialogs module is not installed, or why it cannot be used.
TTesselShowDialog LoadDialogsModule();
