// OpenPort's way from the registry to a port, and every way it can refuse:
// each refusal must say why in the diagnostic words a technician reads.
#include <gtest/gtest.h>

#include "common/win32_socket.h"
#include "ferrule/port_value.h"
#include "tests/ferrule/test_support.h"
#include "tests/support/bad_port_values.h"

using ferrule::Error;
using namespace porttest;
using portvalues::BadValue;
using portvalues::kBadValues;

namespace {

TEST(PortValue, EveryMalformedValueFailsWithItsCodeAndPosition) {
  for (const BadValue& bad : kBadValues) {
    SCOPED_TRACE(std::string("Port = \"") + bad.text + "\"");
    Device device("bad");
    device.setPort(bad.text);
    Opened o = Open(kClass, device.name());
    EXPECT_EQ(o.handle, -1);
    EXPECT_EQ(o.error(), bad.error);
    EXPECT_EQ(o.d[1], 0);
    EXPECT_EQ(o.d[2], bad.offset);
    EXPECT_EQ(o.d[3], REG_SZ);
    EXPECT_EQ(o.d[4], static_cast<int>(strlen(bad.text)));
    EXPECT_EQ(o.type, 0);
    EXPECT_EQ(o.ex, 0);
  }
}

TEST(PortValue, UsbAndQueueFormsAreReadAsWritten) {
  using ferrule::ParsePortValue;
  using ferrule::PortKind;
  using ferrule::UsbForm;
  ferrule::ParsedPort p = ParsePortValue("usb");
  ASSERT_EQ(p.error, Error::Ok);
  EXPECT_EQ(p.address.kind, PortKind::Usb);
  EXPECT_EQ(p.address.usb.form, UsbForm::Only);
  p = ParsePortValue("USB:5&1a2b3c4d&0&1");
  ASSERT_EQ(p.error, Error::Ok);
  EXPECT_EQ(p.address.usb.form, UsbForm::Serial);
  EXPECT_EQ(p.address.usb.id, "5&1a2b3c4d&0&1");
  const std::string path =
      "\\\\?\\usb#vid_04b8&pid_0202#j6ef012345#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
  p = ParsePortValue(" USB:" + path + " ");
  ASSERT_EQ(p.error, Error::Ok);
  EXPECT_EQ(p.address.usb.form, UsbForm::Path);
  EXPECT_EQ(p.address.usb.id, path);
  p = ParsePortValue("PRINTER:K\xfc" "che Bon-Drucker (2)");
  ASSERT_EQ(p.error, Error::Ok) << "a name in the ANSI code page";
  EXPECT_EQ(p.address.kind, PortKind::Queue);
  EXPECT_EQ(p.address.queue.name, "K\xfc" "che Bon-Drucker (2)");
  // A serial is what a USB string descriptor holds: 126 characters.
  EXPECT_EQ(ParsePortValue("USB:" + std::string(126, 'S')).error, Error::Ok);
  p = ParsePortValue("USB:" + std::string(127, 'S'));
  EXPECT_EQ(p.error, Error::UsbSerialInvalid);
  EXPECT_EQ(p.offset, 131);
}

TEST(PortValue, RegistryProblemsAreNamed) {
  {
    Opened o = Open(kClass, UniqueDeviceName("nokey").c_str());
    EXPECT_EQ(o.handle, -1);
    EXPECT_EQ(o.error(), Error::KeyMissing);
    EXPECT_EQ(o.d[1], ERROR_FILE_NOT_FOUND);
  }
  {
    Device device("novalue");
    ASSERT_TRUE(device.exists());
    Opened o = Open(kClass, device.name());
    EXPECT_EQ(o.error(), Error::ValueMissing);
    EXPECT_EQ(o.d[1], ERROR_FILE_NOT_FOUND);
  }
  {
    Device device("dword");
    DWORD v = 9100;
    device.setPortRaw(REG_DWORD, &v, sizeof(v));
    Opened o = Open(kClass, device.name());
    EXPECT_EQ(o.error(), Error::ValueNotString);
    EXPECT_EQ(o.d[3], REG_DWORD);
    EXPECT_EQ(o.d[4], 4);
  }
  {
    Device device("multi");
    const char multi[] = "tcp:127.0.0.1\0\0";
    device.setPortRaw(REG_MULTI_SZ, multi, sizeof(multi));
    EXPECT_EQ(Open(kClass, device.name()).error(), Error::ValueNotString);
  }
}

TEST(PortValue, LongestValueIsAcceptedAndOneMoreIsTooLong) {
  Device device("long");
  std::string longest = "printer" + std::string(247, 'x');  // 254 characters
  device.setPort(longest);
  EXPECT_EQ(Open(kClass, device.name()).error(), Error::UnknownPortKind);

  device.setPort(longest + "x");
  Opened o = Open(kClass, device.name());
  EXPECT_EQ(o.handle, -1);
  EXPECT_EQ(o.error(), Error::ValueTooLong);
  EXPECT_EQ(o.d[3], REG_SZ);

  std::string huge(4000, 'y');
  device.setPort(huge);
  EXPECT_EQ(Open(kClass, device.name()).error(), Error::ValueTooLong);
}

TEST(PortValue, ClassAndNameMustBeUsableTexts) {
  EXPECT_EQ(Open(nullptr, "x").error(), Error::BadArgument);
  EXPECT_EQ(Open(kClass, nullptr).error(), Error::BadArgument);
  EXPECT_EQ(Open(kClass, "").error(), Error::BadArgument);
  EXPECT_EQ(Open(kClass, std::string(255, 'n').c_str()).error(), Error::BadArgument);
  // Null word pointers are allowed: the caller may not want them.
  EXPECT_EQ(OpenPort(kClass, nullptr, nullptr, nullptr, 2, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr),
            -1);
}

TEST(DevicePorts, MissingSerialPortReportsTheWin32Error) {
  Device device("com9");
  device.setPort("COM9:19200,E,7,2");
  Opened o = Open(kClass, device.name());
  EXPECT_EQ(o.handle, -1);
  EXPECT_EQ(o.error(), Error::DeviceOpenFailed);
  EXPECT_NE(o.d[1], 0) << "the CreateFile error";
  EXPECT_EQ(o.d[5], PORT_SER);
  EXPECT_EQ(o.d[6], 9);
  EXPECT_EQ(o.d[7], 19200);
}

TEST(DevicePorts, MissingParallelPortReportsTheWin32Error) {
  Device device("lpt9");
  device.setPort("lpt9");
  Opened o = Open(kClass, device.name());
  EXPECT_EQ(o.handle, -1);
  EXPECT_EQ(o.error(), Error::DeviceOpenFailed);
  EXPECT_NE(o.d[1], 0);
  EXPECT_EQ(o.d[5], PORT_PAR);
  EXPECT_EQ(o.d[6], 9);
}

TEST(NetworkPorts, RefusedConnectionGivesTheWinsockError) {
  ASSERT_EQ(win::EnsureWinsock(), 0);
  // A port that was free a moment ago: nothing listens there.
  win::UniqueSocket s(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(s.get(), reinterpret_cast<sockaddr*>(&a), sizeof(a)), 0);
  int len = sizeof(a);
  ::getsockname(s.get(), reinterpret_cast<sockaddr*>(&a), &len);
  int port = ntohs(a.sin_port);
  s.reset();

  Device device("refused");
  device.setPort(" tcp:127.0.0.1:" + std::to_string(port) + " ");
  Opened o = Open(kClass, device.name());
  EXPECT_EQ(o.handle, -1);
  EXPECT_EQ(o.error(), Error::ConnectFailed);
  EXPECT_EQ(o.d[1], WSAECONNREFUSED);
  EXPECT_EQ(o.d[5], PORT_ETH);
  EXPECT_EQ(o.d[6], port);
}

TEST(NetworkPorts, OpensWithDefaultPortWordsAndHandles) {
  PrinterPort p;
  ASSERT_TRUE(p.ready()) << "d1=" << p.opened().d[0] << " d2=" << p.opened().d[1];
  EXPECT_EQ(p.opened().type, PORT_ETH);
  EXPECT_GT(p.ex(), 0);
  EXPECT_EQ(p.opened().error(), Error::Ok);
  EXPECT_EQ(p.opened().d[5], PORT_ETH);
  EXPECT_EQ(p.opened().d[6], p.printer().port());
  EXPECT_EQ(p.opened().d[7], 0x7F000001) << "the peer's IPv4 address";
  EXPECT_TRUE(p.waitForClient());
}

TEST(Handles, UnknownClosedAndMismatchedHandlesFailCleanly) {
  PrinterPort p;
  ASSERT_TRUE(p.ready());
  unsigned char status[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  const int bogus[][2] = {{0, 0}, {-1, -1}, {p.ex() + 1, p.h()}, {p.ex(), p.h() + 1},
                          {p.ex(), p.h() ^ 0x100}, {0x7FFFFFFF, 0x7FFFFFFF}};
  for (const auto& b : bogus) {
    SCOPED_TRACE(testing::Message() << "portEx " << b[0] << " port " << b[1]);
    EXPECT_EQ(Write(b[0], b[1], kKickPin2, 5).result, 0);
    EXPECT_EQ(Write(b[0], b[1], kKickPin2, 5).error(), Error::BadHandle);
    Call r = Read(b[0], b[1], status);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.error(), Error::BadHandle);
    EXPECT_EQ(Query(b[0], b[1], status).result, 0);
    EXPECT_EQ(Reopen(b[0], b[1]).result, 0);
    EXPECT_EQ(Close(b[0], b[1]).error(), Error::BadHandle);
  }
  EXPECT_EQ(status[0], 0xAA) << "a failed call leaves the caller's buffer alone";

  int ex = p.ex(), h = p.h();
  Call closed = Close(ex, h);
  p.forget();
  EXPECT_EQ(closed.result, 1);
  EXPECT_EQ(closed.error(), Error::Ok);
  EXPECT_EQ(Close(ex, h).error(), Error::BadHandle) << "a second close";
  EXPECT_EQ(Write(ex, h, kKickPin2, 5).error(), Error::BadHandle);
  EXPECT_EQ(Read(ex, h, status).error(), Error::BadHandle);
  EXPECT_EQ(Reopen(ex, h).error(), Error::BadHandle);
  EXPECT_EQ(WritePort(ex, h, kKickPin2, 5, 100, 4, nullptr, nullptr, nullptr, nullptr, nullptr,
                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
}

TEST(Handles, AReopenedPortNeverAnswersToAnOldHandle) {
  emulator::PrinterEmulator printer(emulator::Options{"127.0.0.1", 0});
  ASSERT_TRUE(printer.start());
  Device device("reuse");
  device.setPort("tcp:localhost:" + std::to_string(printer.port()));
  Opened first = Open(kClass, device.name());
  ASSERT_GT(first.handle, 0);
  Close(first.ex, first.handle);
  // Enough opens to come round to the first slot again.
  Opened last;
  for (int i = 0; i < 300; ++i) {
    last = Open(kClass, device.name());
    ASSERT_GT(last.handle, 0) << "open " << i << " d1=" << last.d[0];
    ASSERT_NE(last.handle, first.handle);
    if (i < 299) Close(last.ex, last.handle);
  }
  EXPECT_EQ(Write(first.ex, first.handle, kKickPin2, 5).error(), Error::BadHandle);
  EXPECT_EQ(Write(last.ex, last.handle, kKickPin2, 5).result, 1);
  Close(last.ex, last.handle);
}

}  // namespace

namespace {

// What a till needs beside Ferrule.dll: nothing but Windows itself.
TEST(Library, ExportsPlainNamesAndImportsOnlySystemDlls) {
  HMODULE m = ::GetModuleHandleA("Ferrule.dll");
  ASSERT_NE(m, nullptr);
  for (const char* name :
       {"OpenPort", "WritePort", "ReadPort", "GetPortStatus", "ClosePort", "ReOpenNetPort"})
    EXPECT_NE(::GetProcAddress(m, name), nullptr) << name;

  auto base = reinterpret_cast<const BYTE*>(m);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  ASSERT_NE(dir.VirtualAddress, 0u);
  const char* kSystem[] = {"KERNEL32.dll", "ADVAPI32.dll", "WS2_32.dll",  "msvcrt.dll",
                           "SETUPAPI.dll", "CFGMGR32.dll", "WINSPOOL.DRV"};
  int count = 0;
  for (auto imp = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
       imp->Name != 0; ++imp, ++count) {
    const char* dll = reinterpret_cast<const char*>(base + imp->Name);
    bool known = false;
    for (const char* s : kSystem) known = known || lstrcmpiA(dll, s) == 0;
    EXPECT_TRUE(known) << dll;
  }
  EXPECT_GE(count, 3);
}

}  // namespace
