// A service object on the real port library, talking to the printer
// emulator on loopback, with a recording Control Object in this thread's
// apartment. For the fault runs and the end-to-end soak.
//
//   EmulatorService s;               // printer started, device key written
//   ASSERT_EQ(s.OpenAndEnable(), 0); // first status (shut) delivered
//   s.printer().openDrawer();
//   ASSERT_TRUE(s.WaitUpdates(2, 10000));
#pragma once

#include <windows.h>

#include <string>

#include "common/win32_raii.h"
#include "so/service_object.h"
#include "tests/support/device_key.h"
#include "tests/support/recording_co.h"
#include "tools/emulator/printer_emulator.h"

class EmulatorService {
 public:
  EmulatorService();
  ~EmulatorService();
  EmulatorService(const EmulatorService&) = delete;
  EmulatorService& operator=(const EmulatorService&) = delete;

  // OpenService and DeviceEnabled 1; waits for the first status update.
  // The OPOS result of the opening, or -1 when no update came.
  LONG OpenAndEnable();
  // Pumps until the Control Object holds at least count updates.
  bool WaitUpdates(size_t count, DWORD timeoutMs);

  emulator::PrinterEmulator& printer() { return printer_; }
  SOTvCash& so() { return *so_; }
  RecordingCO& co() { return *co_.get(); }

 private:
  win::ComApartment apartment_;
  emulator::PrinterEmulator printer_;
  DeviceKey key_;
  win::ComPtr<RecordingCO> co_;
  SOTvCash* so_ = nullptr;
};
