// Helpers shared by the server tests: where the build's binaries are, child
// processes with their output, registry reads.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// The directory of the running test program, with a trailing backslash;
// Halyard.dll and its libraries lie beside it.
std::wstring BinDir();
std::wstring HalyardPath();

struct ProcessResult {
  bool ran = false;
  DWORD exitCode = 0;
  std::string output;  // stdout and stderr together
};

// Runs a command line in dir (or the current directory) and waits for it;
// a child that outlives timeoutMs is killed and counts as not run.
ProcessResult Run(const std::wstring& commandLine, DWORD timeoutMs = 60000,
                  const wchar_t* dir = nullptr);

bool KeyExists(HKEY root, const std::wstring& key);
// The value as text, or false when the key or value is missing.
bool ReadString(HKEY root, const std::wstring& key, const wchar_t* value, std::wstring& text);

std::wstring GuidText(REFGUID guid);  // "{XXXXXXXX-...}"
std::wstring ShortPath(const std::wstring& path);
std::string Narrow(const std::wstring& text);  // for messages

}  // namespace testsupport
