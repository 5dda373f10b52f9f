// Runs a program of this build as an operator would and captures what it
// printed and its exit code.
#pragma once

#include <windows.h>

#include <string>

struct ChildResult {
  DWORD exitCode = 0xFFFFFFFF;
  std::string out;
  std::string err;
  bool finished = false;  // false when it had to be killed after the time limit
};

// commandLine as for CreateProcess; the program is looked up beside this test.
ChildResult RunChild(const std::string& commandLine, DWORD timeoutMs = 60000);
