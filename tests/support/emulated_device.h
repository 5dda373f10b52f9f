// A cash drawer on the printer emulator: the emulator on a free loopback port
// and the device key that sends the service object to it, both gone again at
// the end of the scope. The printer can be switched off and on again on the
// same port, as a fault run needs.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "common/no_copy.h"
#include "tests/support/device_key.h"
#include "tools/emulator/printer_emulator.h"

struct DeviceWiring {
  const char* stem = "KX-R58 Emulated";  // the device name, made unique to this process
  int drawerPin = 2;                      // where the emulated drawer's solenoid hangs
  DWORD openSingle = 0;  // 0: sensor bit set while shut ("Normal"), as the emulator wires it
  DWORD pinSingle = 0;   // 0: kick pin 2; any other value pin 5
};

class EmulatedDevice : win::NoCopy {
 public:
  explicit EmulatedDevice(const DeviceWiring& wiring = {});
  ~EmulatedDevice();

  // false (and why in StartError) when the emulator could not listen.
  bool Started() const { return started_; }
  const std::string& StartError() const { return startError_; }

  emulator::PrinterEmulator& printer() { return *printer_; }
  DeviceKey& key() { return key_; }
  const std::string& Name() const { return key_.Name(); }

  // The printer is switched off: its port stops listening and the
  // connection goes. SwitchOn starts it again on the same port, with the
  // drawer as given.
  void SwitchOff();
  bool SwitchOn(bool drawerOpen);

 private:
  int drawerPin_;
  std::unique_ptr<emulator::PrinterEmulator> printer_;
  bool started_ = false;
  std::string startError_;
  int port_ = 0;
  DeviceKey key_;
};

// The value of the device key's "Port" for a printer on loopback.
std::string LoopbackPortValue(int port);
