// Runs a program to its end as an operator would and captures what it
// printed and its exit code. Its output is read while it runs, on threads of
// our own, so a child that writes more than a pipe holds never stalls; its
// standard input is empty, so a child never waits for typing.
#pragma once

#include <windows.h>

#include <string>

struct ChildResult {
  DWORD exitCode = 0xFFFFFFFF;
  std::string out;
  std::string err;         // empty when ChildOptions::errorsIntoOut
  bool finished = false;   // false when it had to be killed after the time limit
};

struct ChildOptions {
  DWORD timeoutMs = 60000;
  std::string dir;               // its working directory; empty: ours
  bool errorsIntoOut = false;    // standard error on the output pipe, in the order written
};

// commandLine as for CreateProcess: a bare program name is looked up beside
// this test program first.
ChildResult RunChild(const std::wstring& commandLine, const ChildOptions& options = {});
ChildResult RunChild(const std::string& commandLine, const ChildOptions& options = {});
ChildResult RunChild(const std::string& commandLine, DWORD timeoutMs);

// The full path of a file beside the running program; BesideMe("") is that
// folder, with its trailing backslash.
std::string BesideMe(const char* file);
