// drawerctl.exe against the real registered service object and the printer
// emulator on loopback: what an operator sees for a drawer that opens, one
// that does not, a printer that is not there, the property and health
// read-outs, and a drawer that another process has claimed.
#include <gtest/gtest.h>

#include <future>

#include "emulated_drawer.h"
#include "ext/opos.h"
#include "tests/support/device_session.h"

namespace {

TEST(DrawerctlDevice, OpenKicksTheConfiguredPinAndReportsTheOpening) {
  EmulatedDrawer drawer("open", {5, 5});
  ChildResult r = drawer.Run("open");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
  EXPECT_TRUE(InOrder(r.out, {"OpenService(\"CashDrawer\", \"" + drawer.Name() + "\")",
                              "OPOS_SUCCESS (0)", "openDrawer()", "event SOStatusUpdate(1)",
                              "DrawerOpened (1001) = 1 (open)", "result: the drawer opened",
                              "CloseService()"}))
      << r.out;
  emulator::Snapshot s = drawer.Printer().snapshot();
  ASSERT_EQ(s.kicks.size(), 1u);
  EXPECT_EQ(s.kicks[0].pin, 5);
}

TEST(DrawerctlDevice, AKickOnTheWrongPinIsReportedAsNotOpened) {
  // The service waits its full 10 s for the opening that never comes.
  EmulatedDrawer drawer("wrongpin", {5, 2});
  ChildResult r = drawer.Run("open");
  EXPECT_EQ(r.exitCode, 5u) << r.out << r.err;
  EXPECT_NE(r.out.find("result: the drawer was NOT seen open"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("--pin"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("event SOStatusUpdate(1)"), std::string::npos) << r.out;
}

TEST(DrawerctlDevice, APrinterThatIsNotThereFailsTheOpenWithAHint) {
  EmulatedDrawer drawer("absent", {2, 2, -1, -1});
  ChildResult r = drawer.Run("open");
  EXPECT_EQ(r.exitCode, 1u) << r.out << r.err;
  size_t at = r.out.find("OPOS_E_FAILURE (111)");
  ASSERT_NE(at, std::string::npos) << r.out;
  EXPECT_NE(FindFrom(r.out, "check: the port did not open", at), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("openDrawer()"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("CloseService()"), std::string::npos) << "nothing was open to close";
}

TEST(DrawerctlDevice, StatusShowsThePropertiesByName) {
  EmulatedDrawer drawer("status");
  ChildResult r = drawer.Run("status");
  EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
  for (const char* line :
       {"Claimed (1)", "DeviceEnabled (3)", "State (9)", "ServiceObjectVersion (8)",
        "PowerState (14)", "DrawerOpened (1001)", "CapStatus (1501)", "CheckHealthText (1000001)"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  EXPECT_NE(r.out.find("1007000"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2 OPOS_S_IDLE"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("0 (shut)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2000 OPOS_PS_UNKNOWN"), std::string::npos) << r.out;
}

TEST(DrawerctlDevice, HealthChecksReportTheirTextAndTheExternalOneKicks) {
  EmulatedDrawer drawer("health", {2, 2, 500});
  ChildResult internal = drawer.Run("health", "--level 1");
  EXPECT_EQ(internal.exitCode, 0u) << internal.out << internal.err;
  EXPECT_NE(internal.out.find("CheckHealth(1)"), std::string::npos) << internal.out;
  EXPECT_TRUE(drawer.Printer().snapshot().kicks.empty());

  ChildResult external = drawer.Run("health", "--level 2");
  EXPECT_EQ(external.exitCode, 0u) << external.out << external.err;
  size_t text = external.out.find("CheckHealthText = \"");
  ASSERT_NE(text, std::string::npos) << external.out;
  EXPECT_NE(external.out.compare(text, 20, "CheckHealthText = \"\""), 0) << "no health text";
  EXPECT_EQ(drawer.Printer().snapshot().kicks.size(), 1u);
}

// A claim holds across processes: drawerctl cannot take a drawer that a
// till holds and says why; the till's drawer methods are refused while
// drawerctl holds it, its claim waits, and it gets the drawer once drawerctl
// lets go, or ends without letting go.
TEST(DrawerctlDevice, AClaimHeldInAnotherProcessIsNamedAndEndsWithIt) {
  EmulatedDrawer drawer("claimed");
  RunOnSta([&] {
    {
      DeviceSession till(CreateRegisteredService(), drawer.Name());
      ASSERT_TRUE(till) << "SOTarvoCash.SOTvCash is not registered";
      ASSERT_EQ(till.Open(), opos::SUCCESS);
      LONG rc = -1;
      till.service()->ClaimDevice(0, &rc);
      ASSERT_EQ(rc, opos::SUCCESS);
      ChildResult r = drawer.Run("open");
      EXPECT_EQ(r.exitCode, 1u) << r.out << r.err;
      EXPECT_TRUE(InOrder(r.out, {"ClaimDevice(1000)", "OPOS_E_TIMEOUT (112)",
                                  "check: claimed by another application"}))
          << r.out;
      EXPECT_EQ(r.out.find("openDrawer()"), std::string::npos) << r.out;
      EXPECT_TRUE(drawer.Printer().snapshot().kicks.empty());
    }  // the till closes

    auto watching = drawer.Start("watch", "--seconds 4");
    ASSERT_TRUE(drawer.AwaitEnabled(20000));  // drawerctl claims before it enables
    DeviceSession till(CreateRegisteredService(), drawer.Name());
    ASSERT_EQ(till.Open(), opos::SUCCESS);
    ISOTvCash* so = till.service();
    so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1);
    LONG rc = -1;
    so->openDrawer(&rc);
    EXPECT_EQ(rc, opos::E_CLAIMED);
    EXPECT_EQ(till.Property(opos::PIDX_ResultCode), opos::E_CLAIMED);
    so->waitForDrawerClose(0, 0, 0, 100, &rc);
    EXPECT_EQ(rc, opos::E_CLAIMED);
    DWORD start = GetTickCount();
    so->ClaimDevice(500, &rc);
    const DWORD timedOutMs = GetTickCount() - start;
    EXPECT_EQ(rc, opos::E_TIMEOUT);
    EXPECT_EQ(till.Property(opos::PIDX_ResultCode), opos::E_TIMEOUT);
    EXPECT_GE(timedOutMs, 450u);
    start = GetTickCount();
    so->ClaimDevice(30000, &rc);
    const DWORD releasedMs = GetTickCount() - start;
    EXPECT_EQ(rc, opos::SUCCESS) << "drawerctl released it";
    ChildResult r = watching.get();
    EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
    so->openDrawer(&rc);
    EXPECT_EQ(rc, opos::SUCCESS);
    EXPECT_EQ(drawer.Printer().snapshot().kicks.size(), 1u);
    so->ReleaseDevice(&rc);
    std::printf("ClaimDevice(500) against another process: 112 after %lu ms; "
                "ClaimDevice(30000): 0 after %lu ms, as drawerctl released\n",
                static_cast<unsigned long>(timedOutMs), static_cast<unsigned long>(releasedMs));

    // A holder that is killed: its end gives the claim up.
    const int connections = drawer.Printer().snapshot().connections;
    auto killed = std::async(std::launch::async, [&] {
      return RunChild("drawerctl.exe watch " + drawer.Name(), 8000);
    });
    ASSERT_TRUE(drawer.Printer().waitFor(
        [&](const emulator::Snapshot& seen) { return seen.connections > connections; }, 20000));
    PumpFor(2500);  // past its claim, into its watch
    so->openDrawer(&rc);
    EXPECT_EQ(rc, opos::E_CLAIMED) << "drawerctl holds it";
    so->ClaimDevice(30000, &rc);
    EXPECT_EQ(rc, opos::SUCCESS) << "the killed holder's claim was given up";
    r = killed.get();
    EXPECT_FALSE(r.finished) << "killed after its time limit: " << r.out;
  });
}

}  // namespace
