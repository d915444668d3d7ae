#pragma once
// The property frame of this module, standing in for the system's: a modal window with a tab for each page,
// and OK, "Отмена" and "Применить". It talks to the pages only through IPropertyPage and serves them
// IPropertyPageSite; each page is activated inside its tab's window, whose native handle it is given.

#include <QPoint>
#include <span>

#include "common/com/PropertyPage.h"

// Shows the frame with `pages`, each set on `objects`, at `at` from the owner `ownerWnd` (a native window
// handle; 0: the calling thread's active window; from the screen's corner without an owner). OK applies the
// pages that say they are dirty and closes, unless a page refuses to apply; "Применить" applies them and
// stays. The pages are deactivated and let go of the objects and the site before it returns. Returns 1 for
// OK, 0 otherwise; throws std::runtime_error when a page refuses to tell its size or to be activated.
LONG ShowFrame(LONG ownerWnd, const QPoint& at, std::span<IUnknown*> objects,
               std::span<IPropertyPage*> pages);
