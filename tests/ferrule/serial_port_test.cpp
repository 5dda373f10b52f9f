// The library on serial and parallel ports for real: the emulated printer
// on the far end of a socat pseudo-terminal pair (tests/support/
// serial_bed.sh links COM61/COM62 and COM64/COM65 as two lines and LPT61/COM63
// as a parallel port whose printer side the emulator reads), at two sets of
// line settings; the printer switched off and on; a line whose far end
// speaks other settings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/ferrule/test_support.h"

using ferrule::Error;
using ferrule::StatusSource;
using namespace porttest;

namespace {

// The bed's switch for one pair: <bed>/<first end>.off.
class BedSwitch {
 public:
  explicit BedSwitch(const char* firstEnd) {
    const char* bed = std::getenv("HALYARD_SERIAL_BED");
    if (bed != nullptr) path_ = std::string("Z:") + bed + "/" + firstEnd + ".off";
  }
  bool usable() const { return !path_.empty(); }
  void off() {
    win::UniqueHandle f(::CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  void on() { ::DeleteFileA(path_.c_str()); }

 private:
  std::string path_;
};

emulator::Options SerialPrinter(const std::string& port, bool push = true) {
  emulator::Options o;
  o.serial = port;
  o.pushStatus = push;
  return o;
}

// The library's end of a line opened through a device key, the emulated
// printer on the other end.
class SerialLine {
 public:
  SerialLine(const std::string& hostEnd, const std::string& printerEnd, bool push = true)
      : printerEnd_(printerEnd), push_(push), device_("serial") {
    switchOn();
    device_.setPort(hostEnd);
    opened_ = Open(kClass, device_.name());
  }
  ~SerialLine() {
    if (opened_.handle > 0) Close(opened_.ex, opened_.handle);
  }
  bool ready() const { return printer_ && opened_.handle > 0; }
  int h() const { return opened_.handle; }
  int ex() const { return opened_.ex; }
  const Opened& opened() const { return opened_; }
  emulator::PrinterEmulator& printer() { return *printer_; }

  void switchOff() { printer_.reset(); }
  // The printer's end may take a moment to come back after the bed made the
  // pair anew.
  bool switchOn() {
    for (int i = 0; i < 100; ++i) {
      printer_ = std::make_unique<emulator::PrinterEmulator>(SerialPrinter(printerEnd_, push_));
      if (printer_->start()) return true;
      printer_.reset();
      ::Sleep(50);
    }
    return false;
  }

 private:
  std::string printerEnd_;
  bool push_;
  std::unique_ptr<emulator::PrinterEmulator> printer_;
  Device device_;
  Opened opened_;
};

bool WaitKicks(emulator::PrinterEmulator& p, size_t count) {
  return p.waitFor([&](const emulator::Snapshot& s) { return s.kicks.size() >= count; }, 5000);
}

class SerialPort : public ::testing::TestWithParam<const char*> {};

// Status enable, status by automatic block and by DLE EOT, kicks on both
// pins and XON/XOFF inside the stream, all at the line settings given.
TEST_P(SerialPort, StatusKicksAndFlowBytesCrossTheLine) {
  const std::string settings = GetParam();
  SerialLine line("COM61:" + settings, "COM62:" + settings);
  ASSERT_TRUE(line.ready()) << "open: d1 " << line.opened().d[0] << " d2 " << line.opened().d[1];
  EXPECT_EQ(line.opened().type, 1);
  emulator::PrinterEmulator& printer = line.printer();

  ASSERT_EQ(Write(line.ex(), line.h(), kStatusEnable, 3).result, 1);
  ASSERT_TRUE(printer.waitFor(
      [](const emulator::Snapshot& s) { return s.autoStatusMode == 0xFF && s.blocksSent == 1; },
      5000));
  ::Sleep(100);
  unsigned char st[4] = {};
  Call r = Read(line.ex(), line.h(), st, 2000);
  ASSERT_EQ(r.result, 1) << "d1 " << r.d[0];
  EXPECT_EQ(st[0], 0x14) << "drawer shut: pin 3 high";

  // Every change is pushed and read without asking, across many reads: a
  // receiver that stalls after the first block fails here.
  for (int i = 0; i < 3; ++i) {
    printer.openDrawer();
    ASSERT_TRUE(printer.waitFor(
        [&](const emulator::Snapshot& s) { return s.blocksSent == 2 + 2 * i; }, 5000));
    ::Sleep(100);  // the block crosses the line before the read looks
    r = Read(line.ex(), line.h(), st, 2000);
    ASSERT_EQ(r.result, 1) << "round " << i << ", d1 " << r.d[0];
    EXPECT_EQ(st[0], 0x10) << "round " << i;
    printer.closeDrawer();
    ASSERT_TRUE(printer.waitFor(
        [&](const emulator::Snapshot& s) { return s.blocksSent == 3 + 2 * i; }, 5000));
    ::Sleep(100);
    r = Read(line.ex(), line.h(), st, 2000);
    ASSERT_EQ(r.result, 1) << "round " << i;
    EXPECT_EQ(st[0], 0x14) << "round " << i;
  }

  // Nothing new: the read asks with DLE EOT 1 and the reply answers it.
  int asked = printer.snapshot().statusRequests;
  r = Read(line.ex(), line.h(), st, 1000);
  ASSERT_EQ(r.result, 1) << "d1 " << r.d[0];
  EXPECT_EQ(r.d[2], static_cast<int>(StatusSource::AskedReply));
  EXPECT_EQ(printer.snapshot().statusRequests, asked + 1);
  unsigned char block[4] = {};
  Call q = Query(line.ex(), line.h(), block);
  EXPECT_EQ(q.error(), Error::Ok);
  EXPECT_EQ(q.result, 0x16) << "ready (0x10), drawer shut (pin 3 high)";

  EXPECT_EQ(Write(line.ex(), line.h(), kKickPin2, 5).result, 1);
  EXPECT_EQ(Write(line.ex(), line.h(), kKickPin5, 5).result, 1);
  ASSERT_TRUE(WaitKicks(printer, 2));
  EXPECT_EQ(printer.snapshot().kicks[0].pin, 2);
  EXPECT_EQ(printer.snapshot().kicks[1].pin, 5);

  // XOFF and XON between the bytes of a block. The kick's own news is taken first.
  printer.setSilent(true);
  ::Sleep(100);
  Read(line.ex(), line.h(), st, 300);
  printer.send({0x13, 0x30, 0x40});
  printer.send({0x11, 0x00, 0x00});
  r = Read(line.ex(), line.h(), st, 2000);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(st[0], 0x30) << "the block reads whole around the flow bytes";
  EXPECT_EQ(st[1], 0x40);
  EXPECT_EQ(r.d[5], 0) << "flow bytes are no garbage";
  printer.send({0x13});
  ::Sleep(100);
  EXPECT_TRUE(Write(line.ex(), line.h(), kKickPin2, 5).d[5] & ferrule::LinkXoff);
  printer.send({0x11});
  ::Sleep(100);
  EXPECT_FALSE(Write(line.ex(), line.h(), kKickPin2, 5).d[5] & ferrule::LinkXoff);
}

INSTANTIATE_TEST_SUITE_P(LineSettings, SerialPort, ::testing::Values("9600,N,8,1", "115200,E,7,2"));

// The printer switched off: its end of the line goes away (socat ends), the
// library reports the link down, and once the printer is on again the next
// read opens the port anew by itself and statuses flow again.
TEST(SerialPortPower, PrinterOffAndOnAgain) {
  BedSwitch power("com64");
  ASSERT_TRUE(power.usable()) << "runs inside tests/support/serial_bed.sh";
  SerialLine line("COM64", "COM65");
  ASSERT_TRUE(line.ready());
  ASSERT_EQ(Write(line.ex(), line.h(), kStatusEnable, 3).result, 1);
  unsigned char st[4] = {};
  ASSERT_EQ(Read(line.ex(), line.h(), st, 2000).result, 1);

  line.switchOff();
  power.off();
  Call r;
  for (int i = 0; i < 50 && r.error() != Error::LinkDown; ++i) {
    r = Read(line.ex(), line.h(), st, 100);
    ::Sleep(20);
  }
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error(), Error::LinkDown) << "d1 " << r.d[0] << " d2 " << r.d[1];
  EXPECT_EQ(Write(line.ex(), line.h(), kKickPin2, 5).error(), Error::LinkDown);

  power.on();
  ASSERT_TRUE(line.switchOn());
  line.printer().openDrawer();
  ULONGLONG until = ::GetTickCount64() + 5000;
  r = Call{};
  while (r.result != 1 && ::GetTickCount64() < until) {
    r = Read(line.ex(), line.h(), st, 300);
    if (r.result != 1) ::Sleep(100);
  }
  ASSERT_EQ(r.result, 1) << "d1 " << r.d[0] << " d2 " << r.d[1];
  EXPECT_EQ(st[0], 0x10) << "the drawer opened while the printer was away";
  EXPECT_EQ(Write(line.ex(), line.h(), kKickPin2, 5).d[6], 1) << "opened again once";
}

// A printer set to other line settings than the port: what arrives is
// bytes of no meaning (on a real line framing and parity errors; the
// pseudo-terminal carries them as they are). None may be taken for a status.
TEST(SerialPortNoise, OtherLineSettingsGiveGarbageNeverAStatus) {
  SerialLine line("COM61:9600,N,8,1", "COM62:9600,N,8,1", false);
  ASSERT_TRUE(line.ready());
  line.printer().setSilent(true);
  // A 115200 baud status block and reply as a 9600 baud receiver frames them.
  const std::vector<uint8_t> misframed = {0xFE, 0x00, 0xE0, 0x80, 0xF8, 0x00, 0xFF, 0x80,
                                          0xE6, 0x00, 0x78, 0xFE, 0x80, 0x00, 0xF0, 0xFF};
  for (int i = 0; i < 4; ++i) line.printer().send(misframed);
  unsigned char st[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  Call r = Read(line.ex(), line.h(), st, 500);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error(), Error::NoReply);
  EXPECT_EQ(st[0], 0xEE) << "the caller's buffer is left alone";
  EXPECT_GT(r.d[5], 0) << "bytes skipped as garbage";
  unsigned char block[4] = {};
  EXPECT_EQ(Query(line.ex(), line.h(), block, 300).result, 0);
}

// A parallel port: the kick reaches the printer, and a printer that sends
// nothing back gives no status (docs/ports.md, parallel ports).
TEST(ParallelPort, KickArrivesAndReadsReportNoStatus) {
  Device device("lpt");
  device.setPort("LPT61");
  emulator::PrinterEmulator printer(SerialPrinter("COM63"));
  ASSERT_TRUE(printer.start());
  Opened o = Open(kClass, device.name());
  ASSERT_GT(o.handle, 0) << "d1 " << o.d[0] << " d2 " << o.d[1];
  EXPECT_EQ(o.type, 2);
  Call w = Write(o.ex, o.handle, kKickPin2, 5);
  EXPECT_EQ(w.result, 1) << "d1 " << w.d[0];
  ASSERT_TRUE(WaitKicks(printer, 1));
  EXPECT_EQ(printer.snapshot().kicks[0].pin, 2);

  // The printer's side only reads. The bed's LPT port is a pseudo-terminal
  // that reads, so the request goes out and nothing answers: 53 (a port
  // without a reverse channel would give 54 at once).
  printer.setSilent(true);
  unsigned char st[4] = {};
  Call r = Read(o.ex, o.handle, st, 300);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error(), Error::NoReply) << "d2 " << r.d[1];
  EXPECT_EQ(Query(o.ex, o.handle, st, 300).result, 0);
  EXPECT_EQ(Close(o.ex, o.handle).result, 1);
}

// A COM port opens once: a second handle on it shares the line; one that
// asks for other line settings is refused rather than change the line.
TEST(SerialPortSharing, SecondHandleSharesTheLineOrIsRefused) {
  SerialLine line("COM61:9600,N,8,1", "COM62:9600,N,8,1");
  ASSERT_TRUE(line.ready());
  Device same("same"), other("other");
  same.setPort("com61:9600,n,8,1");
  other.setPort("COM61:115200,E,7,2");
  Opened b = Open(kClass, same.name());
  ASSERT_GT(b.handle, 0) << "d1 " << b.d[0] << " d2 " << b.d[1];
  Opened c = Open(kClass, other.name());
  EXPECT_EQ(c.handle, -1);
  EXPECT_EQ(c.error(), Error::PortSettingsConflict);

  EXPECT_EQ(Write(line.ex(), line.h(), kKickPin2, 5).result, 1);
  EXPECT_EQ(Write(b.ex, b.handle, kKickPin5, 5).result, 1);
  ASSERT_TRUE(WaitKicks(line.printer(), 2));
  EXPECT_EQ(line.printer().snapshot().kicks[1].pin, 5);
  EXPECT_EQ(Close(b.ex, b.handle).result, 1);
  unsigned char st[4] = {};
  EXPECT_EQ(Read(line.ex(), line.h(), st, 1000).result, 1) << "the first handle still works";
}

}  // namespace
