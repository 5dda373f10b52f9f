// Adding, replacing and removing a drawer with the checks and words that
// every drawer tool gives: the name as a device key takes it, the port text
// as the port library's own grammar reads it, the pin and the sensor; an
// existing drawer is changed only when asked, and another vendor's key is
// never removed.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "device_config.h"

namespace drawerctl {

// A drawer as an operator writes it.
struct DrawerEntry {
  std::string name;
  std::string port;
  std::string pin = "2";             // "2" or "5"
  std::string sensor = "high-shut";  // "high-open", "high-shut" or "none"
};

enum class EditProblem {
  None,
  Name,           // the name cannot be a device key
  Port,           // the port library refuses the text
  Pin,
  Sensor,
  Exists,         // configured already, and no replacement was asked for
  Registry,       // the registry refused
  NotConfigured,  // nothing to remove
  NotOurs,        // another service object's key: left alone
};

struct EditResult {
  EditProblem problem = EditProblem::None;
  // What was done, or why not: for a refused port the port library's code
  // word, number, character and reason; for an existing drawer which views
  // hold it.
  std::string message;
  bool ok() const { return problem == EditProblem::None; }
};

EditResult AddDrawer(const DrawerEntry& entry, bool replace);
EditResult RemoveDrawer(const std::string& name);

// A registry error in words, with what to do when access was denied.
std::string RegistryError(LONG rc);
// A pin or sensor value of a device key: "2 (0)", "missing", "not DWORD".
std::string SettingText(const std::optional<DWORD>& v, bool wrongType,
                        std::string_view (*word)(DWORD));
// The sensor column: the polarity as SettingText gives it, or "none" for a
// drawer without a sensor (DrawerSensor 0).
std::string SensorText(const DeviceSettings& d);

}  // namespace drawerctl
