// USB printers through the library's calls, with the printer emulator on a
// named pipe standing in for the device (Port "USB:\\.\pipe\NAME": a path is
// opened as it is): status, kicks, the printer's pushes, a stale answer
// left from before, one request at a time, another program holding the
// device, and the device gone and back.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "ferrule/status_parser.h"
#include "tests/ferrule/test_support.h"

using ferrule::Error;
using ferrule::StatusSource;
using namespace porttest;

namespace {

std::string UniquePipeName() {
  static int counter = 0;
  return "HalyardUsb-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter);
}

emulator::Options PipePrinter(const std::string& name, bool push = true) {
  emulator::Options o;
  o.pipe = name;
  o.pushStatus = push;
  return o;
}

// The printer on its pipe and a device whose Port names that pipe.
class UsbStandIn {
 public:
  explicit UsbStandIn(bool push = true)
      : name_(UniquePipeName()), path_("\\\\.\\pipe\\" + name_), push_(push), device_("usb") {
    switchOn();
    device_.setPort("USB:" + path_);
  }
  ~UsbStandIn() {
    if (opened_.handle > 0) Close(opened_.ex, opened_.handle);
  }
  bool open() {
    opened_ = Open(kClass, device_.name());
    return opened_.handle > 0 &&
           printer_->waitFor([](const emulator::Snapshot& s) { return s.clientConnected; }, 5000);
  }
  const Opened& opened() const { return opened_; }
  int h() const { return opened_.handle; }
  int ex() const { return opened_.ex; }
  const std::string& path() const { return path_; }
  emulator::PrinterEmulator& printer() { return *printer_; }
  const char* deviceName() const { return device_.name(); }
  void switchOff() { printer_.reset(); }
  bool switchOn() {
    printer_ = std::make_unique<emulator::PrinterEmulator>(PipePrinter(name_, push_));
    return printer_->start();
  }

 private:
  std::string name_;
  std::string path_;
  bool push_;
  std::unique_ptr<emulator::PrinterEmulator> printer_;
  Device device_;
  Opened opened_;
};

TEST(UsbPort, StatusPushesAndKicksCrossThePipe) {
  UsbStandIn usb;
  ASSERT_TRUE(usb.open()) << "d1 " << usb.opened().d[0] << " d2 " << usb.opened().d[1];
  EXPECT_EQ(usb.opened().type, PORT_USB);
  EXPECT_EQ(usb.opened().d[5], PORT_USB);
  emulator::PrinterEmulator& printer = usb.printer();

  unsigned char st[4] = {};
  Call r = Read(usb.ex(), usb.h(), st, 1000);
  ASSERT_EQ(r.result, 1) << "d1 " << r.d[0];
  EXPECT_EQ(r.d[2], static_cast<int>(StatusSource::AskedReply));
  EXPECT_EQ(st[0], 0x14) << "drawer shut: pin 3 high";

  ASSERT_EQ(Write(usb.ex(), usb.h(), kStatusEnable, 3).result, 1);
  ASSERT_TRUE(printer.waitFor([](const emulator::Snapshot& s) { return s.blocksSent == 1; }, 5000));
  ASSERT_EQ(Write(usb.ex(), usb.h(), kKickPin2, 5).result, 1);
  ASSERT_TRUE(printer.waitFor([](const emulator::Snapshot& s) { return s.kicks.size() == 1; }, 5000));
  EXPECT_EQ(printer.snapshot().kicks[0].pin, 2);
  // The opening is pushed: the wait ends at it and the read takes it unasked.
  Call w = Await(usb.ex(), usb.h(), 3000);
  EXPECT_EQ(w.result, 1);
  r = Read(usb.ex(), usb.h(), st, 1000);
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(st[0], 0x10) << "drawer open";
  EXPECT_EQ(r.d[2], static_cast<int>(StatusSource::PushedBlock));

  unsigned char block[4] = {};
  Call q = Query(usb.ex(), usb.h(), block);
  EXPECT_EQ(q.error(), Error::Ok);
  EXPECT_EQ(q.result, 0x12) << "ready, drawer open (pin 3 low)";
}

// What a printer says before this program asked anything belongs to an
// earlier one: the off-line answer sent unasked is not taken.
TEST(UsbPort, AnAnswerSentBeforeTheFirstCommandIsDropped) {
  UsbStandIn usb(false);
  ASSERT_TRUE(usb.open());
  usb.printer().send({0x1E});  // a reply: off-line, pin 3 high
  ::Sleep(300);
  unsigned char st[4] = {};
  Call r = Read(usb.ex(), usb.h(), st, 1000);
  ASSERT_EQ(r.result, 1) << "d1 " << r.d[0];
  EXPECT_EQ(st[0] & 0x08, 0) << "the stale off-line answer was taken for the status";
  EXPECT_EQ(r.d[6] >> 16, 1) << "one reply counted: the asked one";
}

// Two callers asking at once while the printer is silent: one request goes out.
TEST(UsbPort, OneRealTimeRequestAtATime) {
  UsbStandIn usb(false);
  ASSERT_TRUE(usb.open());
  usb.printer().setSilent(true);
  Call first, second;
  std::thread other([&] {
    unsigned char block[4] = {};
    first = Query(usb.ex(), usb.h(), block, 600);
  });
  unsigned char block[4] = {};
  second = Query(usb.ex(), usb.h(), block, 600);
  other.join();
  EXPECT_EQ(first.error(), Error::NoReply);
  EXPECT_EQ(second.error(), Error::NoReply);
  EXPECT_EQ(usb.printer().snapshot().statusRequests, 1);
  // Once the answer time has passed, the next caller asks again.
  usb.printer().setSilent(false);
  ::Sleep(500);
  EXPECT_EQ(Query(usb.ex(), usb.h(), block).result, 0x16);
  EXPECT_EQ(usb.printer().snapshot().statusRequests, 2);
}

TEST(UsbPort, ADeviceAnotherProgramHoldsIsInUse) {
  UsbStandIn usb;
  // Another program took the pipe's one instance.
  win::UniqueHandle other(::CreateFileA(usb.path().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(other);
  Opened o = Open(kClass, usb.deviceName());
  EXPECT_EQ(o.handle, -1);
  EXPECT_EQ(o.error(), Error::DeviceInUse);
  EXPECT_EQ(o.d[1], ERROR_PIPE_BUSY);

  Device missing("usbmissing");
  missing.setPort("USB:\\\\.\\pipe\\HalyardNoSuchPipe");
  o = Open(kClass, missing.name());
  EXPECT_EQ(o.error(), Error::DeviceOpenFailed);
  EXPECT_EQ(o.d[1], ERROR_FILE_NOT_FOUND);
}

// The pipe's server goes while a status is awaited: the call ends at once
// with the link down, and once the server is back the port is opened again
// by itself, as a network link is made again.
TEST(UsbPort, APipeThatClosesMidStatusIsLostAndFoundAgain) {
  UsbStandIn usb;
  ASSERT_TRUE(usb.open());
  usb.printer().setSilent(true);
  Call r;
  std::thread reader([&] {
    unsigned char st[4] = {};
    r = Read(usb.ex(), usb.h(), st, 5000);
  });
  ::Sleep(300);
  const ULONGLONG gone = ::GetTickCount64();
  usb.switchOff();
  reader.join();
  EXPECT_LT(::GetTickCount64() - gone, 2000u) << "the read waited out its limit";
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error(), Error::LinkDown);
  EXPECT_EQ(r.d[1], ERROR_BROKEN_PIPE);
  EXPECT_EQ(Write(usb.ex(), usb.h(), kKickPin2, 5).error(), Error::LinkDown);

  ASSERT_TRUE(usb.switchOn());
  unsigned char st[4] = {};
  Call back;
  for (int i = 0; i < 30 && back.result != 1; ++i) {
    ::Sleep(200);
    back = Read(usb.ex(), usb.h(), st, 1000);
  }
  ASSERT_EQ(back.result, 1) << "d1 " << back.d[0] << " d2 " << back.d[1];
  EXPECT_EQ(st[0], 0x14);
  EXPECT_EQ(Reopen(usb.ex(), usb.h()).error(), Error::NotNetworkPort);
  Call kick = Write(usb.ex(), usb.h(), kKickPin2, 5);
  EXPECT_EQ(kick.result, 1);
  EXPECT_EQ(kick.d[6], 1) << "made again once";
}

}  // namespace
