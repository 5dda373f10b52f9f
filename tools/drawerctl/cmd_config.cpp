// list, add, remove: the device keys of the OPOS registry tree.
#include <cstdio>

#include "commands.h"
#include "device_config.h"
#include "device_edit.h"
#include "exit_codes.h"
#include "transcript.h"

namespace drawerctl {
namespace {

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text + " ";
}

std::string Row(const std::string& name, const std::string& views, const DeviceSettings& d) {
  return Padded(name, 24) + Padded(views, 16) + Padded(d.progId.empty() ? "-" : d.progId, 22) +
         Padded(d.port.empty() ? "missing" : d.port, 22) +
         Padded(SettingText(d.pinSingle, d.pinSingleWrongType, PinWord), 10) +
         SensorText(d);
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

// A refusal in the words of the command line: which option, and what to give.
std::string AddRefusal(const EditResult& r, const ParsedArgs& args) {
  switch (r.problem) {
    case EditProblem::Port: return "--port " + Quoted(args.Value("port")) + ": " + r.message;
    case EditProblem::Pin: return "--pin is 2 or 5";
    case EditProblem::Sensor: return "--sensor is high-open, high-shut or none";
    case EditProblem::Exists: return r.message + ": give --replace to overwrite it";
    default: return r.message;
  }
}

int AddExitCode(EditProblem problem) {
  switch (problem) {
    case EditProblem::None: return kExitOk;
    case EditProblem::Exists:
    case EditProblem::Registry: return kExitConfig;
    default: return kExitUsage;
  }
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
  DrawerEntry entry;
  entry.name = args.positional[0];
  if (std::string why = CheckDeviceName(entry.name); !why.empty()) {
    transcript::Error(why);
    return kExitUsage;
  }
  if (!args.Has("port")) {
    transcript::Error("--port is required (tcp:HOST[:PORT], COMn, LPTn, USB[:SERIAL] or "
                      "PRINTER:QUEUE; drawerctl ports lists what this machine has)");
    return kExitUsage;
  }
  entry.port = args.Value("port");
  entry.pin = args.Value("pin", entry.pin);
  entry.sensor = args.Value("sensor", entry.sensor);
  EditResult r = AddDrawer(entry, args.Has("replace"));
  if (!r.ok()) {
    transcript::Error(AddRefusal(r, args));
    return AddExitCode(r.problem);
  }
  transcript::Say(r.message);
  return kExitOk;
}

int RunRemove(const ParsedArgs& args) {
  EditResult r = RemoveDrawer(args.positional[0]);
  if (!r.ok()) {
    transcript::Error(r.message);
    return kExitConfig;
  }
  transcript::Say(r.message);
  return kExitOk;
}

}  // namespace drawerctl
