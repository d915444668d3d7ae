#pragma once
// The dialogs module libTesselDrvUi.so: the dialogs that its entry point shows by name, and what each is
// handed. The entry points themselves are declared for the driver in driver/automation/untDialogs.h.
//
// A dialog is added by one row of the table in DialogsModule.cpp: its name, as the driver passes it, and
// the function that shows it.

#include <span>

#include "driver/forms/DialogCall.h"

// Every dialog of the module.
std::span<const TDialogEntry> DialogTable();

// Makes the calling thread ready for Qt windows: the application object (the host's, or one made here) and
// the bridge that dispatches the thread's message queue while the dialogs run. Throws
// tessel::qt::EQtUnavailable with the reason when no window can be shown on this thread.
void PrepareDialogThread();
