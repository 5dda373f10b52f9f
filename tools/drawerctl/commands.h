// The commands of drawerctl: their table, their help and their entry points.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "args.h"

namespace drawerctl {

using CommandHandler = int (*)(const ParsedArgs&);

struct CommandSpec {
  std::string_view name;
  std::string_view usage;    // after "drawerctl "
  std::string_view summary;  // one line for the command list
  std::string_view details;  // the command's --help text
  const OptionSpec* options;
  size_t optionCount;
  size_t positionals;        // exact number of NAME-like words
  CommandHandler run;
};

// Entry points (cmd_config.cpp, cmd_service.cpp, cmd_ports.cpp).
int RunList(const ParsedArgs&);
int RunAdd(const ParsedArgs&);
int RunRemove(const ParsedArgs&);
int RunOpen(const ParsedArgs&);
int RunStatus(const ParsedArgs&);
int RunWatch(const ParsedArgs&);
int RunWait(const ParsedArgs&);
int RunHealth(const ParsedArgs&);
int RunCycle(const ParsedArgs&);
int RunPorts(const ParsedArgs&);

struct FoundPrinter;
// The lines of ports for the printers given (cmd_ports.cpp).
std::vector<std::string> PortsReport(const std::vector<FoundPrinter>& usb,
                                     const std::vector<FoundPrinter>& queues);

const CommandSpec* FindCommand(std::string_view name);
std::string ToolHelp();
std::string CommandHelp(const CommandSpec& command);

// The whole program after argv is split: returns the exit code.
int RunDrawerctl(const std::vector<std::string>& words);

}  // namespace drawerctl
