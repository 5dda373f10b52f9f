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
#include "tests/support/device_key.h"
#include "tests/support/recording_co.h"
#include "tools/emulator/printer_emulator.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

bool Kicked(const emulator::Snapshot& s, size_t count) {
  return s.kicks.size() >= count;
}

class DrawerEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    emulator::Options o;
    o.port = 0;
    o.drawerPin = 5;
    printer_ = std::make_unique<emulator::PrinterEmulator>(o);
    std::string error;
    ASSERT_TRUE(printer_->start(&error)) << error;
    key_ = std::make_unique<DeviceKey>(UniqueDeviceName("KX-R58 E2E"));
    key_->SetString("Port", "tcp:127.0.0.1:" + std::to_string(printer_->port()));
    key_->SetDword("OpenSingle", 0).SetDword("PinSingle", 3);  // any non-zero: pin 5
  }
  void TearDown() override {
    printer_->stop();
    key_.reset();
  }

  // Opens, claims and enables the service; the first status reaches the Control Object.
  void OpenEnabled(ISOTvCash* so, RecordingCO* co) {
    std::wstring name(key_->Name().begin(), key_->Name().end());
    win::UniqueBstr cls = win::MakeBstr(L"CashDrawer"), dev = win::MakeBstr(name.c_str());
    LONG rc = -1;
    ASSERT_EQ(so->OpenService(cls.get(), dev.get(), co, &rc), S_OK);
    ASSERT_EQ(rc, opos::SUCCESS);
    so->ClaimDevice(0, &rc);
    so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1);
    ASSERT_TRUE(PumpUntil([&] { return co->StatusCount() >= 1; }, 10000));
    ASSERT_EQ(co->StatusUpdates().at(0), opos::CASH_SUE_DRAWERCLOSED);
  }

  static LONG Property(ISOTvCash* so, LONG index) {
    LONG value = -1;
    so->GetPropertyNumber(index, &value);
    return value;
  }

  static std::string HealthText(ISOTvCash* so) {
    win::UniqueBstr text;
    so->GetPropertyString(opos::PIDX_CheckHealthText, text.put());
    std::wstring w = text.get() ? text.get() : L"";
    return std::string(w.begin(), w.end());
  }

  std::unique_ptr<emulator::PrinterEmulator> printer_;
  std::unique_ptr<DeviceKey> key_;
};

TEST_F(DrawerEndToEnd, OpenWaitCloseAndExternalCheck) {
  RunOnSta([&] {
    win::ComPtr<ISOTvCash> so;
    ASSERT_EQ(CoCreateInstance(CLSID_SOTvCash, nullptr, CLSCTX_INPROC_SERVER, IID_ISOTvCash,
                               so.put_void()),
              S_OK);
    auto co = win::ComPtr<RecordingCO>::adopt(new RecordingCO);
    OpenEnabled(so.get(), co.get());

    // openDrawer comes back once the poll thread has read the drawer open.
    LONG rc = -1;
    auto start = Clock::now();
    EXPECT_EQ(so->openDrawer(&rc), S_OK);
    EXPECT_LT(Clock::now() - start, seconds(8)) << "the opening was not seen";
    EXPECT_EQ(rc, opos::SUCCESS);
    EXPECT_EQ(Property(so.get(), opos::PIDX_DrawerOpened), 1);
    EXPECT_EQ(Property(so.get(), opos::PIDX_State), opos::S_BUSY);
    emulator::Snapshot s = printer_->snapshot();
    ASSERT_EQ(s.kicks.size(), 1u);
    EXPECT_EQ(s.kicks[0].pin, 5);
    EXPECT_TRUE(s.kicks[0].realtime);
    EXPECT_EQ(s.kicks[0].onMs, 500);
    EXPECT_TRUE(s.drawerOpen);

    // waitForDrawerClose comes back after the printer reports the drawer shut.
    std::atomic<bool> shutByHand{false};
    std::thread hand([&] {
      Sleep(1500);
      shutByHand = true;
      printer_->closeDrawer();
    });
    EXPECT_EQ(so->waitForDrawerClose(0, 1000, 1, 0, &rc), S_OK);
    hand.join();
    EXPECT_TRUE(shutByHand) << "returned before the drawer was shut";
    EXPECT_EQ(rc, opos::SUCCESS);
    EXPECT_EQ(Property(so.get(), opos::PIDX_DrawerOpened), 0);
    EXPECT_EQ(Property(so.get(), opos::PIDX_State), opos::S_IDLE);

    // The external health check kicks the drawer once more.
    EXPECT_EQ(so->CheckHealth(opos::CH_EXTERNAL, &rc), S_OK);
    EXPECT_EQ(rc, opos::SUCCESS);
    EXPECT_TRUE(printer_->waitFor([](const emulator::Snapshot& x) { return Kicked(x, 2); }, 5000));
    EXPECT_EQ(printer_->snapshot().kicks.at(1).pin, 5);
    EXPECT_EQ(HealthText(so.get()), "External HCheck: Successful");

    ASSERT_TRUE(PumpUntil([&] { return co->StatusCount() >= 4; }, 10000));
    EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0, 1, 0, 1}));
    so->CloseService(&rc);
    EXPECT_EQ(rc, opos::SUCCESS);
  });
}

TEST_F(DrawerEndToEnd, InteractiveCheckRunsTheModulesDialog) {
  RunOnSta([&] {
    win::ComPtr<ISOTvCash> so;
    ASSERT_EQ(CoCreateInstance(CLSID_SOTvCash, nullptr, CLSCTX_INPROC_SERVER, IID_ISOTvCash,
                               so.put_void()),
              S_OK);
    auto co = win::ComPtr<RecordingCO>::adopt(new RecordingCO);
    OpenEnabled(so.get(), co.get());

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
    EXPECT_TRUE(printer_->waitFor([](const emulator::Snapshot& x) { return Kicked(x, 1); }, 5000));
    EXPECT_EQ(HealthText(so.get()), "Interactive HCheck: Successful");
    so->CloseService(&rc);
  });
}

}  // namespace
