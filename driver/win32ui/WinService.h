#pragma once
// The service dialog ("Управление ККМ"), the window of TServiceForm: a fixed border, centred on the screen,
// the system's date and time pickers.

#include "driver/forms/DialogCall.h"

LONG ShowWinService(const TDialogCall& call);
