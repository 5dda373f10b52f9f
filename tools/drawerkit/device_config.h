// The cash drawers configured in the OPOS registry tree: the device key
// HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\CashDrawer\<name>, whose default
// value names the service object's ProgID and whose values the service
// object (OpenSingle, PinSingle) and the port library (Port) read.
#pragma once

#include <windows.h>

#include <array>
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
  std::optional<DWORD> drawerSensor; // 0 = no sensor wired; absent = a sensor
  // Present but not a REG_DWORD: the service object refuses it as if absent,
  // but the fix is another, so drawerctl names it.
  bool openSingleWrongType = false;
  bool pinSingleWrongType = false;
  bool drawerSensorWrongType = false;
};
bool SameSettings(const DeviceSettings& a, const DeviceSettings& b);

// 64-bit Windows keeps HKLM\SOFTWARE twice: 32-bit processes see the 32-bit
// view (WOW6432Node), 64-bit processes the native one, and each service
// object reads the view of its own bitness. A drawer serves tills of either
// bitness only when both views hold it.
struct RegistryView {
  std::string_view word;  // as drawerctl shows it
  REGSAM flag;
};
constexpr std::array<RegistryView, 2> kRegistryViews{{
    {"32-bit", KEY_WOW64_32KEY},
    {"64-bit", KEY_WOW64_64KEY},
}};
// The views this machine has, in table order: both on 64-bit Windows, only
// the 32-bit one on 32-bit Windows (which ignores the flags: the two entries
// would name the same key twice).
size_t MachineViewCount();
// The view this process, and the service object it creates in-process, reads.
const RegistryView& OwnView();

// One drawer as the views of this machine hold it.
struct ViewSettings {
  RegistryView view;
  DeviceSettings settings;
};
struct ConfiguredDevice {
  std::string name;
  std::vector<ViewSettings> views;  // only the views holding the device key
  bool InEveryView() const { return views.size() == MachineViewCount(); }
  bool Differs() const;
};
// "32-bit, 64-bit", "32-bit only", ...; just "32-bit" where that is the only view.
std::string ViewsText(const ConfiguredDevice& device);
// "the 32-bit and 64-bit views", "the 64-bit view"
std::string ViewsPhrase(const std::vector<std::string_view>& words);

// A change made view by view, stopping at the first view that refuses it.
struct ViewChange {
  LONG rc = ERROR_SUCCESS;
  std::string_view failedView;           // empty when no view refused
  std::vector<std::string_view> changed;  // the views changed, in table order
  bool ok() const { return rc == ERROR_SUCCESS; }
};

// The choices an operator writes on the command line and the registry
// numbers they stand for.
struct Choice {
  std::string_view word;
  DWORD value;
};
std::optional<DWORD> PinChoice(std::string_view word);     // "2" or "5"
std::optional<DWORD> SensorChoice(std::string_view word);  // "high-open" or "high-shut"
// A drawer without a sensor wire: OpenSingle then means nothing, and the
// device key's DrawerSensor is 0.
constexpr std::string_view kNoSensorWord = "none";
std::string_view PinWord(DWORD pinSingle);
std::string_view SensorWord(DWORD openSingle);
// The sensor as the service object reads it: "none" for DrawerSensor 0,
// else the polarity's word; empty when neither can be told.
std::string SensorEntryWord(const DeviceSettings& d);

// Empty when the name can be a device key; otherwise why not.
std::string CheckDeviceName(std::string_view name);

// Win32 error codes: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND for a missing device, ...
// ReadDevice reads this process's own view.
LONG ReadDevice(std::string_view name, DeviceSettings& out);
// ERROR_FILE_NOT_FOUND when no view holds the device.
LONG ReadDeviceViews(std::string_view name, ConfiguredDevice& out);
LONG ListDevices(std::vector<ConfiguredDevice>& out);
// Creates or replaces the device key with all four values in every view,
// and DrawerSensor 0 for a drawer without a sensor (removed otherwise).
ViewChange WriteDevice(const DeviceSettings& device);
// Deletes the device key from every view that holds it; ERROR_FILE_NOT_FOUND
// when none does.
ViewChange RemoveDevice(std::string_view name);

}  // namespace drawerctl
