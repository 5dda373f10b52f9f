// The service end to end: the registered Halyard.dll created by its ProgID,
// the real port library, and the printer emulator on loopback. Every drawer
// change reaches the Control Object as one SOStatusUpdate, in order, through
// a dropped connection, a freeze and a release.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/win32_raii.h"
#include "ext/opos.h"
#include "halyard.h"
#include "tests/support/device_session.h"
#include "tests/support/emulated_device.h"

namespace {

class ServiceEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(device_.Started()) << device_.StartError(); }

  // The emulator's sensor is high while shut: the "Normal" polarity.
  EmulatedDevice device_{{"KX-R58 Service"}};
  emulator::PrinterEmulator& printer_ = device_.printer();
};

TEST_F(ServiceEndToEnd, EveryDrawerChangeArrivesOnceAndInOrder) {
  RunOnSta([&] {
    DeviceSession s(CreateRegisteredService(), device_.Name());
    ASSERT_TRUE(s) << "SOTarvoCash.SOTvCash is not registered";
    ISOTvCash* so = s.service();
    ASSERT_EQ(s.Open(), opos::SUCCESS);
    LONG rc = -1;
    ASSERT_EQ(so->ClaimDevice(1000, &rc), S_OK);
    ASSERT_EQ(so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1), S_OK);
    ASSERT_EQ(s.Property(opos::PIDX_DeviceEnabled), 1);
    ASSERT_TRUE(s.WaitUpdates(1));
    EXPECT_EQ(s.co().StatusUpdates(), (std::vector<LONG>{0})) << "the drawer's present state";
    EXPECT_EQ(printer_.snapshot().autoStatusMode, 0xff);

    // Opened and shut at the printer: 1, then 0, once each.
    printer_.openDrawer();
    ASSERT_TRUE(s.WaitUpdates(2));
    EXPECT_EQ(s.Property(opos::PIDX_DrawerOpened), 1);
    EXPECT_EQ(s.Property(opos::PIDX_State), opos::S_BUSY);
    printer_.closeDrawer();
    ASSERT_TRUE(s.WaitUpdates(3));
    PumpFor(2500);
    EXPECT_EQ(s.co().StatusUpdates(), (std::vector<LONG>{0, 1, 0}));
    EXPECT_EQ(s.Property(opos::PIDX_DrawerOpened), 0);
    for (const auto& call : s.co().Calls()) {
      EXPECT_EQ(call.dispid, RecordingCO::kSOStatusUpdate) << "SODirectIO is never called";
      EXPECT_EQ(call.threadId, GetCurrentThreadId());
    }

    // The printer drops the connection and comes back: events resume.
    const int connections = printer_.snapshot().connections;
    printer_.dropConnection();
    ASSERT_TRUE(printer_.waitFor(
        [&](const emulator::Snapshot& seen) {
          return seen.connections > connections && seen.clientConnected;
        },
        15000))
        << "the port was not connected again";
    PumpFor(1500);
    printer_.openDrawer();
    ASSERT_TRUE(s.WaitUpdates(4, 15000));
    printer_.closeDrawer();
    ASSERT_TRUE(s.WaitUpdates(5));
    EXPECT_EQ(s.co().StatusUpdates(), (std::vector<LONG>{0, 1, 0, 1, 0}));

    // Frozen: nothing is read or delivered; a change made meanwhile and
    // still standing at the thaw is reported once.
    so->SetPropertyNumber(opos::PIDX_FreezeEvents, 1);
    PumpFor(500);
    printer_.openDrawer();
    PumpFor(2500);
    EXPECT_EQ(s.co().StatusCount(), 5u);
    so->SetPropertyNumber(opos::PIDX_FreezeEvents, 0);
    ASSERT_TRUE(s.WaitUpdates(6));
    printer_.closeDrawer();
    ASSERT_TRUE(s.WaitUpdates(7));

    // Release stops the events; disable, claim and enable bring them back.
    ASSERT_EQ(so->ReleaseDevice(&rc), S_OK);
    ASSERT_EQ(rc, opos::SUCCESS);
    PumpFor(2000);
    printer_.openDrawer();
    PumpFor(2500);
    EXPECT_EQ(s.co().StatusCount(), 7u) << "released: no events";
    so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 0);
    so->ClaimDevice(1000, &rc);
    so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1);
    EXPECT_EQ(s.Property(opos::PIDX_DeviceEnabled), 1);
    ASSERT_TRUE(s.WaitUpdates(8));
    EXPECT_EQ(s.Property(opos::PIDX_DrawerOpened), 1);
    printer_.closeDrawer();
    ASSERT_TRUE(s.WaitUpdates(9));
    EXPECT_EQ(s.co().StatusUpdates(), (std::vector<LONG>{0, 1, 0, 1, 0, 1, 0, 1, 0}));

    const DWORD start = GetTickCount();
    EXPECT_EQ(s.Close(), opos::SUCCESS);
    const DWORD took = GetTickCount() - start;
    EXPECT_LT(took, 6000u) << "about two seconds";
    EXPECT_TRUE(printer_.waitFor([](const emulator::Snapshot& seen) { return !seen.clientConnected; },
                                  5000))
        << "the port is closed";
  });
}

}  // namespace
