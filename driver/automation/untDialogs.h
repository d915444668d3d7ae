#pragma once
// The driver's dialogs live in a module of their own, libTesselDrvUi.so (TesselDrvUi.dll on Windows), next to
// the driver library, so that clients without a display never load a windowing toolkit. It is loaded on the
// first dialog call.

#include <string>
#include <vector>

#include "common/com/PropertyPage.h"
#include "driver/automation/TesselDrv_TLB.h"

// The module's entry points, by their export names.
//
// TesselShowDialog: shows the dialog `name` ("About", "Log", "Search", "Service", "Status", "Tables")
// modally over the window `parentWnd` (0: none), acting on the driver through `driver`. Returns 0 when the
// dialog was shown, with *accepted 1 when it was closed with OK and 0 when it was closed otherwise. Else
// returns the failure's result code, the text being TesselDialogError's: a negative driver code when the
// dialog could not be shown (a name the module does not hold, no display, a call from a thread that is not
// the host's GUI thread) or its filling or applying failed, or the register's own code (1..255) when a step
// the dialog takes on the register before it shows is refused (the tables dialog's status request).
using TTesselShowDialog = LONG (*)(const char* name, ITesselDriver* driver, LONG parentWnd, LONG* accepted);
inline constexpr const char* kShowDialogExport = "TesselShowDialog";

// TesselDialogError: why the calling thread's last failed entry point call failed (UTF-8), valid until the
// next call on that thread.
using TTesselDialogError = const char* (*)();
inline constexpr const char* kDialogErrorExport = "TesselDialogError";

// TesselCreatePropertyPage: a new object of the driver's property page, asked for `riid`
// (IID_IPropertyPage, IID_IUnknown); an HRESULT, with the text in TesselDialogError on failure.
using TTesselCreatePropertyPage = HRESULT (*)(REFIID riid, void** ppv);
inline constexpr const char* kCreatePropertyPageExport = "TesselCreatePropertyPage";

// TesselPropertyFrame (only where the system has no frame of its own): the module's property frame: shows
// `pages`, each set on `objects`, modally at `x`,`y` from the window `ownerWnd` (0: the calling thread's
// active window), with OK, "Отмена" and "Применить". Returns and sets *accepted as TesselShowDialog does.
using TTesselPropertyFrame = LONG (*)(LONG ownerWnd, LONG x, LONG y, ULONG objectCount, IUnknown** objects,
                                      ULONG pageCount, IPropertyPage** pages, LONG* accepted);
inline constexpr const char* kPropertyFrameExport = "TesselPropertyFrame";

// The loaded module.
struct TDialogsModule {
    TTesselShowDialog show = nullptr;
    TTesselDialogError error = nullptr;
    TTesselCreatePropertyPage createPage = nullptr;
    TTesselPropertyFrame frame = nullptr;

    // The text of the calling thread's last failure in the module, or `fallback` when it gave none.
    std::string LastError(const std::string& fallback) const;
};

// The dialogs module's path: the directory of the module that holds the driver, then "libTesselDrvUi.so"
// ("TesselDrvUi.dll").
std::string DialogsModulePath();

// Where the dialogs are linked into the server (Windows: Wine cannot load a library with thread-local data
// while the process runs other threads, and the system's windows need no toolkit of their own), the server
// hands their entry points here once, while it is loaded; LoadDialogsModule then gives them.
void SetLinkedDialogs(const TDialogsModule& module);

// The module, loading it on first use (it stays loaded). Throws EDriverError(-199) saying that the dialogs
// module is not installed, or why it cannot be used.
const TDialogsModule& LoadDialogsModule();

// The class object (IClassFactory) of the driver's property page class, which the server's DllGetClassObject
// serves; its objects come from the dialogs module, loaded when the first is made.
HRESULT GetPropertyPageClassObject(REFIID riid, void** ppv);

// Shows the property frame over `object` with one page of each class of `pageClasses`, each obtained
// through its class object, at `x`,`y` from the calling thread's active window. The pages are released
// before it returns, also on failure. Returns the frame's answer (1 OK, 0 otherwise; the system's frame on
// Windows does not tell, and gives 1); throws EDriverError (-199) with the reason when the module, a page or
// the frame fails. The frame is the module's on Linux and the system's OleCreatePropertyFrame on Windows.
LONG ShowPropertyFrame(IUnknown* object, const std::vector<CLSID>& pageClasses, LONG x, LONG y);
