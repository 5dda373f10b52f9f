// ports: the USB printers and printer queues this machine has, each with
// the Port value that selects it.
#include "commands.h"
#include "exit_codes.h"
#include "printer_list.h"
#include "transcript.h"

namespace drawerctl {
namespace {

std::string Padded(std::string text, size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text + " ";
}

void AddSection(std::vector<std::string>& lines, const char* heading, const char* none,
                const std::vector<FoundPrinter>& found) {
  lines.push_back(heading);
  if (found.empty()) lines.push_back(std::string("  ") + none);
  for (const FoundPrinter& f : found) lines.push_back("  " + Padded(f.port, 30) + f.description);
}

}  // namespace

std::vector<std::string> PortsReport(const std::vector<FoundPrinter>& usb,
                                     const std::vector<FoundPrinter>& queues) {
  std::vector<std::string> lines;
  AddSection(lines, "USB printers (USB printing class):", "none found", usb);
  // With one printer present, the bare word finds it wherever it is plugged in.
  if (usb.size() == 1) lines.push_back("  (the only one: --port USB selects it too)");
  AddSection(lines, "printer queues:", "none", queues);
  return lines;
}

int RunPorts(const ParsedArgs&) {
  for (const std::string& line : PortsReport(FindUsbPrinterPorts(), FindPrinterQueues()))
    transcript::Say(line);
  return kExitOk;
}

}  // namespace drawerctl
