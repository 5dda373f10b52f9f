#include "device_edit.h"

#include "dispatch_client.h"
#include "port_choice.h"

namespace drawerctl {
namespace {

bool Ours(const DeviceSettings& d) { return d.progId == kServiceProgId; }

EditResult Refused(EditProblem problem, std::string message) {
  return {problem, std::move(message)};
}

std::string NotConfiguredText(const std::string& name) {
  return "no cash drawer named \"" + name + "\" is configured";
}

}  // namespace

std::string RegistryError(LONG rc) {
  std::string text = DescribeHresult(HRESULT_FROM_WIN32(rc));
  if (rc == ERROR_ACCESS_DENIED) text += " (run as administrator)";
  return text;
}

std::string SettingText(const std::optional<DWORD>& v, bool wrongType,
                        std::string_view (*word)(DWORD)) {
  if (!v) return wrongType ? "not DWORD" : "missing";
  return std::string(word(*v)) + " (" + std::to_string(*v) + ")";
}

std::string SensorText(const DeviceSettings& d) {
  if (d.drawerSensorWrongType) return "DrawerSensor not DWORD";
  if (d.drawerSensor == 0u) return std::string(kNoSensorWord) + " (DrawerSensor 0)";
  return SettingText(d.openSingle, d.openSingleWrongType, SensorWord);
}

EditResult AddDrawer(const DrawerEntry& entry, bool replace) {
  const std::string& name = entry.name;
  if (std::string why = CheckDeviceName(name); !why.empty())
    return Refused(EditProblem::Name, why);
  PortChoice port = ParsePort(entry.port);
  if (!port.ok) return Refused(EditProblem::Port, port.error);
  std::optional<DWORD> pin = PinChoice(entry.pin);
  if (!pin) return Refused(EditProblem::Pin, "the pin is 2 or 5");
  const bool noSensor = entry.sensor == kNoSensorWord;
  // Without a sensor the polarity means nothing; the service still wants one.
  std::optional<DWORD> sensor = noSensor ? std::optional<DWORD>(0) : SensorChoice(entry.sensor);
  if (!sensor) return Refused(EditProblem::Sensor, "the sensor is high-open, high-shut or none");
  // A drawer held by one view is still in use by the tills of that bitness:
  // adding it again without a replacement asked for would quietly change
  // their settings.
  ConfiguredDevice existing;
  bool exists = ReadDeviceViews(name, existing) == ERROR_SUCCESS;
  if (exists && !replace)
    return Refused(EditProblem::Exists, "a cash drawer named \"" + name +
                                            "\" is already configured (" +
                                            ViewsText(existing) + ")");
  DeviceSettings device;
  device.name = name;
  device.progId = kServiceProgId;
  device.port = port.value;
  device.pinSingle = *pin;
  device.openSingle = *sensor;
  if (noSensor) device.drawerSensor = 0;
  ViewChange written = WriteDevice(device);
  if (!written.ok()) {
    std::string partly =
        written.changed.empty()
            ? std::string()
            : "; " + ViewsPhrase(written.changed) + " already holds the new settings";
    return Refused(EditProblem::Registry, "cannot write the device key in the " +
                                              std::string(written.failedView) +
                                              " view: " + RegistryError(written.rc) + partly);
  }
  return {EditProblem::None, std::string(exists ? "replaced " : "added ") + name + ": port " +
                                 port.value + ", pin " + std::string(PinWord(*pin)) +
                                 ", sensor " +
                                 (noSensor ? std::string(kNoSensorWord)
                                           : std::string(SensorWord(*sensor))) +
                                 "; written to " + ViewsPhrase(written.changed)};
}

EditResult RemoveDrawer(const std::string& name) {
  ConfiguredDevice device;
  LONG rc = ReadDeviceViews(name, device);
  if (rc == ERROR_FILE_NOT_FOUND)
    return Refused(EditProblem::NotConfigured, NotConfiguredText(name));
  if (rc != ERROR_SUCCESS)
    return Refused(EditProblem::Registry, "cannot read \"" + name + "\": " + RegistryError(rc));
  // Another vendor's key in either view leaves both alone: the name is one
  // drawer to the tills, and only its owner knows what the other copy is for.
  for (const auto& v : device.views) {
    if (Ours(v.settings)) continue;
    return Refused(EditProblem::NotOurs,
                   "\"" + name + "\" belongs to another service object (" +
                       (v.settings.progId.empty() ? std::string("none") : v.settings.progId) +
                       ") in the " + std::string(v.view.word) + " view: left alone");
  }
  ViewChange removed = RemoveDevice(name);
  if (removed.rc == ERROR_FILE_NOT_FOUND)  // gone meanwhile
    return Refused(EditProblem::NotConfigured, NotConfiguredText(name));
  if (!removed.ok()) {
    std::string partly = removed.changed.empty()
                             ? std::string()
                             : "; it is gone from " + ViewsPhrase(removed.changed);
    return Refused(EditProblem::Registry, "cannot remove \"" + name + "\" from the " +
                                              std::string(removed.failedView) +
                                              " view: " + RegistryError(removed.rc) + partly);
  }
  return {EditProblem::None, "removed " + name + " from " + ViewsPhrase(removed.changed)};
}

}  // namespace drawerctl
