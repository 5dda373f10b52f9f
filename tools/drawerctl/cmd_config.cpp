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

std::string DwordText(const std::optional<DWORD>& v, std::string_view (*word)(DWORD)) {
  if (!v) return "missing";
  return std::string(word(*v)) + " (" + std::to_string(*v) + ")";
}

}  // namespace

int RunList(const ParsedArgs&) {
  std::vector<DeviceSettings> devices;
  if (LONG rc = ListDevices(devices); rc != ERROR_SUCCESS) {
    transcript::Error("cannot read the cash drawers: " + RegistryError(rc));
    return kExitConfig;
  }
  if (devices.empty()) {
    transcript::Say("no cash drawers configured (drawerctl add NAME --port PORT)");
    return kExitOk;
  }
  transcript::Say(Padded("NAME", 24) + Padded("SERVICE OBJECT", 22) + Padded("PORT", 22) +
                  Padded("PIN", 10) + "SENSOR");
  for (const auto& d : devices) {
    transcript::Say(Padded(d.name, 24) + Padded(d.progId.empty() ? "-" : d.progId, 22) +
                    Padded(d.port.empty() ? "missing" : d.port, 22) +
                    Padded(DwordText(d.pinSingle, PinWord), 10) +
                    DwordText(d.openSingle, SensorWord));
  }
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
    transcript::Error(!port.ok ? port.error
                      : !pin   ? "--pin is 2 or 5"
                               : "--sensor is high-open or high-shut");
    return kExitUsage;
  }
  DeviceSettings existing;
  bool exists = ReadDevice(name, existing) == ERROR_SUCCESS;
  if (exists && !args.Has("replace")) {
    transcript::Error("a cash drawer named \"" + name +
                      "\" is already configured: give --replace to overwrite it");
    return kExitConfig;
  }
  DeviceSettings device;
  device.name = name;
  device.progId = kServiceProgId;
  device.port = port.value;
  device.pinSingle = *pin;
  device.openSingle = *sensor;
  if (LONG rc = WriteDevice(device); rc != ERROR_SUCCESS) {
    transcript::Error("cannot write the device key: " + RegistryError(rc));
    return kExitConfig;
  }
  transcript::Say(std::string(exists ? "replaced " : "added ") + name + ": port " + port.value +
                  ", pin " + std::string(PinWord(*pin)) + ", sensor " +
                  std::string(SensorWord(*sensor)));
  return kExitOk;
}

int RunRemove(const ParsedArgs& args) {
  const std::string& name = args.positional[0];
  DeviceSettings device;
  LONG rc = ReadDevice(name, device);
  if (rc == ERROR_FILE_NOT_FOUND) {
    transcript::Error("no cash drawer named \"" + name + "\" is configured");
    return kExitConfig;
  }
  if (rc == ERROR_SUCCESS && device.progId != kServiceProgId) {
    transcript::Error("\"" + name + "\" belongs to another service object (" +
                      (device.progId.empty() ? std::string("none") : device.progId) +
                      "): left alone");
    return kExitConfig;
  }
  if (rc == ERROR_SUCCESS) rc = RemoveDevice(name);
  if (rc != ERROR_SUCCESS) {
    transcript::Error("cannot remove \"" + name + "\": " + RegistryError(rc));
    return kExitConfig;
  }
  transcript::Say("removed " + name);
  return kExitOk;
}

}  // namespace drawerctl
