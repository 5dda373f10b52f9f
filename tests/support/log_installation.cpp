// The scratch installation of the log tests: temp folders, the INI and the uninstall entry.
#include "tests/support/log_installation.h"

#include <fstream>

#include "common/win32_raii.h"
#include "tests/support/scratch_files.h"

namespace diagtest {
namespace {
constexpr char kKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OPOS_is1";
constexpr char kValue[] = "UninstallString";
}  // namespace

std::string TempDir() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  return temp;
}

UninstallEntry::UninstallEntry() {
  win::UniqueHKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  char buf[4096] = {};
  DWORD size = sizeof(buf) - 1;
  if (RegQueryValueExA(key.get(), kValue, nullptr, &oldType_, reinterpret_cast<BYTE*>(buf),
                       &size) == ERROR_SUCCESS) {
    hadValue_ = true;
    oldValue_.assign(buf, size);
  }
}

UninstallEntry::~UninstallEntry() {
  if (!hadValue_) {
    Remove();
    return;
  }
  win::UniqueHKey key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                      nullptr) == ERROR_SUCCESS) {
    RegSetValueExA(key.get(), kValue, 0, oldType_, reinterpret_cast<const BYTE*>(oldValue_.data()),
                   static_cast<DWORD>(oldValue_.size()));
  }
}

bool UninstallEntry::Set(const std::string& value, DWORD type) {
  win::UniqueHKey key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  if (type == REG_DWORD) {
    DWORD number = 7;
    return RegSetValueExA(key.get(), kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                          sizeof(number)) == ERROR_SUCCESS;
  }
  return RegSetValueExA(key.get(), kValue, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

void UninstallEntry::Remove() {
  win::UniqueHKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_WRITE, key.put()) == ERROR_SUCCESS) {
    RegDeleteValueA(key.get(), kValue);
  }
}

Installation::Installation(const std::string& name)
    : dir_(TempDir() + name + std::to_string(GetCurrentProcessId()) + "\\") {
  scratch::RemoveTree(dir_);
  CreateDirectoryA(dir_.c_str(), nullptr);
}

Installation::~Installation() { scratch::RemoveTree(dir_); }

void Installation::WriteIni(const std::string& body) const {
  std::ofstream out(dir_ + "OPOSLog.ini", std::ios::binary | std::ios::trunc);
  out << body;
}

std::string Installation::ReadLog() const {
  return scratch::ReadAll(LogPath());
}

}  // namespace diagtest
