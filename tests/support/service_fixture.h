// A service object under test, with everything around it: the scripted
// port (reset for each test), the log read back from its file, a recording
// Control Object, and a device key of its own in the registry.
//
//   class MyTest : public ServiceFixture {};
//   TEST_F(MyTest, Something) {
//     ASSERT_EQ(Open(), 0);        // OpenService with the fixture's key
//     Enable();                    // SetPropertyNumber(DeviceEnabled, 1)
//     ASSERT_TRUE(WaitStatus(1));  // pumps until the first SOStatusUpdate
//     EXPECT_TRUE(log->Has("Cash.SetDeviceEnabled:ok"));
//   }
//
// The test program's main thread is made a single-threaded apartment for the
// whole run (the Control Object's apartment); waits that must let the
// delivery thread's calls through pump it (WaitStatus, WaitReads, PumpFor).
// TearDown closes a service still open and releases the object.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "so/service_object.h"
#include "tests/support/device_key.h"
#include "tests/support/process_counts.h"
#include "tests/support/recording_co.h"
#include "tests/support/scripted_port.h"
#include "tests/support/service_log.h"

class ServiceFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // OpenService with this fixture's device (or another name), its class
  // "CashDrawer" and the recording Control Object (or the one given);
  // returns the result.
  LONG Open();
  LONG Open(const std::string& deviceName, HRESULT* status = nullptr,
            IDispatch* controlObject = nullptr);
  void Enable() { so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1); }
  // Pumps until the Control Object holds at least count status updates.
  bool WaitStatus(size_t count, DWORD timeoutMs = 10000);
  // Pumps until ReadPort has been called at least count times in all.
  bool WaitReads(int count, DWORD timeoutMs = 10000);
  // A new object on the same log, for tests that need a second one.
  static SOTvCash* NewService();

  SOTvCash* so = nullptr;
  std::unique_ptr<ServiceLog> log;
  win::ComPtr<RecordingCO> co;
  std::unique_ptr<DeviceKey> key;
};
