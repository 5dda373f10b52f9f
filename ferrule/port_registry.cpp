// Reading "Port". Only REG_SZ is accepted: a number or a multi-string there
// is a configuration mistake worth naming, not something to interpret.
#include "ferrule/port_registry.h"

#include <windows.h>

#include <cstring>

#include "common/win32_raii.h"

namespace ferrule {
namespace {

bool TextOk(const char* s) { return s != nullptr && *s != '\0' && std::strlen(s) <= kMaxText; }

}  // namespace

PortValue ReadPortValue(const char* deviceClass, const char* deviceName) {
  PortValue v;
  if (!TextOk(deviceClass) || !TextOk(deviceName)) {
    v.error = Error::BadArgument;
    return v;
  }
  std::string path = std::string(kServiceOposKey) + deviceClass + "\\" + deviceName;
  win::UniqueHKey key;
  LONG rc = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, key.put());
  if (rc != ERROR_SUCCESS) {
    v.error = Error::KeyMissing;
    v.system = rc;
    return v;
  }
  DWORD type = 0;
  DWORD size = 0;
  rc = ::RegQueryValueExA(key.get(), kPortValueName, nullptr, &type, nullptr, &size);
  if (rc != ERROR_SUCCESS) {
    v.error = Error::ValueMissing;
    v.system = rc;
    return v;
  }
  v.regType = static_cast<int>(type);
  v.length = static_cast<int>(size);
  if (type != REG_SZ) {
    v.error = Error::ValueNotString;
    return v;
  }
  // One spare byte beyond the longest text and its terminator tells "too long"
  // apart from "fits", whether or not the stored string carries its NUL.
  char buffer[kMaxText + 2] = {};
  DWORD got = sizeof(buffer);
  rc = ::RegQueryValueExA(key.get(), kPortValueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                          &got);
  if (rc == ERROR_MORE_DATA || (rc == ERROR_SUCCESS && got > kMaxText + 1)) {
    v.error = Error::ValueTooLong;
    return v;
  }
  if (rc != ERROR_SUCCESS) {
    v.error = Error::ValueMissing;
    v.system = rc;
    return v;
  }
  v.text.assign(buffer, strnlen(buffer, got));
  v.length = static_cast<int>(v.text.size());
  if (v.text.size() > kMaxText) v.error = Error::ValueTooLong;
  return v;
}

}  // namespace ferrule
