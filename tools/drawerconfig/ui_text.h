// Text between the shared drawer code (ANSI, as the service object and the
// registry take it) and the window's controls (UTF-16), and the strings of
// the resource table.
#pragma once

#include <windows.h>

#include <string>
#include <initializer_list>
#include <string_view>

namespace drawerconfig {

std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

// A string of the resource table; "%1", "%2", ... in it replaced by `args`.
std::wstring LoadText(UINT id);
std::wstring LoadText(UINT id, std::initializer_list<std::wstring> args);

std::wstring ControlText(HWND dialog, int id);
void SetControlText(HWND dialog, int id, std::wstring_view text);

}  // namespace drawerconfig
