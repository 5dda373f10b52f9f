// drawerconfig's window: a tab for the configured drawers and one for
// testing a drawer, Enter for the page's main action, Esc to close.
#pragma once

#include <windows.h>

namespace drawerconfig {

// Runs the window until it is closed: 0, or 1 when it could not be made.
int RunMainWindow();

}  // namespace drawerconfig
