#include "commands.h"

#include <array>
#include <cstdio>

#include "exit_codes.h"
#include "transcript.h"

namespace drawerctl {
namespace {

constexpr std::array<OptionSpec, 4> kAddOptions{{
    {"port", "PORT",
     "tcp:HOST[:PORT] (network printer), COMn, LPTn, USB[:SERIAL] or PRINTER:QUEUE; required"},
    {"pin", "2|5", "drawer-kick connector pin (default 2)"},
    {"sensor", "high-open|high-shut|none",
     "what a set drawer-sensor bit means: open, or shut (default); none: no sensor wire"},
    {"replace", "", "overwrite a device that is already configured"},
}};

constexpr std::array<OptionSpec, 1> kWatchOptions{{
    {"seconds", "N", "stop after N seconds (default: until Ctrl+C)"},
}};

// The reminder beep of waitForDrawerClose. Its counters advance by 100 per
// status poll (about one second), so 100 stands for one poll, not 100 ms.
constexpr std::array<OptionSpec, 4> kBeepOptions{{
    {"beep-timeout", "MS", "open time before the reminder starts, 100 per poll (default 0)"},
    {"beep-frequency", "HZ", "tone of the reminder (default 880)"},
    {"beep-duration", "MS", "length of each tone in milliseconds (default 200)"},
    {"beep-delay", "MS", "time between tones, 100 per poll (default 100)"},
}};

constexpr std::array<OptionSpec, 1> kHealthOptions{{
    {"level", "1|2|3", "1 internal, 2 external (kicks the drawer), 3 interactive dialog"},
}};

constexpr std::array<CommandSpec, 10> kCommands{{
    {"list", "list", "configured cash drawers and their settings",
     "Lists every cash drawer in the OPOS registry tree with the registry views\n"
     "holding it (32-bit tills read one, 64-bit tills the other), its service\n"
     "object (ProgID), port, kick pin and sensor polarity. A drawer whose views\n"
     "hold different settings gets a row per view.",
     nullptr, 0, 0, RunList},
    {"add", "add NAME --port PORT [--pin 2|5] [--sensor high-open|high-shut|none] [--replace]",
     "configure a cash drawer for the Halyard service object",
     "Writes the device key HKLM\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\CashDrawer\\NAME\n"
     "into the 32-bit and the 64-bit registry view (on 64-bit Windows):\n"
     "default value SOTarvoCash.SOTvCash, OpenSingle (1 high-open, 0 high-shut),\n"
     "PinSingle (0 pin 2, 1 pin 5) and Port, and DrawerSensor 0 for --sensor none\n"
     "(a drawer without a sensor: openDrawer does not wait for it to be seen\n"
     "open). The printer model named in NAME\n"
     "(e.g. KX-M27) chooses how the service talks to it. Uninstalling the package\n"
     "removes every drawer configured for it.",
     kAddOptions.data(), kAddOptions.size(), 1, RunAdd},
    {"ports", "ports", "USB printers and printer queues, with the --port value of each",
     "Lists the USB receipt printers present (USB printing class: maker and model\n"
     "from their device ID, serial number, device path) and the Windows printer\n"
     "queues (driver, port, state), each with the Port value that selects it:\n"
     "USB:SERIAL for a USB printer, PRINTER:NAME for a queue. A drawer on a queue\n"
     "has no sensor: the queue gives nothing back.",
     nullptr, 0, 0, RunPorts},
    {"remove", "remove NAME", "delete a cash drawer's configuration",
     "Deletes the device key of NAME from every registry view holding it. Only\n"
     "devices served by SOTarvoCash.SOTvCash are removed; other vendors' drawers\n"
     "are left alone.",
     nullptr, 0, 1, RunRemove},
    {"open", "open NAME", "kick the drawer and report whether it opened",
     "Opens the service, claims and enables the device, kicks the drawer with\n"
     "openDrawer and reports the DrawerOpened property and the events seen.",
     nullptr, 0, 1, RunOpen},
    {"status", "status NAME", "the device's properties by name",
     "Shows the registry views holding NAME, then opens, claims and enables the\n"
     "device, waits for the first drawer status and prints every property the\n"
     "service object answers.",
     nullptr, 0, 1, RunStatus},
    {"watch", "watch NAME [--seconds N]", "print every drawer change with its time",
     "Enables the device and prints each SOStatusUpdate event (drawer open or\n"
     "shut) as it arrives, until Ctrl+C or N seconds.",
     kWatchOptions.data(), kWatchOptions.size(), 1, RunWatch},
    {"wait", "wait NAME [--beep-timeout MS] [--beep-frequency HZ] [--beep-duration MS]"
             " [--beep-delay MS]",
     "block until the drawer is shut, with the reminder beep",
     "Enables the device and calls waitForDrawerClose, which returns once the\n"
     "drawer is shut (at once when it is not open) and beeps while it stays open.",
     kBeepOptions.data(), kBeepOptions.size(), 1, RunWait},
    {"health", "health NAME --level 1|2|3", "run CheckHealth and show its text",
     "Opens the service and runs CheckHealth at the level given, then prints the\n"
     "health-check text (property CheckHealthText). Level 3 shows a dialog.",
     kHealthOptions.data(), kHealthOptions.size(), 1, RunHealth},
    {"cycle", "cycle NAME [--beep-timeout MS] [--beep-frequency HZ] [--beep-duration MS]"
              " [--beep-delay MS]",
     "a till's whole cycle with the events shown",
     "In one process: open, claim, enable, kick the drawer, show the open event,\n"
     "wait for the close with the reminder beep, show the close event, run the\n"
     "health checks at levels 1 and 2, then disable, release and close.",
     kBeepOptions.data(), kBeepOptions.size(), 1, RunCycle},
}};

std::string OptionLines(const CommandSpec& c) {
  std::string text;
  for (size_t i = 0; i < c.optionCount; ++i) {
    const OptionSpec& o = c.options[i];
    std::string left = "  --" + std::string(o.name);
    if (!o.valueName.empty()) left += " " + std::string(o.valueName);
    if (left.size() < 32) left.resize(32, ' ');
    text += left + " " + std::string(o.help) + "\n";
  }
  return text;
}

}  // namespace

const CommandSpec* FindCommand(std::string_view name) {
  for (const auto& c : kCommands)
    if (c.name == name) return &c;
  return nullptr;
}

std::string ToolHelp() {
  std::string text =
      "drawerctl - configure and operate OPOS cash drawers served by Halyard\n\n"
      "usage: drawerctl COMMAND [ARGS]      drawerctl COMMAND --help\n\ncommands:\n";
  for (const auto& c : kCommands) {
    std::string left = "  " + std::string(c.name);
    left.resize(12, ' ');
    text += left + std::string(c.summary) + "\n";
  }
  text += "\nexit codes:\n";
  for (const auto& e : kExitCodes)
    text += "  " + std::to_string(e.code) + "  " + std::string(e.meaning) + "\n";
  return text;
}

std::string CommandHelp(const CommandSpec& c) {
  std::string text = "usage: drawerctl " + std::string(c.usage) + "\n\n" +
                     std::string(c.details) + "\n";
  if (c.optionCount > 0) text += "\noptions:\n" + OptionLines(c);
  return text;
}

int RunDrawerctl(const std::vector<std::string>& words) {
  if (words.empty()) {
    transcript::Error("no command given");
    std::fputs(ToolHelp().c_str(), stderr);
    return kExitUsage;
  }
  if (words[0] == "--help" || words[0] == "-h" || words[0] == "help" || words[0] == "/?") {
    std::fputs(ToolHelp().c_str(), stdout);
    return kExitOk;
  }
  const CommandSpec* command = FindCommand(words[0]);
  if (command == nullptr) {
    transcript::Error("unknown command \"" + words[0] + "\" (drawerctl --help lists them)");
    return kExitUsage;
  }
  std::vector<std::string> rest(words.begin() + 1, words.end());
  ParsedArgs args = ParseArgs(rest, command->options, command->optionCount);
  if (args.help) {
    std::fputs(CommandHelp(*command).c_str(), stdout);
    return kExitOk;
  }
  if (args.error.empty() && args.positional.size() != command->positionals)
    args.error = command->positionals == 0 ? "this command takes no NAME"
                                           : "give exactly one device NAME";
  if (!args.error.empty()) {
    transcript::Error(args.error);
    std::fputs(("usage: drawerctl " + std::string(command->usage) + "\n").c_str(), stderr);
    return kExitUsage;
  }
  return command->run(args);
}

}  // namespace drawerctl
