// Looking for receipt printers where a drawer's Port could point: each COM
// port this machine has, a network address the technician gives, and the
// USB printers and printer queues Windows lists (drawerkit's printer_list). A port
// is tried the way the service object first speaks to a printer: the
// real-time status request (DLE EOT 1), and one status byte back within a
// second. Nothing is written to the registry.
#pragma once

#include <string>
#include <vector>

namespace drawerconfig {

enum class ProbeAnswer {
  Answered,  // a status byte came back: a printer is there
  Silent,    // the port opened, but nothing answered
  Absent,    // the port could not be opened or connected
  BadText,   // the port library's grammar refuses the text
  Listed,    // a USB printer or printer queue Windows lists: found, not tried
};

struct ProbeResult {
  std::string port;     // the port as the Port value would hold it
  ProbeAnswer answer = ProbeAnswer::Absent;
  std::string detail;   // the status byte, the system's reason, or the parser's words
};

// "COM1", "COM3", ... as HARDWARE\DEVICEMAP\SERIALCOMM lists them.
std::vector<std::string> PresentComPorts();
// The USB printers and printer queues, as found lines.
std::vector<ProbeResult> ListedPrinters();
ProbeResult ProbePort(const std::string& portText);

}  // namespace drawerconfig
