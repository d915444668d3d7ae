#pragma once
// The object of the driver's property page class on Windows: the page protocol that the system's property
// frame drives, around the page's window (TWinPage).

#include <windows.h>

// A new page object, as `riid` (IUnknown or IPropertyPage) in *ppv.
HRESULT CreateWinPageObject(REFIID riid, void** ppv);
