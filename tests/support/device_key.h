// A device key of the OPOS registry tree for the length of a test:
// HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer\<name>, removed again at
// the end of the scope. Tests in parallel processes share one Wine registry,
// so UniqueDeviceName() builds names that no other process uses.
#pragma once

#include <windows.h>

#include <string>

#include "common/no_copy.h"
#include "common/win32_raii.h"

std::string UniqueDeviceName(const std::string& stem);

class DeviceKey : win::NoCopy {
 public:
  explicit DeviceKey(std::string name);
  ~DeviceKey();

  const std::string& Name() const { return name_; }
  std::wstring WideName() const;
  DeviceKey& SetDword(const char* value, DWORD data);
  DeviceKey& SetString(const char* value, const std::string& data);
  // Any type and bytes, for values of the wrong type or size.
  DeviceKey& SetRaw(const char* value, DWORD type, const void* data, DWORD size);
  DeviceKey& Delete(const char* value);

 private:
  std::string name_;
  win::UniqueHKey key_;
};
