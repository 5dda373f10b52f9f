// The printers a drawer's Port can name without knowing an address: the USB
// printers present (the port library's own list, with maker and model from
// their device IDs) and the Windows printer queues, each with the Port
// value that selects it. For drawerctl ports and the window's Find printers.
#pragma once

#include <string>
#include <vector>

#include "ferrule/usb_printers.h"

namespace drawerctl {

struct FoundPrinter {
  std::string port;         // the Port value, as add writes it
  std::string description;  // one line: maker and model, serial, path; or driver, port, state
};

// A USB printer by its serial where it has one, else by the instance part
// of its path, else by the path.
FoundPrinter DescribeUsbPrinter(const ferrule::UsbPrinter& p);
std::vector<FoundPrinter> FindUsbPrinterPorts();
// Local queues and connections to shared ones; a name the Port grammar
// cannot hold (a comma in it) is listed with why instead of a value.
std::vector<FoundPrinter> FindPrinterQueues();

}  // namespace drawerctl
