// The service object on the real port library with a USB printer (the
// emulator on a named pipe standing in, Port "USB:\\.\pipe\NAME") and with a
// Windows printer queue whose port relays RAW jobs to the emulator: events,
// kicks and recovery after the pipe's server restarts, as a till sees them
// on a network printer; the queue's drawer has no sensor, and neither has a
// USB drawer configured without one.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "events/worker_pair.h"
#include "tests/support/emulator_service.h"
#include "tests/support/relay_queue.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string PipeName() {
  return "HalyardServiceUsb-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(GetTickCount());
}

std::unique_ptr<emulator::PrinterEmulator> PipePrinter(const std::string& name, bool open = false) {
  emulator::Options o;
  o.pipe = name;
  auto p = std::make_unique<emulator::PrinterEmulator>(o);
  if (open) p->openDrawer();
  if (!p->start()) return nullptr;
  return p;
}

class UsbQueueDrawers : public ::testing::Test {
 protected:
  void SetUp() override { gPollNapMs = 100; }
  void TearDown() override { gPollNapMs = 1000; }
};

LONG Number(SOTvCash& so, LONG index) {
  LONG v = -1;
  so.GetPropertyNumber(index, &v);
  return v;
}

TEST_F(UsbQueueDrawers, AUsbPrinterGivesEventsKicksAndComesBackAfterItsServerRestarts) {
  const std::string name = PipeName();
  auto printer = PipePrinter(name);
  ASSERT_TRUE(printer);
  EmulatorService s("USB:\\\\.\\pipe\\" + name, 0);
  ASSERT_EQ(s.OpenAndEnable(), 0);
  EXPECT_EQ(Number(s.so(), opos::PIDX_CapStatus), 1);
  EXPECT_EQ(printer->snapshot().autoStatusMode, 0xFF) << "status enable reached the printer";
  LONG rc = -1;
  s.so().openDrawer(&rc);
  EXPECT_EQ(rc, 0);
  ASSERT_TRUE(printer->waitFor([](const emulator::Snapshot& p) { return p.kicks.size() == 1; },
                               5000));
  ASSERT_TRUE(s.WaitUpdates(2, 5000));
  printer->closeDrawer();
  ASSERT_TRUE(s.WaitUpdates(3, 5000));

  // The pipe's server goes away and starts again with the drawer open.
  printer.reset();
  PumpFor(1500);
  EXPECT_EQ(s.co().StatusUpdates(), (std::vector<LONG>{0, 1, 0})) << "a lost link is no event";
  printer = PipePrinter(name, true);
  ASSERT_TRUE(printer);
  ASSERT_TRUE(s.WaitUpdates(4, 10000)) << "the port was not found again";
  EXPECT_EQ(s.co().StatusUpdates(), (std::vector<LONG>{0, 1, 0, 1}));
  printer->closeDrawer();
  ASSERT_TRUE(s.WaitUpdates(5, 5000));
  s.so().CloseService(&rc);
}

// Configured without a sensor: the kick goes out and openDrawer returns
// after its pulse, with nothing reported either way.
TEST_F(UsbQueueDrawers, AUsbDrawerWithoutASensorIsKickedAndNotWaitedFor) {
  const std::string name = PipeName();
  auto printer = PipePrinter(name);
  ASSERT_TRUE(printer);
  EmulatorService s("USB:\\\\.\\pipe\\" + name, 0);
  s.key().SetDword("DrawerSensor", 0);
  ASSERT_EQ(s.Open(), 0);
  s.so().SetPropertyNumber(opos::PIDX_DeviceEnabled, 1);
  ASSERT_EQ(Number(s.so(), opos::PIDX_DeviceEnabled), 1);
  EXPECT_EQ(Number(s.so(), opos::PIDX_CapStatus), 0);
  LONG rc = -1;
  const auto start = Clock::now();
  s.so().openDrawer(&rc);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(rc, 0);
  ASSERT_TRUE(printer->waitFor([](const emulator::Snapshot& p) { return p.kicks.size() == 1; },
                               5000));
  s.so().waitForDrawerClose(0, 880, 100, 100, &rc);
  EXPECT_EQ(rc, 0);
  PumpFor(500);
  EXPECT_TRUE(s.co().StatusUpdates().empty()) << "the printer's drawer bit is no sensor here";
  s.so().CloseService(&rc);
}

TEST_F(UsbQueueDrawers, AKickThroughAPrinterQueueReachesThePrinter) {
  EmulatorService s;  // the emulator on loopback, behind the queue
  RelayQueue queue(s.printer().port());
  ASSERT_TRUE(queue.Made()) << queue.Error();
  s.key().SetString("Port", "PRINTER:" + queue.Name());
  ASSERT_EQ(s.Open(), 0);
  s.so().SetPropertyNumber(opos::PIDX_DeviceEnabled, 1);
  ASSERT_EQ(Number(s.so(), opos::PIDX_DeviceEnabled), 1);
  EXPECT_EQ(Number(s.so(), opos::PIDX_CapStatus), 0) << "a queue gives nothing back";
  LONG rc = -1;
  s.so().openDrawer(&rc);
  EXPECT_EQ(rc, 0);
  ASSERT_TRUE(s.printer().waitFor(
      [](const emulator::Snapshot& p) { return p.kicks.size() == 1; }, 5000));
  EXPECT_EQ(s.printer().snapshot().autoStatusMode, 0) << "no status request went as a job";
  s.so().CheckHealth(opos::CH_EXTERNAL, &rc);
  EXPECT_EQ(rc, 0);
  ASSERT_TRUE(s.printer().waitFor(
      [](const emulator::Snapshot& p) { return p.kicks.size() == 2; }, 5000));
  EXPECT_TRUE(s.co().StatusUpdates().empty());
  s.so().CloseService(&rc);
}

}  // namespace
