// Helpers shared by the server tests: where the build's binaries are,
// registry reads.
#pragma once

#include <windows.h>

#include <string>

#include "tests/support/child_process.h"

namespace testsupport {

// The directory of the running test program, with a trailing backslash;
// Halyard.dll and its libraries lie beside it.
std::wstring BinDir();
std::wstring HalyardPath();

// A child's standard output and error together, in the order written.
inline ChildOptions OutputTogether() {
  ChildOptions o;
  o.errorsIntoOut = true;
  return o;
}

bool KeyExists(HKEY root, const std::wstring& key);
// The value as text, or false when the key or value is missing.
bool ReadString(HKEY root, const std::wstring& key, const wchar_t* value, std::wstring& text);

std::wstring GuidText(REFGUID guid);  // "{XXXXXXXX-...}"
std::wstring ShortPath(const std::wstring& path);
std::string Narrow(const std::wstring& text);  // for messages

}  // namespace testsupport
