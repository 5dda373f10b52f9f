// Which USB printer a Port value of the USB forms opens, with the list of
// printers present given to the library in SetupDi's place: the one
// present, none, several, one by serial or by the instance part of its
// path, and a printer found again by its serial after it came back under
// another path. The devices are the printer emulator on named pipes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ferrule/open_port.h"
#include "ferrule/port.h"
#include "ferrule/usb_printers.h"
#include "tests/ferrule/test_support.h"

using ferrule::Diag;
using ferrule::Error;
using ferrule::UsbPrinter;

namespace {

std::vector<UsbPrinter> gPresent;
std::vector<UsbPrinter> Present() { return gPresent; }

std::string PipePath(const std::string& name) { return "\\\\.\\pipe\\" + name; }

std::string UniqueName(const char* hint) {
  static int counter = 0;
  return std::string("HalyardChoice-") + hint + "-" + std::to_string(::GetCurrentProcessId()) +
         "-" + std::to_string(++counter);
}

struct StandIn {
  explicit StandIn(const char* hint) : name(UniqueName(hint)), printer(Options(name)) {
    started = printer.start();
  }
  static emulator::Options Options(const std::string& pipe) {
    emulator::Options o;
    o.pipe = pipe;
    return o;
  }
  UsbPrinter listed(const std::string& serial) const {
    UsbPrinter p;
    p.path = PipePath(name);
    p.instance = serial.empty() ? "6&2b0e1a7&0&1" : serial;
    p.serial = serial;
    p.id.maker = "EMULATOR";
    p.id.model = "PIPE";
    return p;
  }
  std::string name;
  emulator::PrinterEmulator printer;
  bool started = false;
};

class UsbChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    gPresent.clear();
    ferrule::SetUsbPrinterSource(&Present);
  }
  void TearDown() override { ferrule::SetUsbPrinterSource(nullptr); }

  std::shared_ptr<ferrule::Port> OpenWith(const std::string& port, Diag& d) {
    device_ = std::make_unique<porttest::Device>("usbchoice");
    device_->setPort(port);
    return ferrule::OpenConfiguredPort(porttest::kClass, device_->name(), d);
  }
  std::unique_ptr<porttest::Device> device_;
};

TEST_F(UsbChoice, TheOnePresentIsOpenedAndNoneOrSeveralAreNamedAsSuch) {
  StandIn a("a"), b("b");
  ASSERT_TRUE(a.started && b.started);
  Diag none;
  EXPECT_FALSE(OpenWith("USB", none));
  EXPECT_EQ(none.code, Error::UsbNoPrinter);
  EXPECT_EQ(none.word(3), 0);

  gPresent = {a.listed("J6EF000001")};
  Diag one;
  auto port = OpenWith("usb", one);
  ASSERT_TRUE(port) << "d1 " << static_cast<int>(one.code) << " d2 " << one.system;
  EXPECT_EQ(port->type(), PORT_USB);
  EXPECT_TRUE(a.printer.waitFor([](const emulator::Snapshot& s) { return s.clientConnected; }, 5000));
  Diag closed;
  port->close(closed);

  gPresent = {a.listed("J6EF000001"), b.listed("")};
  Diag several;
  EXPECT_FALSE(OpenWith("USB", several));
  EXPECT_EQ(several.code, Error::UsbSeveralPrinters);
  EXPECT_EQ(several.word(3), 2);
}

TEST_F(UsbChoice, ASerialOrAnInstancePartPicksItsPrinter) {
  StandIn a("a"), b("b");
  ASSERT_TRUE(a.started && b.started);
  gPresent = {a.listed("J6EF000001"), b.listed("")};
  Diag bySerial;
  auto first = OpenWith("USB:j6ef000001", bySerial);
  ASSERT_TRUE(first) << "serials compare without case";
  EXPECT_TRUE(a.printer.waitFor([](const emulator::Snapshot& s) { return s.clientConnected; }, 5000));
  Diag byInstance;
  auto second = OpenWith("USB:6&2b0e1a7&0&1", byInstance);
  ASSERT_TRUE(second);
  EXPECT_TRUE(b.printer.waitFor([](const emulator::Snapshot& s) { return s.clientConnected; }, 5000));

  Diag missing;
  EXPECT_FALSE(OpenWith("USB:NOSUCHSERIAL", missing));
  EXPECT_EQ(missing.code, Error::UsbPrinterNotFound);
  EXPECT_EQ(missing.word(3), 2) << "how many are present";
  Diag d;
  first->close(d);
  second->close(d);
}

// Unplugged and plugged in again elsewhere: the printer's path changes, its
// serial does not, and the next attempt after the loss opens the new path.
TEST_F(UsbChoice, APrinterIsFoundAgainByItsSerialUnderANewPath) {
  auto before = std::make_unique<StandIn>("before");
  ASSERT_TRUE(before->started);
  gPresent = {before->listed("J6EF000009")};
  Diag d;
  auto port = OpenWith("USB:J6EF000009", d);
  ASSERT_TRUE(port);
  unsigned char st[4] = {};
  Diag read;
  ASSERT_EQ(port->readStatus(st, 4, 1000, read), 1);

  before.reset();  // unplugged
  gPresent.clear();
  Diag lost;
  EXPECT_EQ(port->readStatus(st, 4, 500, lost), 0);
  EXPECT_EQ(lost.code, Error::LinkDown);

  StandIn after("after");
  ASSERT_TRUE(after.started);
  gPresent = {after.listed("J6EF000009")};
  int got = 0;
  for (int i = 0; i < 30 && got != 1; ++i) {
    ::Sleep(200);
    Diag again;
    got = port->readStatus(st, 4, 1000, again);
  }
  EXPECT_EQ(got, 1);
  EXPECT_TRUE(after.printer.waitFor([](const emulator::Snapshot& s) { return s.clientConnected; },
                                    5000));
  port->close(d);
}

}  // namespace
