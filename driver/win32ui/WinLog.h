#pragma once
// The log dialog ("Параметры лога"), the window of TLogForm: a fixed border, the system's file dialog.

#include "driver/forms/DialogCall.h"

// Fills the dialog from LogEnabled and LogFileName, shows it over ParentWnd and on OK writes LogEnabled,
// then LogFileName. 1 for OK, 0 otherwise; a failing driver call throws.
LONG ShowWinLog(const TDialogCall& call);
