// list, add, remove: the device keys of the OPOS registry tree.
#include <cstdio>

#include "commands.h"
#include "device_config.h"
#include "dispatch_client.h"
#include "exit_codes.h"
#include "port_choice.h"
#include "transcript.h"

namespace drawerctl {
namespace {

std::string RegistryError(LONG rc) {
  std::string text = DescribeHresult(HRESULT_FROM_WIN32(rc));
  if (rc == ERROR_ACCESS_DENIED) text += " (run drawerctl as administrator)";
  return text;
}

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text + " ";
}

std::string DwordText(const std::optional<DWORD>& v, bool wrongType,
                      std::string_view (*word)(DWORD)) {
  if (!v) return wrongType ? "not DWORD" : "missing";
  return std::string(word(*v)) + " (" + std::to_string(*v) + ")";
}

std::string Row(const std::string& name, const std::string& views, const DeviceSettings& d) {
  return Padded(name, 24) + Padded(views, 16) + Padded(d.progId.empty() ? "-" : d.progId, 22) +
         Padded(d.port.empty() ? "missing" : d.port, 22) +
         Padded(DwordText(d.pinSingle, d.pinSingleWrongType, PinWord), 10) +
         DwordText(d.openSingle, d.openSingleWrongType, SensorWord);
}

// Each till reads the copy of its own bitness, so copies that disagree get a
// row each: one row would show only one of them.
void ShowDevice(const ConfiguredDevice& d) {
  if (!d.Differs()) {
    transcript::Say(Row(d.name, ViewsText(d), d.views.front().settings));
    return;
  }
  for (const auto& v : d.views)
    transcript::Say(Row(d.name, std::string(v.view.word) + " (differs)", v.settings));
}

// A value as typed, cut short where it would not fit on a line.
std::string Quoted(const std::string& value) {
  constexpr size_t kShown = 60;
  if (value.size() <= kShown) return "\"" + value + "\"";
  return "\"" + value.substr(0, kShown) + "...\" (" + std::to_string(value.size()) + " characters)";
}

bool Ours(const DeviceSettings& d) { return d.progId == kServiceProgId; }

int NotConfigured(const std::string& name) {
  transcript::Error("no cash drawer named \"" + name + "\" is configured");
  return kExitConfig;
}

}  // namespace

int RunList(const ParsedArgs&) {
  std::vector<ConfiguredDevice> devices;
  if (LONG rc = ListDevices(devices); rc != ERROR_SUCCESS) {
    transcript::Error("cannot read the cash drawers: " + RegistryError(rc));
    return kExitConfig;
  }
  if (devices.empty()) {
    transcript::Say("no cash drawers configured (drawerctl add NAME --port PORT)");
    return kExitOk;
  }
  transcript::Say(Padded("NAME", 24) + Padded("VIEWS", 16) + Padded("SERVICE OBJECT", 22) +
                  Padded("PORT", 22) + Padded("PIN", 10) + "SENSOR");
  bool uneven = false;
  for (const auto& d : devices) {
    ShowDevice(d);
    uneven = uneven || d.Differs() || !d.InEveryView();
  }
  if (uneven)
    transcript::Say("note: a till reads only the view of its own bitness; "
                    "drawerctl add NAME --port PORT ... --replace writes the same settings "
                    "into every view");
  return kExitOk;
}

int RunAdd(const ParsedArgs& args) {
  const std::string& name = args.positional[0];
  if (std::string why = CheckDeviceName(name); !why.empty()) {
    transcript::Error(why);
    return kExitUsage;
  }
  if (!args.Has("port")) {
    transcript::Error("--port is required (tcp:HOST[:PORT], COMn or LPTn)");
    return kExitUsage;
  }
  PortChoice port = ParsePort(args.Value("port"));
  std::optional<DWORD> pin = PinChoice(args.Value("pin", "2"));
  std::optional<DWORD> sensor = SensorChoice(args.Value("sensor", "high-shut"));
  if (!port.ok || !pin || !sensor) {
    transcript::Error(!port.ok ? "--port " + Quoted(args.Value("port")) + ": " + port.error
                      : !pin   ? "--pin is 2 or 5"
                               : "--sensor is high-open or high-shut");
    return kExitUsage;
  }
  // A drawer held by one view is still in use by the tills of that bitness:
  // adding it again without --replace would quietly change their settings.
  ConfiguredDevice existing;
  bool exists = ReadDeviceViews(name, existing) == ERROR_SUCCESS;
  if (exists && !args.Has("replace")) {
    transcript::Error("a cash drawer named \"" + name + "\" is already configured (" +
                      ViewsText(existing) + "): give --replace to overwrite it");
    return kExitConfig;
  }
  DeviceSettings device;
  device.name = name;
  device.progId = kServiceProgId;
  device.port = port.value;
  device.pinSingle = *pin;
  device.openSingle = *sensor;
  ViewChange written = WriteDevice(device);
  if (!written.ok()) {
    std::string partly =
        written.changed.empty()
            ? std::string()
            : "; " + ViewsPhrase(written.changed) + " already holds the new settings";
    transcript::Error("cannot write the device key in the " + std::string(written.failedView) +
                      " view: " + RegistryError(written.rc) + partly);
    return kExitConfig;
  }
  transcript::Say(std::string(exists ? "replaced " : "added ") + name + ": port " + port.value +
                  ", pin " + std::string(PinWord(*pin)) + ", sensor " +
                  std::string(SensorWord(*sensor)) + "; written to " +
                  ViewsPhrase(written.changed));
  return kExitOk;
}

int RunRemove(const ParsedArgs& args) {
  const std::string& name = args.positional[0];
  ConfiguredDevice device;
  LONG rc = ReadDeviceViews(name, device);
  if (rc == ERROR_FILE_NOT_FOUND) return NotConfigured(name);
  if (rc != ERROR_SUCCESS) {
    transcript::Error("cannot read \"" + name + "\": " + RegistryError(rc));
    return kExitConfig;
  }
  // Another vendor's key in either view leaves both alone: the name is one
  // drawer to the tills, and only its owner knows what the other copy is for.
  for (const auto& v : device.views) {
    if (Ours(v.settings)) continue;
    transcript::Error("\"" + name + "\" belongs to another service object (" +
                      (v.settings.progId.empty() ? std::string("none") : v.settings.progId) +
                      ") in the " + std::string(v.view.word) + " view: left alone");
    return kExitConfig;
  }
  ViewChange removed = RemoveDevice(name);
  if (removed.rc == ERROR_FILE_NOT_FOUND) return NotConfigured(name);  // gone meanwhile
  if (!removed.ok()) {
    std::string partly = removed.changed.empty()
                             ? std::string()
                             : "; it is gone from " + ViewsPhrase(removed.changed);
    transcript::Error("cannot remove \"" + name + "\" from the " +
                      std::string(removed.failedView) + " view: " + RegistryError(removed.rc) +
                      partly);
    return kExitConfig;
  }
  transcript::Say("removed " + name + " from " + ViewsPhrase(removed.changed));
  return kExitOk;
}

}  // namespace drawerctl
