#include "device_config.h"

#include <array>

#include "common/win32_raii.h"

namespace drawerctl {
namespace {

constexpr std::array<Choice, 2> kPins{{{"2", 0}, {"5", 1}}};
constexpr std::array<Choice, 2> kSensors{{{"high-open", 1}, {"high-shut", 0}}};

template <size_t N>
std::optional<DWORD> Lookup(const std::array<Choice, N>& table, std::string_view word) {
  for (const auto& c : table)
    if (c.word == word) return c.value;
  return std::nullopt;
}

std::string DeviceKeyPath(std::string_view name) {
  return std::string(kCashDrawerKey) + "\\" + std::string(name);
}

std::optional<DWORD> QueryDword(HKEY key, const char* value) {
  DWORD data = 0, type = 0, size = sizeof(data);
  if (RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(data))
    return std::nullopt;
  return data;
}

std::string QueryText(HKEY key, const char* value) {
  char data[512] = {};
  DWORD type = 0, size = sizeof(data) - 1;
  if (RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return {};
  return std::string(data);
}

LONG SetText(HKEY key, const char* value, const std::string& text) {
  return RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

LONG SetDword(HKEY key, const char* value, DWORD data) {
  return RegSetValueExA(key, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                        sizeof(data));
}

}  // namespace

std::optional<DWORD> PinChoice(std::string_view word) { return Lookup(kPins, word); }
std::optional<DWORD> SensorChoice(std::string_view word) { return Lookup(kSensors, word); }
// The service object treats every non-zero PinSingle as pin 5 and every
// OpenSingle other than 1 as "set means shut"; the words say the same.
std::string_view PinWord(DWORD pinSingle) { return pinSingle == 0 ? "2" : "5"; }
std::string_view SensorWord(DWORD openSingle) {
  return openSingle == 1 ? "high-open" : "high-shut";
}

std::string CheckDeviceName(std::string_view name) {
  if (name.empty()) return "the device name is empty";
  if (name.size() > kMaxDeviceNameLength)
    return "the device name is longer than " + std::to_string(kMaxDeviceNameLength) +
           " characters";
  for (char c : name)
    if (c == '\\' || static_cast<unsigned char>(c) < 0x20)
      return "the device name may not contain a backslash or control characters";
  return {};
}

LONG ReadDevice(std::string_view name, DeviceSettings& out) {
  win::UniqueHKey key;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, DeviceKeyPath(name).c_str(), 0, KEY_READ,
                          key.put());
  if (rc != ERROR_SUCCESS) return rc;
  out.name = std::string(name);
  out.progId = QueryText(key.get(), nullptr);
  out.port = QueryText(key.get(), "Port");
  out.openSingle = QueryDword(key.get(), "OpenSingle");
  out.pinSingle = QueryDword(key.get(), "PinSingle");
  return ERROR_SUCCESS;
}

LONG ListDevices(std::vector<DeviceSettings>& out) {
  out.clear();
  win::UniqueHKey root;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCashDrawerKey, 0, KEY_READ, root.put());
  if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;  // nothing configured yet
  if (rc != ERROR_SUCCESS) return rc;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD size = sizeof(name);
    rc = RegEnumKeyExA(root.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    DeviceSettings device;
    if (ReadDevice(name, device) == ERROR_SUCCESS) out.push_back(std::move(device));
  }
}

LONG WriteDevice(const DeviceSettings& device) {
  win::UniqueHKey key;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, DeviceKeyPath(device.name).c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.put(), nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  if ((rc = SetText(key.get(), nullptr, device.progId)) != ERROR_SUCCESS) return rc;
  if ((rc = SetDword(key.get(), "OpenSingle", device.openSingle.value_or(1))) != ERROR_SUCCESS)
    return rc;
  if ((rc = SetDword(key.get(), "PinSingle", device.pinSingle.value_or(0))) != ERROR_SUCCESS)
    return rc;
  return SetText(key.get(), "Port", device.port);
}

LONG RemoveDevice(std::string_view name) {
  win::UniqueHKey root;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCashDrawerKey, 0, KEY_ALL_ACCESS, root.put());
  if (rc != ERROR_SUCCESS) return rc;
  // A device key may carry subkeys of other tools; they go with it.
  return RegDeleteTreeA(root.get(), std::string(name).c_str());
}

}  // namespace drawerctl
