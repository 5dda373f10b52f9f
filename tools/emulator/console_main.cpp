// printer-emulator.exe: the emulator on the console. Options choose the
// address and the printer's wiring; commands on standard input work the
// drawer and the printer; every event is one flushed line on standard output.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include <memory>

#include "tools/emulator/flood.h"
#include "tools/emulator/printer_emulator.h"

namespace {

constexpr char kUsage[] =
    "usage: printer-emulator [--address A] [--port N] [--serial COMn[:settings]] [--pipe NAME]\n"
    "                        [--pin 2|5]\n"
    "                        [--sensor high-when-shut|high-when-open]\n"
    "                        (drawerctl's words high-shut|high-open work too)\n"
    "                        [--auto-close MS|never] [--no-push] [--no-stdin]\n"
    "                        [--clients N] [--busy wait|refuse]\n"
    "                        [--flood blocks|garbage]\n"
    "commands: open close offline online drop silent answer push on|off\n"
    "          garbage send HEX... status quit\n";

// What each option takes, for naming a value that was refused.
struct OptionValues {
  const char* option;
  const char* values;
};
constexpr OptionValues kOptionValues[] = {
    {"--address", "an IPv4 address such as 127.0.0.1"},
    {"--port", "a TCP port 0..65535 (0: any free port)"},
    {"--pin", "2 or 5"},
    {"--pipe", "a pipe name (\\\\.\\pipe\\NAME), 1 to 200 characters without a backslash"},
    {"--sensor", "high-when-shut, high-when-open, high-shut or high-open"},
    {"--auto-close", "milliseconds, 0 or more, or never"},
    {"--clients", "a number of host connections 1..8"},
    {"--busy", "wait or refuse"},
    {"--flood", "blocks (a changing status block every millisecond) or garbage"},
};

bool AsksForHelp(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return true;
  return false;
}

// The option where parsing stopped, with its value, and what it takes.
std::string Refusal(const std::string& option, const char* value) {
  for (const OptionValues& o : kOptionValues) {
    if (option != o.option) continue;
    if (value == nullptr) return option + " needs a value: " + o.values;
    return option + " " + value + ": not accepted; " + o.option + " takes " + o.values;
  }
  return "unknown option " + option;
}

void Say(const std::string& line) {
  std::string text = line + "\n";
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

struct Settings {
  emulator::Options options;
  bool flood = false;
  emulator::FloodKind floodKind = emulator::FloodKind::ChangingBlocks;
  bool readStdin = true;
  int at = 0;  // the argument being read: the one refused when parsing fails
};

bool ParseInt(const char* text, int& out) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0') return false;
  out = static_cast<int>(v);
  return true;
}

bool ParseArgs(int argc, char** argv, Settings& s) {
  for (int i = 1; i < argc; ++i) {
    s.at = i;
    std::string a = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
    if (a == "--no-push") {
      s.options.pushStatus = false;
    } else if (a == "--no-stdin") {
      s.readStdin = false;
    } else if (next == nullptr) {
      return false;
    } else if (a == "--serial") {
      s.options.serial = argv[++i];  // checked when the printer starts
    } else if (a == "--pipe") {
      s.options.pipe = argv[++i];
      if (s.options.pipe.empty() || s.options.pipe.size() > 200 ||
          s.options.pipe.find('\\') != std::string::npos)
        return false;
    } else if (a == "--address") {
      s.options.address = argv[++i];
    } else if (a == "--port") {
      if (!ParseInt(argv[++i], s.options.port) || s.options.port < 0 || s.options.port > 65535)
        return false;
    } else if (a == "--pin") {
      if (!ParseInt(argv[++i], s.options.drawerPin) ||
          (s.options.drawerPin != 2 && s.options.drawerPin != 5))
        return false;
    } else if (a == "--sensor") {
      std::string v = argv[++i];
      // drawerctl's words are accepted too, so one word configures both ends.
      if (v == "high-when-shut" || v == "high-shut") s.options.sensor = emulator::SensorPolarity::HighWhenShut;
      else if (v == "high-when-open" || v == "high-open") s.options.sensor = emulator::SensorPolarity::HighWhenOpen;
      else return false;
    } else if (a == "--clients") {
      if (!ParseInt(argv[++i], s.options.maxClients) || s.options.maxClients < 1 ||
          s.options.maxClients > emulator::kMaxClients)
        return false;
    } else if (a == "--busy") {
      std::string v = argv[++i];
      if (v != "wait" && v != "refuse") return false;
      s.options.refuseBusy = v == "refuse";
    } else if (a == "--flood") {
      std::string v = argv[++i];
      if (v == "blocks") s.floodKind = emulator::FloodKind::ChangingBlocks;
      else if (v == "garbage") s.floodKind = emulator::FloodKind::Garbage;
      else return false;
      s.flood = true;
    } else if (a == "--auto-close") {
      std::string v = argv[++i];
      if (v == "never") s.options.autoCloseMs = -1;
      else if (!ParseInt(v.c_str(), s.options.autoCloseMs) || s.options.autoCloseMs < 0)
        return false;
    } else {
      return false;
    }
  }
  return true;
}

bool ParseHex(std::istringstream& in, std::vector<uint8_t>& bytes) {
  std::string word;
  while (in >> word) {
    char* end = nullptr;
    unsigned long v = std::strtoul(word.c_str(), &end, 16);
    if (end == word.c_str() || *end != '\0' || v > 0xFF) return false;
    bytes.push_back(static_cast<uint8_t>(v));
  }
  return !bytes.empty();
}

void SayStatus(const emulator::PrinterEmulator& printer) {
  emulator::Snapshot s = printer.snapshot();
  std::ostringstream o;
  o << "status drawer " << (s.drawerOpen ? "open" : "closed") << ", "
    << (s.offline ? "offline" : "online") << ", client " << (s.clientConnected ? "yes" : "no")
    << ", kicks " << s.kicks.size() << ", automatic status n=" << s.autoStatusMode
    << (s.silent ? ", silent" : "");
  Say(o.str());
}

// false on quit.
bool RunCommand(const std::string& line, emulator::PrinterEmulator& printer) {
  std::istringstream in(line);
  std::string cmd;
  if (!(in >> cmd)) return true;
  if (cmd == "quit" || cmd == "exit") return false;
  if (cmd == "open") printer.openDrawer();
  else if (cmd == "close") printer.closeDrawer();
  else if (cmd == "offline") printer.setOffline(true);
  else if (cmd == "online") printer.setOffline(false);
  else if (cmd == "drop") printer.dropConnection();
  else if (cmd == "silent") printer.setSilent(true);
  else if (cmd == "answer") printer.setSilent(false);
  else if (cmd == "garbage") printer.sendGarbage();
  else if (cmd == "status") SayStatus(printer);
  else if (cmd == "push") {
    std::string v;
    in >> v;
    if (v == "on" || v == "off") printer.setPushStatus(v == "on");
    else Say("push needs on or off");
  } else if (cmd == "send") {
    std::vector<uint8_t> bytes;
    if (ParseHex(in, bytes)) printer.send(bytes);
    else Say("send needs hex bytes, e.g. send 14 00 00 00");
  } else {
    Say("unknown command: " + cmd);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (AsksForHelp(argc, argv)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  Settings settings;
  if (!ParseArgs(argc, argv, settings)) {
    const int at = settings.at;
    std::string why = Refusal(argv[at], at + 1 < argc ? argv[at + 1] : nullptr);
    std::fputs(("printer-emulator: " + why + "\n").c_str(), stderr);
    std::fputs(kUsage, stderr);
    return 2;
  }
  emulator::PrinterEmulator printer(settings.options, Say);
  std::string error;
  if (!printer.start(&error)) {
    Say("cannot start: " + error);
    return 1;
  }
  std::unique_ptr<emulator::Flood> flood;
  if (settings.flood)
    flood = std::make_unique<emulator::Flood>(printer, settings.options.sensor, settings.floodKind);
  if (!settings.readStdin) {
    ::Sleep(INFINITE);
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!RunCommand(line, printer)) break;
  }
  flood.reset();
  printer.stop();
  Say("bye");
  return 0;
}
