#pragma once
// The status dialog ("Состояние ККМ и ФП"), the window of TStatusForm: sizeable, never smaller than it opens,
// the lines in a read-only text area in "Courier New" 12 px of the Russian character set.

#include <windows.h>

#include "driver/base/untTypes.h"
#include "driver/forms/DialogCall.h"

// The calendar parts of `value`, rounded to the second; false for a value that names no date.
bool SystemTimeOf(TDateTime value, SYSTEMTIME& time);

LONG ShowWinStatus(const TDialogCall& call);
