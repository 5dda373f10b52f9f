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
