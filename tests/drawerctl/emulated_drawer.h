// A cash drawer on the printer emulator, configured in the registry for the
// real service object, and drawerctl.exe run against it.
#pragma once

#include <future>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tools/emulator/printer_emulator.h"

struct DrawerWiring {
  int drawerPin = 2;          // where the emulated drawer's solenoid hangs
  int devicePin = 2;          // what the device key tells the service object to kick
  int autoCloseMs = -1;       // the emulated drawer shuts by itself; -1 never
  int port = 0;               // 0: the emulator's port; else a port nobody listens on
  bool deviceHighOpen = true; // the device key's sensor polarity; the emulator's is high-open
};

class EmulatedDrawer {
 public:
  EmulatedDrawer(const char* what, DrawerWiring wiring = {});
  ~EmulatedDrawer();
  EmulatedDrawer(const EmulatedDrawer&) = delete;
  EmulatedDrawer& operator=(const EmulatedDrawer&) = delete;

  const std::string& Name() const { return name_; }
  emulator::PrinterEmulator& Printer() { return printer_; }

  ChildResult Run(const std::string& command, const std::string& options = {});
  std::future<ChildResult> Start(const std::string& command, const std::string& options = {});

  // Waits until drawerctl has enabled the device (the status request arrived).
  bool AwaitEnabled(DWORD ms);

 private:
  std::string name_;
  emulator::PrinterEmulator printer_;
};

// Where `needle` first occurs in `text` at or after `from`; npos if not.
size_t FindFrom(const std::string& text, const std::string& needle, size_t from);
// Whether each piece occurs in text after the one before it.
bool InOrder(const std::string& text, const std::vector<std::string>& pieces);
