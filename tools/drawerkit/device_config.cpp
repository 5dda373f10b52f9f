#include "device_config.h"

#include <algorithm>
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

bool HasOtherThanDword(HKEY key, const char* value) {
  DWORD type = 0;
  return RegQueryValueExA(key, value, nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
         type != REG_DWORD;
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

std::vector<RegistryView> MachineViews() {
  return {kRegistryViews.begin(), kRegistryViews.begin() + MachineViewCount()};
}

bool SameName(const std::string& a, const char* b) { return _stricmp(a.c_str(), b) == 0; }

LONG ReadDeviceIn(const RegistryView& view, std::string_view name, DeviceSettings& out) {
  win::UniqueHKey key;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, DeviceKeyPath(name).c_str(), 0,
                          KEY_READ | view.flag, key.put());
  if (rc != ERROR_SUCCESS) return rc;
  out.name = std::string(name);
  out.progId = QueryText(key.get(), nullptr);
  out.port = QueryText(key.get(), "Port");
  out.openSingle = QueryDword(key.get(), "OpenSingle");
  out.pinSingle = QueryDword(key.get(), "PinSingle");
  out.drawerSensor = QueryDword(key.get(), "DrawerSensor");
  out.openSingleWrongType = HasOtherThanDword(key.get(), "OpenSingle");
  out.pinSingleWrongType = HasOtherThanDword(key.get(), "PinSingle");
  out.drawerSensorWrongType = HasOtherThanDword(key.get(), "DrawerSensor");
  return ERROR_SUCCESS;
}

// Adds the device names of one view not yet in `names`. The registry
// compares key names without case, and so does the service object.
LONG AddDeviceNames(const RegistryView& view, std::vector<std::string>& names) {
  win::UniqueHKey root;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCashDrawerKey, 0, KEY_READ | view.flag,
                          root.put());
  if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;  // nothing configured in this view
  if (rc != ERROR_SUCCESS) return rc;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD size = sizeof(name);
    rc = RegEnumKeyExA(root.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    if (std::none_of(names.begin(), names.end(), [&](const auto& n) { return SameName(n, name); }))
      names.emplace_back(name);
  }
}

LONG WriteDeviceIn(const RegistryView& view, const DeviceSettings& device) {
  win::UniqueHKey key;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, DeviceKeyPath(device.name).c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_WRITE | view.flag, nullptr, key.put(),
                            nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  if ((rc = SetText(key.get(), nullptr, device.progId)) != ERROR_SUCCESS) return rc;
  if ((rc = SetDword(key.get(), "OpenSingle", device.openSingle.value_or(1))) != ERROR_SUCCESS)
    return rc;
  if ((rc = SetDword(key.get(), "PinSingle", device.pinSingle.value_or(0))) != ERROR_SUCCESS)
    return rc;
  if (device.drawerSensor == 0u) {
    rc = SetDword(key.get(), "DrawerSensor", 0);
  } else {
    // Absent is a drawer with a sensor, as before there was this value.
    rc = RegDeleteValueA(key.get(), "DrawerSensor");
    if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
  }
  if (rc != ERROR_SUCCESS) return rc;
  return SetText(key.get(), "Port", device.port);
}

LONG RemoveDeviceIn(const RegistryView& view, std::string_view name) {
  win::UniqueHKey root;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCashDrawerKey, 0, KEY_ALL_ACCESS | view.flag,
                          root.put());
  if (rc != ERROR_SUCCESS) return rc;
  // A device key may carry subkeys of other tools; they go with it.
  return RegDeleteTreeA(root.get(), std::string(name).c_str());
}

ViewChange Refused(ViewChange change, LONG rc, const RegistryView& view) {
  change.rc = rc;
  change.failedView = view.word;
  return change;
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

std::string SensorEntryWord(const DeviceSettings& d) {
  if (d.drawerSensor == 0u) return std::string(kNoSensorWord);
  return d.openSingle ? std::string(SensorWord(*d.openSingle)) : std::string();
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

size_t MachineViewCount() {
#ifdef _WIN64
  return kRegistryViews.size();
#else
  static const size_t count = [] {
    BOOL wow64 = FALSE;
    // Without an answer, claim no view beyond the one this process sees.
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? kRegistryViews.size() : 1;
  }();
  return count;
#endif
}

// A process without a view flag reads the view of its own bitness.
const RegistryView& OwnView() { return kRegistryViews[sizeof(void*) == 8 ? 1 : 0]; }

bool SameSettings(const DeviceSettings& a, const DeviceSettings& b) {
  return a.progId == b.progId && a.port == b.port && a.openSingle == b.openSingle &&
         a.pinSingle == b.pinSingle && (a.drawerSensor == 0u) == (b.drawerSensor == 0u);
}

bool ConfiguredDevice::Differs() const {
  return std::any_of(views.begin(), views.end(), [&](const ViewSettings& v) {
    return !SameSettings(v.settings, views.front().settings);
  });
}

std::string ViewsText(const ConfiguredDevice& device) {
  std::string text;
  for (const auto& v : device.views) text += (text.empty() ? "" : ", ") + std::string(v.view.word);
  if (MachineViewCount() > 1 && !device.InEveryView()) text += " only";
  return text;
}

std::string ViewsPhrase(const std::vector<std::string_view>& words) {
  std::string text = "the ";
  for (size_t i = 0; i < words.size(); ++i)
    text += (i == 0 ? "" : i + 1 == words.size() ? " and " : ", ") + std::string(words[i]);
  return text + (words.size() == 1 ? " view" : " views");
}

LONG ReadDevice(std::string_view name, DeviceSettings& out) {
  return ReadDeviceIn(OwnView(), name, out);
}

LONG ReadDeviceViews(std::string_view name, ConfiguredDevice& out) {
  out.name = std::string(name);
  out.views.clear();
  for (const auto& view : MachineViews()) {
    DeviceSettings settings;
    LONG rc = ReadDeviceIn(view, name, settings);
    if (rc == ERROR_FILE_NOT_FOUND) continue;
    if (rc != ERROR_SUCCESS) return rc;
    out.views.push_back({view, std::move(settings)});
  }
  return out.views.empty() ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

LONG ListDevices(std::vector<ConfiguredDevice>& out) {
  out.clear();
  std::vector<std::string> names;
  for (const auto& view : MachineViews())
    if (LONG rc = AddDeviceNames(view, names); rc != ERROR_SUCCESS) return rc;
  std::sort(names.begin(), names.end(),
            [](const auto& a, const auto& b) { return _stricmp(a.c_str(), b.c_str()) < 0; });
  for (const auto& name : names) {
    ConfiguredDevice device;
    if (ReadDeviceViews(name, device) == ERROR_SUCCESS) out.push_back(std::move(device));
  }
  return ERROR_SUCCESS;
}

ViewChange WriteDevice(const DeviceSettings& device) {
  ViewChange change;
  for (const auto& view : MachineViews()) {
    if (LONG rc = WriteDeviceIn(view, device); rc != ERROR_SUCCESS)
      return Refused(std::move(change), rc, view);
    change.changed.push_back(view.word);
  }
  return change;
}

ViewChange RemoveDevice(std::string_view name) {
  ViewChange change;
  for (const auto& view : MachineViews()) {
    LONG rc = RemoveDeviceIn(view, name);
    if (rc == ERROR_FILE_NOT_FOUND) continue;  // a view without it is as removal leaves it
    if (rc != ERROR_SUCCESS) return Refused(std::move(change), rc, view);
    change.changed.push_back(view.word);
  }
  if (change.changed.empty()) change.rc = ERROR_FILE_NOT_FOUND;
  return change;
}

}  // namespace drawerctl
