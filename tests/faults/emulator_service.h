// A service object on the real port library, talking to the printer
// emulator on loopback, with a recording Control Object in this thread's
// apartment. For the fault runs and the end-to-end soak.
//
//   EmulatorService s;               // printer started, device key written
//   ASSERT_EQ(s.OpenAndEnable(), 0); // first status (shut) delivered
//   s.printer().openDrawer();
//   ASSERT_TRUE(s.WaitUpdates(2, 10000));
//
// Two drawers on one printer are two services on one emulator the test owns.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "common/win32_raii.h"
#include "so/service_object.h"
#include "tests/support/device_key.h"
#include "tests/support/recording_co.h"
#include "tools/emulator/printer_emulator.h"

class EmulatorService {
 public:
  EmulatorService();
  // A service on a printer the test runs itself: its device names port (a
  // Port value) and kicks pin 2 (pinSingle 0) or pin 5 (1). printer() is
  // not to be used then.
  EmulatorService(const std::string& port, DWORD pinSingle);
  ~EmulatorService();
  EmulatorService(const EmulatorService&) = delete;
  EmulatorService& operator=(const EmulatorService&) = delete;

  // OpenService and DeviceEnabled 1; waits for the first status update.
  // The OPOS result of the opening, or -1 when no update came.
  LONG OpenAndEnable();
  // Pumps until the Control Object holds at least count updates.
  bool WaitUpdates(size_t count, DWORD timeoutMs);

  emulator::PrinterEmulator& printer() { return *printer_; }
  // The printer is switched off: its port stops listening and the
  // connection goes. Back() switches it on again on the same port, with
  // the drawer as given.
  void SwitchOff();
  bool SwitchOn(bool drawerOpen);
  SOTvCash& so() { return *so_; }
  RecordingCO& co() { return *co_.get(); }

 private:
  win::ComApartment apartment_;
  std::unique_ptr<emulator::PrinterEmulator> printer_;
  int port_ = 0;
  DeviceKey key_;
  win::ComPtr<RecordingCO> co_;
  SOTvCash* so_ = nullptr;
};
