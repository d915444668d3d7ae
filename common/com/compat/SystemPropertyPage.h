#pragma once
// Linux compatibility declarations (on Windows the SDK's headers stand here).
// The property page protocol of OLE controls: the page that a property frame shows (IPropertyPage) and the
// frame's side of it (IPropertyPageSite), with the window types their members take. Members, records and
// vtable order as the system declares them. A window handle here is the native window id of the windowing
// system, carried in the handle's pointer width.

#include <cstdint>

#include "common/com/ComInterfaces.h"
#include "common/com/OleAuto.h"

struct HWND__;
using HWND = HWND__*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

struct POINT {
    LONG x;
    LONG y;
};

struct SIZE {
    LONG cx;
    LONG cy;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPCRECT = const RECT*;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
using LPMSG = MSG*;

// What a page tells the frame about itself; the strings are in task memory and the frame frees them.
struct PROPPAGEINFO {
    ULONG cb;
    LPOLESTR pszTitle;
    SIZE size;
    LPOLESTR pszDocString;
    LPOLESTR pszHelpFile;
    DWORD dwHelpContext;
};

// IPropertyPageSite::OnStatusChange flags.
inline constexpr DWORD PROPPAGESTATUS_DIRTY = 0x1;
inline constexpr DWORD PROPPAGESTATUS_VALIDATE = 0x2;
inline constexpr DWORD PROPPAGESTATUS_CLEAN = 0x4;

// IPropertyPage::Show commands.
inline constexpr UINT SW_HIDE = 0;
inline constexpr UINT SW_SHOW = 5;
inline constexpr UINT SW_SHOWNORMAL = 1;

inline constexpr IID IID_IPropertyPageSite = {
    0xB196B28C, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IPropertyPage = {
    0xB196B28D, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

struct IPropertyPageSite : IUnknown {
    STDMETHOD(OnStatusChange)(DWORD dwFlags) PURE;
    STDMETHOD(GetLocaleID)(LCID* pLocaleID) PURE;
    STDMETHOD(GetPageContainer)(IUnknown** ppUnk) PURE;
    STDMETHOD(TranslateAccelerator)(MSG* pMsg) PURE;
};

struct IPropertyPage : IUnknown {
    STDMETHOD(SetPageSite)(IPropertyPageSite* pPageSite) PURE;
    STDMETHOD(Activate)(HWND hWndParent, LPCRECT pRect, BOOL bModal) PURE;
    STDMETHOD(Deactivate)() PURE;
    STDMETHOD(GetPageInfo)(PROPPAGEINFO* pPageInfo) PURE;
    STDMETHOD(SetObjects)(ULONG cObjects, IUnknown** ppUnk) PURE;
    STDMETHOD(Show)(UINT nCmdShow) PURE;
    STDMETHOD(Move)(LPCRECT pRect) PURE;
    STDMETHOD(IsPageDirty)() PURE;
    STDMETHOD(Apply)() PURE;
    STDMETHOD(Help)(LPCOLESTR pszHelpDir) PURE;
    STDMETHOD(TranslateAccelerator)(MSG* pMsg) PURE;
};
