// The service object on the real port library over serial lines (socat
// pseudo-terminal pairs from tests/support/serial_bed.sh: COM66/COM67 and
// COM68/COM69) and two drawers on one printer, on the network and on a serial
// line: the events a till sees, once each and in order.
#include <gtest/gtest.h>

#include <vector>

#include "events/worker_pair.h"
#include "tests/support/emulator_service.h"

namespace {

emulator::Options Printer(const std::string& serial) {
  emulator::Options o;
  o.port = 0;
  o.serial = serial;
  o.drawerPin = 2;
  return o;
}

class SerialDrawers : public ::testing::Test {
 protected:
  void SetUp() override { gPollNapMs = 100; }
  void TearDown() override { gPollNapMs = 1000; }
};

void ExpectKickOnPin(emulator::PrinterEmulator& p, size_t index, int pin) {
  ASSERT_TRUE(p.waitFor([&](const emulator::Snapshot& s) { return s.kicks.size() > index; }, 5000));
  EXPECT_EQ(p.snapshot().kicks[index].pin, pin) << "kick " << index;
}

// openDrawer, the drawer shut by hand and XON/XOFF from a busy printer in
// between, at two line settings: the Control Object hears shut, open, shut.
TEST_F(SerialDrawers, EventsOnceEachInOrderAtBothLineSettings) {
  for (const char* settings : {"9600,N,8,1", "115200,E,7,2"}) {
    SCOPED_TRACE(settings);
    emulator::PrinterEmulator printer(Printer(std::string("COM67:") + settings));
    ASSERT_TRUE(printer.start());
    EmulatorService s(std::string("COM66:") + settings, 0);
    ASSERT_EQ(s.OpenAndEnable(), 0);
    EXPECT_EQ(printer.snapshot().autoStatusMode, 0xFF) << "status enable reached the printer";
    printer.send({0x13});  // XOFF: the printer's buffer is filling
    LONG rc = -1;
    s.so().openDrawer(&rc);
    EXPECT_EQ(rc, 0);
    ExpectKickOnPin(printer, 0, 2);
    ASSERT_TRUE(s.WaitUpdates(2, 5000));
    printer.send({0x11});
    printer.closeDrawer();
    ASSERT_TRUE(s.WaitUpdates(3, 5000));
    PumpFor(300);  // a few more polls: no event may come twice
    EXPECT_EQ(s.co().StatusUpdates(), (std::vector<LONG>{0, 1, 0}));
    s.so().CloseService(&rc);
  }
}

// Two drawers (pins 2 and 5) on one printer, side by side in one process:
// each kick goes to its own pin, and both read the printer's one sensor.
void TwoDrawersShareThePrinter(emulator::PrinterEmulator& printer, const std::string& port) {
  EmulatorService a(port, 0);
  EmulatorService b(port, 1);
  ASSERT_EQ(a.OpenAndEnable(), 0);
  ASSERT_EQ(b.OpenAndEnable(), 0);
  LONG rc = -1;
  a.so().openDrawer(&rc);  // the drawer on pin 2 carries the sensor
  EXPECT_EQ(rc, 0);
  ExpectKickOnPin(printer, 0, 2);
  b.so().CheckHealth(2, &rc);  // one kick on pin 5, without waiting for the sensor
  EXPECT_EQ(rc, 0);
  ExpectKickOnPin(printer, 1, 5);
  ASSERT_TRUE(PumpUntil([&] { return a.co().StatusCount() >= 2 && b.co().StatusCount() >= 2; },
                        5000));
  printer.closeDrawer();
  ASSERT_TRUE(PumpUntil([&] { return a.co().StatusCount() >= 3 && b.co().StatusCount() >= 3; },
                        5000));
  EXPECT_EQ(a.co().StatusUpdates(), (std::vector<LONG>{0, 1, 0}));
  EXPECT_EQ(b.co().StatusUpdates(), (std::vector<LONG>{0, 1, 0})) << "the one sensor, seen twice";
  EXPECT_EQ(printer.snapshot().connections, 1) << "one connection for both drawers";
  a.so().CloseService(&rc);
  b.so().CheckHealth(2, &rc);  // the other drawer goes on working
  EXPECT_EQ(rc, 0);
  EXPECT_STREQ(b.so().szCheckHealthText, "External HCheck: Successful");
  ExpectKickOnPin(printer, 2, 5);
}

TEST_F(SerialDrawers, TwoDrawersOnOneNetworkPrinter) {
  emulator::PrinterEmulator printer(Printer(""));
  ASSERT_TRUE(printer.start());
  TwoDrawersShareThePrinter(printer, "tcp:127.0.0.1:" + std::to_string(printer.port()));
}

TEST_F(SerialDrawers, TwoDrawersOnOneSerialPrinter) {
  emulator::PrinterEmulator printer(Printer("COM69"));
  ASSERT_TRUE(printer.start());
  TwoDrawersShareThePrinter(printer, "COM68");
}

}  // namespace
