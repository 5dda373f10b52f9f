// The cash drawers configured in the OPOS registry tree: the device key
// HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer\<name>, whose default
// value names the service object's ProgID and whose values the service
// object (OpenSingle, PinSingle) and the port library (Port) read.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace drawerctl {

constexpr char kCashDrawerKey[] = "SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer";
constexpr char kServiceProgId[] = "SOTarvoCash.SOTvCash";
constexpr char kDeviceClass[] = "CashDrawer";
// The service object builds the key path in a 200-byte buffer.
constexpr size_t kMaxDeviceNameLength = 154;

struct DeviceSettings {
  std::string name;
  std::string progId;                // default value of the key; empty when absent
  std::string port;                  // "Port"; empty when absent
  std::optional<DWORD> openSingle;   // sensor polarity: 1 = bit set means open
  std::optional<DWORD> pinSingle;    // 0 = connector pin 2, else pin 5
};

// The choices an operator writes on the command line and the registry
// numbers they stand for.
struct Choice {
  std::string_view word;
  DWORD value;
};
std::optional<DWORD> PinChoice(std::string_view word);     // "2" or "5"
std::optional<DWORD> SensorChoice(std::string_view word);  // "high-open" or "high-shut"
std::string_view PinWord(DWORD pinSingle);
std::string_view SensorWord(DWORD openSingle);

// Empty when the name can be a device key; otherwise why not.
std::string CheckDeviceName(std::string_view name);

// Win32 error codes: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND for a missing device, ...
LONG ReadDevice(std::string_view name, DeviceSettings& out);
LONG ListDevices(std::vector<DeviceSettings>& out);
// Creates or replaces the device key with all four values.
LONG WriteDevice(const DeviceSettings& device);
LONG RemoveDevice(std::string_view name);

}  // namespace drawerctl
