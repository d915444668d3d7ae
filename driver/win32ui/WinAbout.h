#pragma once
// The about box: the driver's name and "Версия драйвера: " with its Version, owned by the calling thread's
// active window.

#include "driver/forms/DialogCall.h"

LONG ShowWinAbout(const TDialogCall& call);
