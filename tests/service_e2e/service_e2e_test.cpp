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
#include "tests/support/device_key.h"
#include "tests/support/recording_co.h"
#include "tools/emulator/printer_emulator.h"

namespace {

class ServiceEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    emulator::Options o;
    o.port = 0;  // a free port, so programs run side by side
    printer_ = std::make_unique<emulator::PrinterEmulator>(o);
    std::string error;
    ASSERT_TRUE(printer_->start(&error)) << error;
    key_ = std::make_unique<DeviceKey>(UniqueDeviceName("KX-R58 Service"));
    key_->SetString("Port", "tcp:127.0.0.1:" + std::to_string(printer_->port()));
    // The emulator's sensor is high while shut: the "Normal" polarity.
    key_->SetDword("OpenSingle", 0).SetDword("PinSingle", 0);
  }
  void TearDown() override {
    printer_->stop();
    key_.reset();
  }

  static win::ComPtr<ISOTvCash> CreateByProgId() {
    CLSID clsid{};
    win::ComPtr<ISOTvCash> so;
    if (CLSIDFromProgID(L"SOTarvoCash.SOTvCash", &clsid) != S_OK) return so;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ISOTvCash, so.put_void());
    return so;
  }

  static LONG Property(ISOTvCash* so, LONG index) {
    LONG value = -1;
    so->GetPropertyNumber(index, &value);
    return value;
  }

  static bool WaitUpdates(RecordingCO* co, size_t count, DWORD ms = 10000) {
    return PumpUntil([&] { return co->StatusCount() >= count; }, ms);
  }

  std::unique_ptr<emulator::PrinterEmulator> printer_;
  std::unique_ptr<DeviceKey> key_;
};

TEST_F(ServiceEndToEnd, EveryDrawerChangeArrivesOnceAndInOrder) {
  RunOnSta([&] {
    win::ComPtr<ISOTvCash> so = CreateByProgId();
    ASSERT_TRUE(so) << "SOTarvoCash.SOTvCash is not registered";
    auto co = win::ComPtr<RecordingCO>::adopt(new RecordingCO);
    std::wstring name(key_->Name().begin(), key_->Name().end());
    win::UniqueBstr cls = win::MakeBstr(L"CashDrawer"), dev = win::MakeBstr(name.c_str());
    LONG rc = -1;
    ASSERT_EQ(so->OpenService(cls.get(), dev.get(), co.get(), &rc), S_OK);
    ASSERT_EQ(rc, opos::SUCCESS);
    ASSERT_EQ(so->ClaimDevice(1000, &rc), S_OK);
    ASSERT_EQ(so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1), S_OK);
    ASSERT_EQ(Property(so.get(), opos::PIDX_DeviceEnabled), 1);
    ASSERT_TRUE(WaitUpdates(co.get(), 1));
    EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0})) << "the drawer's present state";
    EXPECT_EQ(printer_->snapshot().autoStatusMode, 0xff);

    // Opened and shut at the printer: 1, then 0, once each.
    printer_->openDrawer();
    ASSERT_TRUE(WaitUpdates(co.get(), 2));
    EXPECT_EQ(Property(so.get(), opos::PIDX_DrawerOpened), 1);
    EXPECT_EQ(Property(so.get(), opos::PIDX_State), opos::S_BUSY);
    printer_->closeDrawer();
    ASSERT_TRUE(WaitUpdates(co.get(), 3));
    PumpFor(2500);
    EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0, 1, 0}));
    EXPECT_EQ(Property(so.get(), opos::PIDX_DrawerOpened), 0);
    for (const auto& call : co->Calls()) {
      EXPECT_EQ(call.dispid, RecordingCO::kSOStatusUpdate) << "SODirectIO is never called";
      EXPECT_EQ(call.threadId, GetCurrentThreadId());
    }

    // The printer drops the connection and comes back: events resume.
    const int connections = printer_->snapshot().connections;
    printer_->dropConnection();
    ASSERT_TRUE(printer_->waitFor(
        [&](const emulator::Snapshot& s) {
          return s.connections > connections && s.clientConnected;
        },
        15000))
        << "the port was not connected again";
    PumpFor(1500);
    printer_->openDrawer();
    ASSERT_TRUE(WaitUpdates(co.get(), 4, 15000));
    printer_->closeDrawer();
    ASSERT_TRUE(WaitUpdates(co.get(), 5));
    EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0, 1, 0, 1, 0}));

    // Frozen: nothing is read or delivered; a change made meanwhile and
    // still standing at the thaw is reported once.
    so->SetPropertyNumber(opos::PIDX_FreezeEvents, 1);
    PumpFor(500);
    printer_->openDrawer();
    PumpFor(2500);
    EXPECT_EQ(co->StatusCount(), 5u);
    so->SetPropertyNumber(opos::PIDX_FreezeEvents, 0);
    ASSERT_TRUE(WaitUpdates(co.get(), 6));
    printer_->closeDrawer();
    ASSERT_TRUE(WaitUpdates(co.get(), 7));

    // Release stops the events; disable, claim and enable bring them back.
    ASSERT_EQ(so->ReleaseDevice(&rc), S_OK);
    ASSERT_EQ(rc, opos::SUCCESS);
    PumpFor(2000);
    printer_->openDrawer();
    PumpFor(2500);
    EXPECT_EQ(co->StatusCount(), 7u) << "released: no events";
    so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 0);
    so->ClaimDevice(1000, &rc);
    so->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1);
    EXPECT_EQ(Property(so.get(), opos::PIDX_DeviceEnabled), 1);
    ASSERT_TRUE(WaitUpdates(co.get(), 8));
    EXPECT_EQ(Property(so.get(), opos::PIDX_DrawerOpened), 1);
    printer_->closeDrawer();
    ASSERT_TRUE(WaitUpdates(co.get(), 9));
    EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0, 1, 0, 1, 0, 1, 0, 1, 0}));

    const DWORD start = GetTickCount();
    ASSERT_EQ(so->CloseService(&rc), S_OK);
    const DWORD took = GetTickCount() - start;
    EXPECT_EQ(rc, opos::SUCCESS);
    EXPECT_LT(took, 6000u) << "about two seconds";
    EXPECT_TRUE(printer_->waitFor([](const emulator::Snapshot& s) { return !s.clientConnected; },
                                  5000))
        << "the port is closed";
  });
}

}  // namespace
