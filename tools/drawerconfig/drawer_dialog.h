// The dialog in which a drawer is added or changed: name, port, kick pin
// and sensor, checked as drawerctl checks them, and a search for printers
// whose answer can become the port.
#pragma once

#include <windows.h>

#include <string>

#include "device_edit.h"

namespace drawerconfig {

// Shows the dialog; true when the drawer was written, with what was done in
// `done`. With `editing` the name stays as given and the drawer is replaced.
bool RunDrawerDialog(HWND owner, drawerctl::DrawerEntry& entry, bool editing, std::wstring& done);

}  // namespace drawerconfig
