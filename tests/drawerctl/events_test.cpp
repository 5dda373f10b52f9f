// drawerctl.exe receiving the service object's events while it pumps: a
// drawer worked by hand during `watch`, `wait` on an open drawer, a printer
// that does not answer, the whole till cycle, and Ctrl+C during each wait.
#include <gtest/gtest.h>

#include "common/win32_raii.h"
#include "emulated_drawer.h"

namespace {

// Ctrl+C for a drawerctl started from here: the children have no console of
// their own to type it into, so they listen to a named event instead.
class Interrupter {
 public:
  Interrupter() : name_("drawerctl-interrupt-" + std::to_string(GetCurrentProcessId())) {
    event_.reset(CreateEventA(nullptr, FALSE, FALSE, name_.c_str()));
    SetEnvironmentVariableA("DRAWERCTL_INTERRUPT_EVENT", name_.c_str());
  }
  ~Interrupter() { SetEnvironmentVariableA("DRAWERCTL_INTERRUPT_EVENT", nullptr); }
  void Press() { SetEvent(event_.get()); }

 private:
  std::string name_;
  win::UniqueHandle event_;
};

constexpr char kClosedAfterInterrupt[] =
    "interrupted (Ctrl+C): the device was released and the service closed";

TEST(DrawerctlEvents, WatchPrintsEveryChangeWithItsTime) {
  EmulatedDrawer drawer("watch");
  auto watching = drawer.Start("watch", "--seconds 6");
  ASSERT_TRUE(drawer.AwaitEnabled(20000));
  Sleep(1500);
  drawer.Printer().openDrawer();
  Sleep(1500);
  drawer.Printer().closeDrawer();
  ChildResult r = watching.get();
  EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
  size_t first = r.out.find("event SOStatusUpdate(0)");
  size_t open = FindFrom(r.out, "event SOStatusUpdate(1)", first);
  size_t shut = FindFrom(r.out, "event SOStatusUpdate(0)", open);
  ASSERT_NE(shut, std::string::npos) << r.out;
  // Each event line starts with its time of arrival.
  size_t lineStart = r.out.rfind('\n', open) + 1;
  EXPECT_EQ(r.out[lineStart + 4], ':') << r.out.substr(lineStart, 20);
  EXPECT_NE(r.out.find("seen: 1 open, 2 shut"), std::string::npos) << r.out;
}

TEST(DrawerctlEvents, WaitReturnsWhenTheOpenDrawerIsShut) {
  EmulatedDrawer drawer("wait", {2, 2, 5000});
  drawer.Printer().openDrawer();  // opened by hand; it shuts by itself later
  ChildResult r = drawer.Run("wait", "--beep-timeout 0 --beep-frequency 440 --beep-duration 10");
  EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
  EXPECT_TRUE(InOrder(r.out, {"event SOStatusUpdate(1)", "waitForDrawerClose(0, 440, 10, 100)",
                              "waitForDrawerClose returned", "OPOS_SUCCESS (0)",
                              "event SOStatusUpdate(0)", "DrawerOpened (1001) = 0 (shut)"}))
      << r.out;
}

TEST(DrawerctlEvents, ASensorReadTheWrongWayRoundIsPointedOut) {
  // The shut drawer reads open, so the service waits its full 10 s for an
  // opening it cannot see.
  EmulatedDrawer drawer("polarity", {2, 2, -1, 0, false});
  ChildResult r = drawer.Run("open");
  ASSERT_TRUE(r.finished);
  size_t first = r.out.find("event SOStatusUpdate(1)");
  size_t note = FindFrom(r.out, "the drawer reads open before the kick", first);
  EXPECT_NE(FindFrom(r.out, "--sensor", note), std::string::npos) << r.out;
  EXPECT_LT(note, r.out.find("openDrawer()")) << r.out;
}

TEST(DrawerctlEvents, ASilentPrinterIsNotTakenForAnOpenDrawer) {
  // High-open wiring: an empty status block once read as an open drawer.
  EmulatedDrawer drawer("silent");
  drawer.Printer().setSilent(true);
  ChildResult r = drawer.Run("open");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 5u) << r.out << r.err;
  size_t enabled = r.out.find("enabled, printer not answering");
  EXPECT_LT(enabled, r.out.find("openDrawer()")) << r.out;
  EXPECT_EQ(r.out.find("event SOStatusUpdate"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("reads open before the kick"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("--sensor"), std::string::npos) << "no polarity hint: " << r.out;
  EXPECT_NE(FindFrom(r.out, "it is not answering", enabled), std::string::npos) << r.out;
}

TEST(DrawerctlEvents, CycleRunsTheTillsWholeConversation) {
  EmulatedDrawer drawer("cycle", {2, 2, 1500});
  ChildResult r = drawer.Run("cycle", "--beep-timeout 100 --beep-duration 10");
  EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
  size_t at = r.out.find("DeviceEnabled = 1");
  for (const char* step :
       {"openDrawer()", "event SOStatusUpdate(1)", "waitForDrawerClose returned",
        "event SOStatusUpdate(0)", "CheckHealth(1)", "CheckHealth(2)", "DeviceEnabled = 0",
        "ReleaseDevice()", "CloseService()", "events seen:"}) {
    at = FindFrom(r.out, step, at);
    EXPECT_NE(at, std::string::npos) << step << "\n" << r.out;
  }
  EXPECT_EQ(drawer.Printer().snapshot().kicks.size(), 2u) << "openDrawer and CheckHealth(2)";
}

TEST(DrawerctlEvents, CtrlCEndsWatchAfterClosingTheService) {
  EmulatedDrawer drawer("interrupt-watch");
  Interrupter ctrlC;
  auto watching = drawer.Start("watch");  // until Ctrl+C
  ASSERT_TRUE(drawer.AwaitEnabled(20000));
  Sleep(1000);
  ctrlC.Press();
  ChildResult r = watching.get();
  ASSERT_TRUE(r.finished) << r.out;
  EXPECT_EQ(r.exitCode, 130u) << r.out << r.err;
  EXPECT_TRUE(InOrder(r.out, {"watching until Ctrl+C", "seen: 0 open, 1 shut", "DeviceEnabled = 0",
                              "ReleaseDevice()", "CloseService()", kClosedAfterInterrupt}))
      << r.out;
}

TEST(DrawerctlEvents, CtrlCDuringWaitSaysWhyAndClosesOnceTheDrawerIsShut) {
  EmulatedDrawer drawer("interrupt-wait");
  drawer.Printer().openDrawer();
  Interrupter ctrlC;
  auto waiting = drawer.Start("wait", "--beep-duration 0");
  ASSERT_TRUE(drawer.AwaitEnabled(20000));
  Sleep(3000);  // into waitForDrawerClose
  ctrlC.Press();
  Sleep(1500);
  drawer.Printer().closeDrawer();
  ChildResult r = waiting.get();
  ASSERT_TRUE(r.finished) << r.out;
  EXPECT_EQ(r.exitCode, 130u) << r.out << r.err;
  EXPECT_TRUE(InOrder(r.out, {"waiting for the drawer to be shut",
                              "Ctrl+C: waitForDrawerClose cannot be cut short",
                              "waitForDrawerClose returned", "ReleaseDevice()", "CloseService()",
                              kClosedAfterInterrupt}))
      << r.out;
}

TEST(DrawerctlEvents, ASecondCtrlCEndsAtOnceAndSaysWhatWasLeftUndone) {
  EmulatedDrawer drawer("interrupt-twice");
  drawer.Printer().openDrawer();  // and it stays open
  Interrupter ctrlC;
  auto waiting = drawer.Start("wait", "--beep-duration 0");
  ASSERT_TRUE(drawer.AwaitEnabled(20000));
  Sleep(3000);
  ctrlC.Press();
  Sleep(1000);
  ctrlC.Press();
  ChildResult r = waiting.get();
  ASSERT_TRUE(r.finished) << r.out;
  EXPECT_EQ(r.exitCode, 130u) << r.out << r.err;
  EXPECT_TRUE(InOrder(r.out, {"Ctrl+C: waitForDrawerClose cannot be cut short",
                              "second Ctrl+C: ended at once, without closing the service"}))
      << r.out;
  EXPECT_EQ(r.out.find("waitForDrawerClose returned"), std::string::npos) << r.out;
}

}  // namespace
