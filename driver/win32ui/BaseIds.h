#pragma once
// Templates and controls of the module's own windows (the about box). Every family of dialogs has a range of
// its own: the module 100–999, page and devices 1000–1999, status, service and log 2000–2999, tables
// 3000–3999, search 4000–4999.

#define IDD_ABOUT 100
#define IDC_ABOUT_ICON 101
#define IDC_ABOUT_NAME 102
#define IDC_ABOUT_VERSION 103
