// Runs Scrubber.exe, which lies beside the test program, as a child process
// with its standard output and error on pipes of ours.
#pragma once

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "common/win32_raii.h"

namespace childrun {

struct Outcome {
  bool ended = false;
  DWORD exitCode = STILL_ACTIVE;
  std::string out;
  std::string err;
};

inline std::string besideMe(const char* file) {
  char self[MAX_PATH];
  const DWORD n = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self, n);
  return path.substr(0, path.find_last_of("\\/") + 1) + file;
}

inline std::string scrubberPath() { return besideMe("Scrubber.exe"); }

struct Pipe {
  win::UniqueHandle read;
  win::UniqueHandle write;  // inherited by the child
};

inline Pipe inheritablePipe() {
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  HANDLE r = nullptr, w = nullptr;
  EXPECT_TRUE(::CreatePipe(&r, &w, &sa, 0));
  Pipe p{win::UniqueHandle(r), win::UniqueHandle(w)};
  ::SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0);
  return p;
}

inline std::string drain(const win::UniqueHandle& pipe) {
  std::string text;
  char buf[512];
  DWORD got = 0;
  while (::ReadFile(pipe.get(), buf, sizeof(buf), &got, nullptr) && got > 0) text.append(buf, got);
  return text;
}

// A sweep of these small keys takes well under a second; the bound only
// turns a hang into a failure.
inline Outcome runScrubber(DWORD timeoutMs = 60000) {
  Pipe in = inheritablePipe(), out = inheritablePipe(), err = inheritablePipe();
  ::SetHandleInformation(in.read.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  ::SetHandleInformation(in.write.get(), HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in.read.get();
  si.hStdOutput = out.write.get();
  si.hStdError = err.write.get();
  std::string cmd = "\"" + scrubberPath() + "\"";
  PROCESS_INFORMATION pi{};
  Outcome o;
  if (!::CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                        &pi)) {
    ADD_FAILURE() << "cannot start " << cmd << ": " << ::GetLastError();
    return o;
  }
  win::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  // Only the child may hold the write ends now, so the reads below end when it does.
  in.read.reset();
  in.write.reset();
  out.write.reset();
  err.write.reset();
  if (::WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process.get(), 1);
    return o;
  }
  o.ended = true;
  ::GetExitCodeProcess(process.get(), &o.exitCode);
  o.out = drain(out.read);
  o.err = drain(err.read);
  return o;
}

// The run every sweep test starts with: it must end, with code 0 and in silence.
inline void runScrubberOk() {
  const Outcome o = runScrubber();
  ASSERT_TRUE(o.ended) << "Scrubber.exe did not end";
  EXPECT_EQ(o.exitCode, 0u);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err, "");
}

}  // namespace childrun
