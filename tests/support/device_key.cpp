// Device keys of the OPOS registry tree, made and removed by tests.
#include "tests/support/device_key.h"

#include <cstdio>

namespace {
constexpr char kCashDrawerRoot[] = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\";
}

std::string UniqueDeviceName(const std::string& stem) {
  static LONG counter = 0;
  char suffix[48];
  snprintf(suffix, sizeof(suffix), "-%lu-%ld", GetCurrentProcessId(),
           InterlockedIncrement(&counter));
  return stem + suffix;
}

DeviceKey::DeviceKey(std::string name) : name_(std::move(name)) {
  std::string path = kCashDrawerRoot + name_;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                  key_.put(), nullptr);
}

DeviceKey::~DeviceKey() {
  key_.reset();
  std::string path = kCashDrawerRoot + name_;
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
}

std::wstring DeviceKey::WideName() const { return std::wstring(name_.begin(), name_.end()); }

DeviceKey& DeviceKey::SetDword(const char* value, DWORD data) {
  return SetRaw(value, REG_DWORD, &data, sizeof(data));
}

DeviceKey& DeviceKey::SetString(const char* value, const std::string& data) {
  return SetRaw(value, REG_SZ, data.c_str(), static_cast<DWORD>(data.size() + 1));
}

DeviceKey& DeviceKey::SetRaw(const char* value, DWORD type, const void* data, DWORD size) {
  if (key_)
    RegSetValueExA(key_.get(), value, 0, type, static_cast<const BYTE*>(data), size);
  return *this;
}

DeviceKey& DeviceKey::Delete(const char* value) {
  if (key_) RegDeleteValueA(key_.get(), value);
  return *this;
}
