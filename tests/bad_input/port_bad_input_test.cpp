// The port library fed with what a hand-edited registry or a broken printer
// can hand it: "Port" values of random shapes and bytes, stored strings
// without a terminator, every registry type, device names of every length,
// and a printer that sends nothing but garbage. Each call must come back
// in its time with a failure code or a status, never crash or hang.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "ext/ferrule.h"
#include "ferrule/errors.h"
#include "ferrule/port_value.h"
#include "tests/support/device_key.h"
#include "tools/emulator/printer_emulator.h"

using ferrule::Error;

namespace {

constexpr char kClass[] = "CashDrawer";

struct Opened {
  int handle = -1;
  int d[8] = {};
  Error error() const { return static_cast<Error>(d[0]); }
};

Opened Open(const char* deviceClass, const char* deviceName) {
  Opened o;
  int type = 0, ex = 0;
  o.handle = OpenPort(deviceClass, deviceName, &type, &ex, 4, &o.d[0], &o.d[1], &o.d[2], &o.d[3],
                      &o.d[4], &o.d[5], &o.d[6], &o.d[7]);
  if (o.handle != -1) {
    int w[4];
    ClosePort(ex, o.handle, 4, &w[0], &w[1], &w[2], &w[3]);
  }
  return o;
}

// The codes of "the Port value is wrong": what a technician must be told.
bool IsValueError(Error e) {
  int n = static_cast<int>(e);
  return n >= static_cast<int>(Error::ValueMissing) &&
         n <= static_cast<int>(Error::QueueNameInvalid);
}

// Random edits of values that are almost right, and random bytes.
std::string Mutant(std::mt19937& rng) {
  static const char* const kSeeds[] = {"tcp:127.0.0.1:9100", "tcp:[::1]:9100", "tcp:localhost",
                                       "COM1:9600,N,8,1",    "COM12:115200,E,7,1.5", "LPT1",
                                       "tcp:",               "COM",  "LPT",
                                       "USB",                "USB:J6EF012345",
                                       "USB:\\\\?\\usb#vid_04b8&pid_0202#j6ef#{28d78fad}",
                                       "PRINTER:Till Receipt"};
  static const std::string kAlphabet = "tcpCOMLPTUSBRINE:[],.0123456789 -_xX&?#|\"\t%\\/";
  std::string s = kSeeds[rng() % (sizeof(kSeeds) / sizeof(kSeeds[0]))];
  int edits = 1 + rng() % 6;
  for (int i = 0; i < edits; ++i) {
    size_t at = s.empty() ? 0 : rng() % (s.size() + 1);
    char c = (rng() % 3 == 0) ? static_cast<char>(1 + rng() % 255) : kAlphabet[rng() % kAlphabet.size()];
    switch (rng() % 4) {
      case 0: s.insert(s.begin() + at, c); break;
      case 1: if (at < s.size()) s.erase(at, 1); break;
      case 2: if (at < s.size()) s[at] = c; break;
      case 3: s.insert(at, std::string(rng() % 300, c)); break;
    }
  }
  return s;
}

}  // namespace

TEST(PortBadInput, MalformedPortValuesFailWithAValueCode) {
  DeviceKey key(UniqueDeviceName("port-fuzz"));
  std::mt19937 rng(1208);
  int tried = 0;
  for (int round = 0; round < 1500; ++round) {
    std::string value = Mutant(rng);
    // Values the parser takes would reach a device or the network: the
    // fuzz keeps to the ones it must turn away (the well-formed ones have
    // tests of their own, on loopback only).
    if (ferrule::ParsePortValue(value).error == Error::Ok) continue;
    key.SetString("Port", value);
    Opened o = Open(kClass, key.Name().c_str());
    ++tried;
    EXPECT_EQ(o.handle, -1) << value;
    EXPECT_TRUE(IsValueError(o.error())) << value << " gave " << o.d[0];
  }
  EXPECT_GT(tried, 1000);
}

// Well-formed USB and queue values that name nothing on this machine (its
// Wine has no USB printing class and no such queue) fail at once, named.
TEST(PortBadInput, UsbAndQueueValuesForWhatIsNotThereAreNamed) {
  DeviceKey key(UniqueDeviceName("port-absent"));
  const std::string odd = "Halyard absent " + std::to_string(GetCurrentProcessId());
  struct Absent {
    std::string value;
    Error error;
  };
  const Absent absent[] = {
      {"USB", Error::UsbNoPrinter},
      {"USB:NOSUCHSERIAL", Error::UsbPrinterNotFound},
      {"USB:\\\\.\\pipe\\" + odd, Error::DeviceOpenFailed},
      {"USB:\\\\?\\usb#vid_0000&pid_0000#none#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}",
       Error::DeviceOpenFailed},
      {"PRINTER:" + odd, Error::QueueNotFound},
      {"PRINTER:\\\\nosuchserver\\" + odd, Error::QueueNotFound},
  };
  for (const Absent& a : absent) {
    key.SetString("Port", a.value);
    const DWORD start = GetTickCount();
    Opened o = Open(kClass, key.Name().c_str());
    EXPECT_EQ(o.handle, -1) << a.value;
    EXPECT_EQ(o.error(), a.error) << a.value << " gave " << o.d[0];
    EXPECT_LT(GetTickCount() - start, 5000u) << a.value;
  }
}

TEST(PortBadInput, StoredValuesOfEveryTypeAndSizeAreNamed) {
  DeviceKey key(UniqueDeviceName("port-types"));
  // "tcp:" and then characters no host name holds: whatever the cut, the
  // text never names a host to look up.
  std::vector<char> text(10001, '!');
  std::memcpy(text.data(), "tcp:", 4);
  struct Shape {
    DWORD type;
    DWORD size;
  };
  // REG_SZ without a terminator at the sizes around the 254-character limit.
  const Shape shapes[] = {{REG_SZ, 0},       {REG_SZ, 1},        {REG_SZ, 4},
                          {REG_SZ, 253},     {REG_SZ, 254},      {REG_SZ, 255},
                          {REG_SZ, 256},     {REG_SZ, 10000},    {REG_EXPAND_SZ, 20},
                          {REG_MULTI_SZ, 20}, {REG_BINARY, 0},   {REG_BINARY, 1},
                          {REG_BINARY, 8},   {REG_DWORD, 4},     {REG_QWORD, 8},
                          {REG_NONE, 0},     {REG_DWORD_BIG_ENDIAN, 4}};
  for (const Shape& s : shapes) {
    key.SetRaw("Port", s.type, text.data(), s.size);
    Opened o = Open(kClass, key.Name().c_str());
    EXPECT_EQ(o.handle, -1) << "type " << s.type << " size " << s.size;
    EXPECT_TRUE(IsValueError(o.error())) << "type " << s.type << " size " << s.size << " gave "
                                         << o.d[0];
  }
  // A terminator in the middle: the text ends there.
  const char embedded[] = "LPT\0tcp:127.0.0.1";
  key.SetRaw("Port", REG_SZ, embedded, sizeof(embedded));
  EXPECT_EQ(Open(kClass, key.Name().c_str()).error(), Error::ParallelNumberInvalid);
}

TEST(PortBadInput, DeviceNamesOfEveryLengthAreRefusedOrLookedUp) {
  for (size_t length : {0u, 1u, 154u, 155u, 254u, 255u, 10000u}) {
    std::string name(length, 'N');
    Opened o = Open(kClass, name.c_str());
    EXPECT_EQ(o.handle, -1) << length;
    Error expected = (length == 0 || length > 254) ? Error::BadArgument : Error::KeyMissing;
    EXPECT_EQ(o.error(), expected) << length;
  }
  std::string longClass(10000, 'C');
  EXPECT_EQ(Open(longClass.c_str(), "x").error(), Error::BadArgument);
}

// The printer sends only garbage, then only random bytes: reads come back
// within their limit with nothing or with a status block, and once the
// printer talks sense again its status is read.
TEST(PortBadInput, PrinterSendingOnlyGarbageNeverHangsAReader) {
  emulator::Options options;
  options.port = 0;
  options.pushStatus = false;
  emulator::PrinterEmulator printer(options);
  ASSERT_TRUE(printer.start());
  DeviceKey key(UniqueDeviceName("port-garbage"));
  key.SetString("Port", "tcp:127.0.0.1:" + std::to_string(printer.port()));
  int type = 0, ex = 0, d[8] = {};
  int port = OpenPort(kClass, key.Name().c_str(), &type, &ex, 4, &d[0], &d[1], &d[2], &d[3], &d[4],
                      &d[5], &d[6], &d[7]);
  ASSERT_NE(port, -1) << "error " << d[0];

  std::mt19937 rng(42);
  std::vector<uint8_t> noise(512);
  for (int round = 0; round < 20; ++round) {
    if (round % 2 == 0) {
      printer.sendGarbage();
    } else {
      for (auto& b : noise) b = static_cast<uint8_t>(rng());
      printer.send(noise);
    }
    unsigned char status[4] = {};
    int w[7] = {};
    DWORD start = GetTickCount();
    ReadPort(ex, port, status, -1, 300, 4, &w[0], &w[1], &w[2], &w[3], &w[4], &w[5], &w[6]);
    EXPECT_LT(GetTickCount() - start, 3000u) << "round " << round;
  }
  // Sense again: the printer reports its drawer open, and a read says so.
  printer.setPushStatus(true);
  printer.openDrawer();
  bool seen = false;
  for (int i = 0; i < 20 && !seen; ++i) {
    unsigned char status[4] = {};
    int w[7] = {};
    if (ReadPort(ex, port, status, -1, 300, 4, &w[0], &w[1], &w[2], &w[3], &w[4], &w[5], &w[6]))
      seen = true;
  }
  EXPECT_TRUE(seen);
  int c[4];
  ClosePort(ex, port, 4, &c[0], &c[1], &c[2], &c[3]);
  printer.stop();
}
