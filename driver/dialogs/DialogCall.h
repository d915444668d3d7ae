#pragma once
// What every dialog of the module is handed when the table of dialogs (DialogsModule.cpp) shows it. The
// dialogs include this, never the table, so the table stands above the windows it lists.

#include "driver/automation/TesselDrv_TLB.h"

// The driver, as an outside client holds it, and the owner window's native handle (the driver's ParentWnd;
// 0 for none).
struct TDialogCall {
    ITesselDriver* driver = nullptr;
    LONG parentWnd = 0;
};
