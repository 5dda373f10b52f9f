#include "child_process.h"

#include <thread>

#include "common/win32_raii.h"

namespace {

// Reads a pipe to its end on a thread of its own, so a child that fills one
// pipe while we read the other cannot stall.
std::thread Drain(HANDLE pipe, std::string& into) {
  return std::thread([pipe, &into] {
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(pipe, buffer, sizeof(buffer), &n, nullptr) && n > 0) into.append(buffer, n);
  });
}

}  // namespace

ChildResult RunChild(const std::string& commandLine, DWORD timeoutMs) {
  ChildResult result;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
  CreatePipe(&outRead, &outWrite, &inherit, 0);
  CreatePipe(&errRead, &errWrite, &inherit, 0);
  win::UniqueHandle outR(outRead), outW(outWrite), errR(errRead), errW(errWrite);
  SetHandleInformation(outR.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errR.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = outW.get();
  si.hStdError = errW.get();
  PROCESS_INFORMATION pi{};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                      &pi)) {
    result.err = "CreateProcess failed: " + std::to_string(GetLastError());
    return result;
  }
  win::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  outW.reset();
  errW.reset();
  std::thread outReader = Drain(outR.get(), result.out);
  std::thread errReader = Drain(errR.get(), result.err);
  result.finished = WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0;
  if (!result.finished) TerminateProcess(process.get(), 99);
  WaitForSingleObject(process.get(), INFINITE);
  GetExitCodeProcess(process.get(), &result.exitCode);
  outReader.join();
  errReader.join();
  return result;
}
