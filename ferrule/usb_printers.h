// The USB printers present (the USB printing class), as SetupDi lists them
// with the maker and model of their IEEE 1284 device ID, and the one that a
// Port value of the USB forms names. Tests put a list of given devices in
// the place of SetupDi: this machine's Wine has no USB printing class.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ferrule/device_id.h"
#include "ferrule/diag.h"
#include "ferrule/port_value.h"

namespace ferrule {

struct UsbPrinter {
  std::string path;      // the device interface path, opened as it is
  std::string instance;  // the instance part of the path: the serial, or one Windows made up
  std::string serial;    // the USB serial number; empty when the device has none
  DeviceId id;           // from the 1284 ID; empty fields when it could not be read
  unsigned long idError = 0;  // why the ID could not be read (Win32 error); 0 when read
};

// The printers present, through the source in effect.
std::vector<UsbPrinter> FindUsbPrinters();
using UsbPrinterSource = std::vector<UsbPrinter> (*)();
// Null restores SetupDi.
void SetUsbPrinterSource(UsbPrinterSource source);

// SetupDi's list, each printer's 1284 ID read where it can be opened.
std::vector<UsbPrinter> EnumerateUsbPrinters();

// "\\?\usb#vid_04b8&pid_0202#j6ef012345#{...}" -> "j6ef012345"; empty
// for a path of another shape.
std::string InstancePartOf(std::string_view path);
// The serial or the instance part, without regard to case.
bool NamesUsbPrinter(const UsbPrinter& p, std::string_view id);

// The printer a USB Port value names, with what finds it again after it
// was unplugged: its serial (or instance part), or the path itself.
struct UsbChoice {
  std::string path;
  std::string refind;  // empty for a path opened as it is
};
// False with UsbNoPrinter, UsbSeveralPrinters (d3 how many) or
// UsbPrinterNotFound (d3 how many are present) in d.
bool ChooseUsbPrinter(const UsbSettings& s, UsbChoice& out, Diag& d);
// The path of the printer that refind names now; empty when it is not there.
std::string RefindUsbPrinter(const std::string& refind);

}  // namespace ferrule
