#pragma once
// What every dialog of a dialogs module is handed when its table of dialogs shows it, and the work the
// module's entry points share whichever toolkit draws the windows. The dialogs include this, never the
// table, so the table stands above the windows it lists.

#include <span>
#include <string>

#include "driver/automation/TesselDrv_TLB.h"

// The driver, as an outside client holds it, and the owner window's native handle (the driver's ParentWnd;
// 0 for none).
struct TDialogCall {
    ITesselDriver* driver = nullptr;
    LONG parentWnd = 0;
};

// One dialog of a module's table. `show` runs it modally on the calling thread and returns 1 when it was
// closed with OK, 0 otherwise; it throws EDriverError, or any exception, when it cannot be shown or its
// filling or applying fails.
struct TDialogEntry {
    const char* name;
    LONG (*show)(const TDialogCall& call);
};

// Runs one entry point's work: 0, or the failure's code with its text kept as the calling thread's last
// error (DialogError). A driver error keeps its code, the register's own codes too (a refused status request
// is the register's answer, not the driver's failure); anything else is E_UNKNOWN.
LONG GuardedDialogWork(void (*work)(void* context), void* context);
template <typename Work>
LONG GuardedDialogWork(Work&& work) {
    return GuardedDialogWork([](void* w) { (*static_cast<Work*>(w))(); }, &work);
}

// The calling thread's last failure text of GuardedDialogWork.
const char* DialogError();

// TesselShowDialog's work over `table`: checks the arguments, runs `prepare` (the toolkit's thread set-up)
// and the entry named `name`, and sets *accepted; throws for a missing argument or an unknown name.
void ShowDialogFromTable(std::span<const TDialogEntry> table, const char* name, ITesselDriver* driver,
                         LONG parentWnd, LONG* accepted, void (*prepare)());
