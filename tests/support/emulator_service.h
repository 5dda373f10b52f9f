// The service object in this process on the real port library, talking to
// the printer emulator on loopback, with a recording Control Object in this
// thread's apartment. For the fault runs and the end-to-end soak, which set
// the product's poll period and read its members directly.
//
//   EmulatorService s;               // printer started, device key written
//   ASSERT_EQ(s.OpenAndEnable(), 0); // first status (shut) delivered
//   s.printer().openDrawer();
//   ASSERT_TRUE(s.WaitUpdates(2, 10000));
#pragma once

#include <windows.h>

#include <string>

#include "common/no_copy.h"
#include "common/win32_raii.h"
#include "so/service_object.h"
#include "tests/support/device_session.h"
#include "tests/support/emulated_device.h"

class EmulatorService : win::NoCopy {
 public:
  EmulatorService();
  // A service whose device names port (a Port value) and kicks pin 2
  // (pinSingle 0) or pin 5 (1), on a printer the test runs itself; the
  // loopback emulator is then left unused.
  EmulatorService(const std::string& port, DWORD pinSingle);

  LONG OpenAndEnable() { return session_.OpenAndEnable(); }
  // OpenService alone: for a drawer without a sensor, whose enabling
  // brings no first status to wait for.
  LONG Open() { return session_.Open(); }
  DeviceKey& key() { return device_.key(); }
  bool WaitUpdates(size_t count, DWORD timeoutMs) { return session_.WaitUpdates(count, timeoutMs); }

  emulator::PrinterEmulator& printer() { return device_.printer(); }
  void SwitchOff() { device_.SwitchOff(); }
  bool SwitchOn(bool drawerOpen) { return device_.SwitchOn(drawerOpen); }
  SOTvCash& so() { return *so_; }
  RecordingCO& co() { return session_.co(); }

 private:
  win::ComApartment apartment_;
  EmulatedDevice device_;
  SOTvCash* so_;  // owned by session_
  DeviceSession session_;
};
