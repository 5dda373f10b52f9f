// The two pages of drawerconfig's window and what the window asks of them.
// Each page is a child dialog of the main window, shown on its tab.
#pragma once

#include <windows.h>

namespace drawerconfig {

// Sent by the main window to a page.
constexpr UINT kPageShown = WM_APP + 20;     // the page's tab was chosen
// Sent to the Test page: TRUE when the window may close at once; otherwise
// the page stops its test and posts kPageReadyToClose to its parent.
constexpr UINT kPageAskClose = WM_APP + 21;
// Sent to the Test page when the technician closes again while the test
// waits on the drawer or on a person: the window goes, the process ends.
constexpr UINT kPageForceClose = WM_APP + 22;
// Posted by the Test page to the main window.
constexpr UINT kPageReadyToClose = WM_APP + 23;

INT_PTR CALLBACK DrawersPageProc(HWND page, UINT message, WPARAM w, LPARAM l);
INT_PTR CALLBACK TestPageProc(HWND page, UINT message, WPARAM w, LPARAM l);

}  // namespace drawerconfig
