// The service object on the real port library over serial lines (socat
// pseudo-terminal pairs from tests/support/serial_bed.sh: COM66/COM67 and
// COM68/COM69) and two drawers on one printer, on the network and on a serial
// line, in one process and in two: the events a till sees, once each and in
// order.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <string>
#include <vector>

#include "common/win32_raii.h"
#include "events/worker_pair.h"
#include "tests/support/child_process.h"
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

// The second till: faults_till_child in a process of its own, on pin 5 of
// the printer at port (see till_child.cpp for what it does and prints).
class TillProcess {
 public:
  explicit TillProcess(const std::string& port)
      : eventName_("halyard-till-ready-" + std::to_string(::GetCurrentProcessId())),
        ready_(::CreateEventA(nullptr, TRUE, FALSE, eventName_.c_str())) {
    const std::string line = "faults_till_child.exe " + port + " 5 " + eventName_;
    run_ = std::async(std::launch::async, [line] { return RunChild(line, 90000); });
  }
  // Pumps this thread's apartment until the child's drawer is enabled, or
  // until the child has ended.
  bool WaitReady() {
    return PumpUntil([&] { return ::WaitForSingleObject(ready_.get(), 0) == WAIT_OBJECT_0; },
                     60000);
  }
  // What it printed, with its line ends as "\n".
  ChildResult Result() {
    ChildResult r = run_.get();
    r.out.erase(std::remove(r.out.begin(), r.out.end(), '\r'), r.out.end());
    return r;
  }

 private:
  std::string eventName_;
  win::UniqueHandle ready_;
  std::future<ChildResult> run_;
};

emulator::Options NetworkPrinter(int clients, bool refuseBusy) {
  emulator::Options o = Printer("");
  o.maxClients = clients;
  o.refuseBusy = refuseBusy;
  return o;
}

// Two tills in two processes, on a network printer that takes several
// connections: this process kicks pin 2 (where the sensed drawer hangs), the
// child kicks pin 5 once it has seen the drawer open; the drawer is shut by
// hand; each till hears shut, open, shut once each.
TEST_F(SerialDrawers, TwoDrawersInTwoProcessesOnOneNetworkPrinter) {
  emulator::PrinterEmulator printer(NetworkPrinter(4, false));
  ASSERT_TRUE(printer.start());
  const std::string port = "tcp:127.0.0.1:" + std::to_string(printer.port());
  EmulatorService a(port, 0);
  ASSERT_EQ(a.OpenAndEnable(), 0);
  TillProcess b(port);
  ASSERT_TRUE(b.WaitReady()) << b.Result().out;
  LONG rc = -1;
  a.so().openDrawer(&rc);
  EXPECT_EQ(rc, 0);
  ASSERT_TRUE(printer.waitFor([](const emulator::Snapshot& s) { return s.kicks.size() >= 2; }, 30000))
      << "the child's kick on pin 5 did not come";
  printer.closeDrawer();
  ChildResult child = b.Result();
  EXPECT_TRUE(child.finished);
  EXPECT_EQ(child.exitCode, 0u) << child.out << child.err;
  EXPECT_NE(child.out.find("openDrawer 0\n"), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("updates 0 1 0\n"), std::string::npos) << child.out;
  ASSERT_TRUE(a.WaitUpdates(3, 5000));
  PumpFor(300);
  EXPECT_EQ(a.co().StatusUpdates(), (std::vector<LONG>{0, 1, 0}));

  emulator::Snapshot s = printer.snapshot();
  ASSERT_EQ(s.kicks.size(), 2u);
  EXPECT_EQ(s.kicks[0].pin, 2);
  EXPECT_EQ(s.kicks[0].host, 1) << "the first connection is this process's";
  EXPECT_EQ(s.kicks[1].pin, 5);
  EXPECT_EQ(s.kicks[1].host, 2);
  EXPECT_EQ(s.connections, 2) << "one connection per process";
  a.so().CloseService(&rc);
}

// A printer that serves one raw connection and resets the next: the second
// process's till learns it in bounded time, and the first till goes on
// working.
TEST_F(SerialDrawers, SecondProcessOnAPrinterThatRefusesIt) {
  emulator::PrinterEmulator printer(NetworkPrinter(1, true));
  ASSERT_TRUE(printer.start());
  const std::string port = "tcp:127.0.0.1:" + std::to_string(printer.port());
  EmulatorService a(port, 0);
  ASSERT_EQ(a.OpenAndEnable(), 0);
  ChildResult child = TillProcess(port).Result();
  EXPECT_TRUE(child.finished) << "the refused till must not hang";
  EXPECT_EQ(child.exitCode, 1u) << child.out << child.err;
  // Its connect succeeds and the reset follows: the service opens, but no
  // status ever comes. The external check only writes the kick, which a
  // reconnect made just before the next reset can still take, so either of
  // its answers may come; the drawer of this printer never moved for it.
  EXPECT_NE(child.out.find("enable -1,"), std::string::npos) << child.out;
  EXPECT_NE(child.out.find("External HCheck: "), std::string::npos) << child.out;
  EXPECT_GE(printer.snapshot().refused, 1);

  LONG rc = -1;
  a.so().openDrawer(&rc);
  EXPECT_EQ(rc, 0);
  ExpectKickOnPin(printer, 0, 2);
  ASSERT_TRUE(a.WaitUpdates(2, 5000));
  EXPECT_EQ(a.co().StatusUpdates(), (std::vector<LONG>{0, 1}));
  EXPECT_EQ(printer.snapshot().connections, 1);
  a.so().CloseService(&rc);
}

}  // namespace
