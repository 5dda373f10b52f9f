#include "test_support.h"

#include <objbase.h>

#include "common/win32_raii.h"

namespace testsupport {

std::wstring BinDir() {
  wchar_t self[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, n);
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::wstring HalyardPath() { return BinDir() + L"Halyard.dll"; }

ProcessResult Run(const std::wstring& commandLine, DWORD timeoutMs, const wchar_t* dir) {
  ProcessResult result;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE readRaw = nullptr;
  HANDLE writeRaw = nullptr;
  if (!CreatePipe(&readRaw, &writeRaw, &inherit, 0)) return result;
  win::UniqueHandle readEnd(readRaw);
  win::UniqueHandle writeEnd(writeRaw);
  SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd.get();
  si.hStdError = writeEnd.get();
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, dir, &si, &pi)) {
    return result;
  }
  win::UniqueHandle process(pi.hProcess);
  win::UniqueHandle thread(pi.hThread);
  writeEnd.reset();  // the child holds the only write end now

  // Read until the child and its inheritors close the pipe, or time runs out.
  DWORD start = GetTickCount();
  for (;;) {
    DWORD avail = 0;
    if (!PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &avail, nullptr)) break;
    if (avail > 0) {
      char buf[4096];
      DWORD got = 0;
      if (!ReadFile(readEnd.get(), buf, sizeof(buf), &got, nullptr) || got == 0) break;
      result.output.append(buf, got);
      continue;
    }
    if (WaitForSingleObject(process.get(), 20) == WAIT_OBJECT_0) {
      // Drain what is left, then stop.
      while (PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &avail, nullptr) && avail > 0) {
        char buf[4096];
        DWORD got = 0;
        if (!ReadFile(readEnd.get(), buf, sizeof(buf), &got, nullptr) || got == 0) break;
        result.output.append(buf, got);
      }
      break;
    }
    if (GetTickCount() - start > timeoutMs) {
      TerminateProcess(process.get(), 1);
      return result;
    }
  }
  if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 1);
    return result;
  }
  GetExitCodeProcess(process.get(), &result.exitCode);
  result.ran = true;
  return result;
}

bool KeyExists(HKEY root, const std::wstring& key) {
  win::UniqueHKey k;
  return RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, k.put()) == ERROR_SUCCESS;
}

bool ReadString(HKEY root, const std::wstring& key, const wchar_t* value, std::wstring& text) {
  wchar_t buf[1024] = {};
  DWORD size = sizeof(buf) - sizeof(wchar_t);
  DWORD type = 0;
  if (RegGetValueW(root, key.c_str(), value, RRF_RT_REG_SZ, &type, buf, &size) != ERROR_SUCCESS) {
    return false;
  }
  text = buf;
  return true;
}

std::wstring GuidText(REFGUID guid) {
  wchar_t buf[64];
  StringFromGUID2(guid, buf, 64);
  return buf;
}

std::wstring ShortPath(const std::wstring& path) {
  wchar_t buf[MAX_PATH];
  DWORD n = GetShortPathNameW(path.c_str(), buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buf, n) : std::wstring();
}

std::string Narrow(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace testsupport
