// The drawer methods end to end: the registered Halyard.dll created through
// COM, the real port library, and the printer emulator on loopback with its
// drawer on connector pin 5.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "common/win32_raii.h"
#include "ext/opos.h"
#include "halyard.h"
#include "so/health_ids.h"
#include "tests/support/device_session.h"
#include "tests/support/emulated_device.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

bool Kicked(const emulator::Snapshot& s, size_t count) {
  return s.kicks.size() >= count;
}

class DrawerEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(device_.Started()) << device_.StartError(); }

  // The registered service created by its class id, opened, claimed and
  // enabled; the first status reaches the Control Object.
  static void OpenEnabled(DeviceSession& s) {
    ASSERT_TRUE(s) << "SOTvCash is not registered";
    ASSERT_EQ(s.Open(), opos::SUCCESS);
    LONG rc = -1;
    s.service()->ClaimDevice(0, &rc);
    s.service()->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1);
    ASSERT_TRUE(s.WaitUpdates(1));
    ASSERT_EQ(s.co().StatusUpdates().at(0), opos::CASH_SUE_DRAWERCLOSED);
  }

  static win::ComPtr<ISOTvCash> CreateByClassId() {
    win::ComPtr<ISOTvCash> so;
    EXPECT_EQ(CoCreateInstance(CLSID_SOTvCash, nullptr, CLSCTX_INPROC_SERVER, IID_ISOTvCash,
                               so.put_void()),
              S_OK);
    return so;
  }

  // Drawer on connector pin 5; any non-zero PinSingle kicks pin 5.
  EmulatedDevice device_{{"KX-R58 E2E", 5, 0, 3}};
  emulator::PrinterEmulator& printer_ = device_.printer();
};

TEST_F(DrawerEndToEnd, OpenWaitCloseAndExternalCheck) {
  RunOnSta([&] {
    DeviceSession s(CreateByClassId(), device_.Name());
    OpenEnabled(s);
    ISOTvCash* so = s.service();

    // openDrawer comes back once the poll thread has read the drawer open.
    LONG rc = -1;
    auto start = Clock::now();
    EXPECT_EQ(so->openDrawer(&rc), S_OK);
    EXPECT_LT(Clock::now() - start, seconds(8)) << "the opening was not seen";
    EXPECT_EQ(rc, opos::SUCCESS);
    EXPECT_EQ(s.Property(opos::PIDX_DrawerOpened), 1);
    EXPECT_EQ(s.Property(opos::PIDX_State), opos::S_BUSY);
    emulator::Snapshot seen = printer_.snapshot();
    ASSERT_EQ(seen.kicks.size(), 1u);
    EXPECT_EQ(seen.kicks[0].pin, 5);
    EXPECT_TRUE(seen.kicks[0].realtime);
    EXPECT_EQ(seen.kicks[0].onMs, 500);
    EXPECT_TRUE(seen.drawerOpen);

    // waitForDrawerClose comes back after the printer reports the drawer shut.
    std::atomic<bool> shutByHand{false};
    std::thread hand([&] {
      Sleep(1500);
      shutByHand = true;
      printer_.closeDrawer();
    });
    EXPECT_EQ(so->waitForDrawerClose(0, 1000, 1, 0, &rc), S_OK);
    hand.join();
    EXPECT_TRUE(shutByHand) << "returned before the drawer was shut";
    EXPECT_EQ(rc, opos::SUCCESS);
    EXPECT_EQ(s.Property(opos::PIDX_DrawerOpened), 0);
    EXPECT_EQ(s.Property(opos::PIDX_State), opos::S_IDLE);

    // The external health check kicks the drawer once more.
    EXPECT_EQ(so->CheckHealth(opos::CH_EXTERNAL, &rc), S_OK);
    EXPECT_EQ(rc, opos::SUCCESS);
    EXPECT_TRUE(printer_.waitFor([](const emulator::Snapshot& x) { return Kicked(x, 2); }, 5000));
    EXPECT_EQ(printer_.snapshot().kicks.at(1).pin, 5);
    EXPECT_EQ(s.StringProperty(opos::PIDX_CheckHealthText), "External HCheck: Successful");

    ASSERT_TRUE(s.WaitUpdates(4));
    EXPECT_EQ(s.co().StatusUpdates(), (std::vector<LONG>{0, 1, 0, 1}));
    EXPECT_EQ(s.Close(), opos::SUCCESS);
  });
}

TEST_F(DrawerEndToEnd, InteractiveCheckRunsTheModulesDialog) {
  RunOnSta([&] {
    DeviceSession s(CreateByClassId(), device_.Name());
    OpenEnabled(s);
    ISOTvCash* so = s.service();

    std::string shown;
    std::thread operatorThread([&] {
      HWND dlg = nullptr;
      for (int i = 0; i < 1000 && !(dlg && IsWindowVisible(dlg)); ++i) {
        Sleep(10);
        dlg = FindWindowA(MAKEINTRESOURCEA(32770), "Dialog");
      }
      if (dlg == nullptr) return;
      SendMessageA(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);
      char text[64] = {};
      GetWindowTextA(GetDlgItem(dlg, IDC_RESULT), text, sizeof(text));
      shown = text;
      PostMessageA(dlg, WM_CLOSE, 0, 0);
    });
    LONG rc = -1;
    EXPECT_EQ(so->CheckHealth(opos::CH_INTERACTIVE, &rc), S_OK);
    operatorThread.join();
    EXPECT_EQ(rc, opos::SUCCESS);
    EXPECT_EQ(shown, "OPOS_SUCCESS");
    EXPECT_TRUE(printer_.waitFor([](const emulator::Snapshot& x) { return Kicked(x, 1); }, 5000));
    EXPECT_EQ(s.StringProperty(opos::PIDX_CheckHealthText), "Interactive HCheck: Successful");
    s.Close();
  });
}

}  // namespace
