// drawerctl.exe run as an operator runs it, against the Wine registry: the
// device key it writes is exactly what the service object and the port
// library read, and it never touches another vendor's drawer.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/win32_raii.h"
#include "device_config.h"
#include "ferrule/port_words.h"
#include "tests/support/bad_port_values.h"
#include "tests/support/child_process.h"
#include "tests/support/relay_queue.h"

namespace {

// Names unique to this run (tests of other parts share the prefix) and
// without "KX8", which the uninstall cleaner's tests sweep away.
std::string TestDevice(const char* what) {
  return std::string("DrawerctlTest-") + what + "-" + std::to_string(GetCurrentProcessId());
}

ChildResult Drawerctl(const std::string& args) { return RunChild("drawerctl.exe " + args); }

std::string KeyPath(const std::string& name) {
  return std::string(drawerctl::kCashDrawerKey) + "\\" + name;
}

// Registry reads and writes below go to this process's own view unless a
// KEY_WOW64_* flag names one.
bool KeyExists(const std::string& name, REGSAM view = 0) {
  win::UniqueHKey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyPath(name).c_str(), 0, KEY_READ | view,
                       key.put()) == ERROR_SUCCESS;
}

struct RawValue {
  DWORD type = REG_NONE;
  std::string bytes;
};

RawValue ReadRaw(const std::string& name, const char* value, REGSAM view) {
  RawValue v;
  char data[256] = {};
  DWORD size = sizeof(data);
  win::UniqueHKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyPath(name).c_str(), 0, KEY_READ | view, key.put()) ==
          ERROR_SUCCESS &&
      RegGetValueA(key.get(), nullptr, value, RRF_RT_ANY, &v.type, data, &size) == ERROR_SUCCESS)
    v.bytes.assign(data, size);
  return v;
}

DWORD ReadDword(const std::string& name, const char* value, REGSAM view = 0) {
  RawValue v = ReadRaw(name, value, view);
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_DWORD)) << value;
  DWORD d = 0xDEAD;
  if (v.bytes.size() == sizeof(DWORD)) memcpy(&d, v.bytes.data(), sizeof(d));
  return d;
}

std::string ReadText(const std::string& name, const char* value, REGSAM view = 0) {
  RawValue v = ReadRaw(name, value, view);
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ)) << (value ? value : "(default)");
  return std::string(v.bytes.c_str());
}

void SetText(HKEY key, const char* value, const std::string& text) {
  ASSERT_EQ(RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1)),
            ERROR_SUCCESS);
}

// Creates the device key in one view with a ProgID and a port, as a tool
// of one bitness (or an older drawerctl) leaves it.
void WriteKey(const std::string& name, REGSAM view, const std::string& port) {
  win::UniqueHKey key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, KeyPath(name).c_str(), 0, nullptr, 0,
                            KEY_WRITE | view, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  SetText(key.get(), nullptr, drawerctl::kServiceProgId);
  SetText(key.get(), "Port", port);
}

// The rows of `drawerctl list` that name this device.
std::vector<std::string> RowsOf(const std::string& listed, const std::string& name) {
  std::vector<std::string> rows;
  for (size_t at = listed.find(name); at != std::string::npos; at = listed.find(name, at + 1)) {
    size_t start = listed.rfind('\n', at) + 1;  // npos + 1 == 0 on the first line
    if (at == start) rows.push_back(listed.substr(start, listed.find('\n', at) - start));
  }
  return rows;
}

// Two registry views exist on 64-bit Windows only; a 32-bit test learns that
// it runs there from IsWow64Process.
bool TwoViews() {
#ifdef _WIN64
  return true;
#else
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}
constexpr char kOneView[] = "32-bit Windows has a single registry view";
constexpr REGSAM kView32 = KEY_WOW64_32KEY, kView64 = KEY_WOW64_64KEY;

class DrawerctlConfig : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const auto& n : created_) {
      for (REGSAM view : {kView32, kView64}) {
        win::UniqueHKey root;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, drawerctl::kCashDrawerKey, 0,
                          KEY_ALL_ACCESS | view, root.put()) == ERROR_SUCCESS)
          RegDeleteTreeA(root.get(), n.c_str());
      }
    }
  }
  std::string Device(const char* what) {
    created_.push_back(TestDevice(what));
    return created_.back();
  }
  std::vector<std::string> created_;
};

TEST_F(DrawerctlConfig, AddWritesTheValuesTheServiceObjectReads) {
  std::string a = Device("a"), b = Device("b");
  ChildResult r = Drawerctl("add " + a + " --port tcp:127.0.0.1:9100 --pin 5 --sensor high-shut");
  ASSERT_EQ(r.exitCode, 0u) << r.out << r.err;
  EXPECT_EQ(ReadText(a, nullptr), "SOTarvoCash.SOTvCash");
  EXPECT_EQ(ReadDword(a, "OpenSingle"), 0u);
  EXPECT_EQ(ReadDword(a, "PinSingle"), 1u);
  EXPECT_EQ(ReadText(a, "Port"), "tcp:127.0.0.1:9100");

  // Defaults: pin 2, sensor bit set means shut (the service object's and the
  // emulator's usual wiring); port letters made canonical.
  ASSERT_EQ(Drawerctl("add " + b + " --port=com2").exitCode, 0u);
  EXPECT_EQ(ReadDword(b, "OpenSingle"), 0u);
  EXPECT_EQ(ReadDword(b, "PinSingle"), 0u);
  EXPECT_EQ(ReadText(b, "Port"), "COM2");

  ChildResult list = Drawerctl("list");
  ASSERT_EQ(list.exitCode, 0u) << list.err;
  size_t rowA = list.out.find(a);
  ASSERT_NE(rowA, std::string::npos) << list.out;
  std::string row = list.out.substr(rowA, list.out.find('\n', rowA) - rowA);
  EXPECT_NE(row.find("tcp:127.0.0.1:9100"), std::string::npos) << row;
  EXPECT_NE(row.find("high-shut"), std::string::npos) << row;
  EXPECT_NE(row.find("SOTarvoCash.SOTvCash"), std::string::npos) << row;
}

// --sensor none writes DrawerSensor 0 in both views; a replacement with a
// sensor takes the value away again, so the key reads as before it existed.
TEST_F(DrawerctlConfig, ADrawerWithoutASensorIsWrittenAndReplacedBack) {
  std::string a = Device("nosensor");
  ChildResult r = Drawerctl("add " + a + " --port \"PRINTER:Till Receipt\" --sensor none");
  ASSERT_EQ(r.exitCode, 0u) << r.out << r.err;
  EXPECT_NE(r.out.find("port PRINTER:Till Receipt, pin 2, sensor none;"), std::string::npos)
      << r.out;
  for (REGSAM view : {kView32, kView64}) {
    EXPECT_EQ(ReadDword(a, "DrawerSensor", view), 0u);
    EXPECT_EQ(ReadDword(a, "OpenSingle", view), 0u) << "the service still wants a polarity";
  }
  ChildResult list = Drawerctl("list");
  ASSERT_EQ(RowsOf(list.out, a).size(), 1u) << list.out;
  EXPECT_NE(RowsOf(list.out, a)[0].find("none (DrawerSensor 0)"), std::string::npos) << list.out;

  ASSERT_EQ(Drawerctl("add " + a + " --port USB --sensor high-open --replace").exitCode, 0u);
  EXPECT_EQ(ReadRaw(a, "DrawerSensor", kView64).type, static_cast<DWORD>(REG_NONE)) << "removed";
  EXPECT_EQ(ReadRaw(a, "DrawerSensor", kView32).type, static_cast<DWORD>(REG_NONE));
  EXPECT_EQ(ReadDword(a, "OpenSingle"), 1u);
  EXPECT_EQ(ReadText(a, "Port"), "USB");
}

// ports names each queue by the Port value that selects it.
TEST_F(DrawerctlConfig, PortsListsThePrinterQueuesWithTheirPortValues) {
  RelayQueue queue(9);
  ASSERT_TRUE(queue.Made()) << queue.Error();
  ChildResult r = Drawerctl("ports");
  ASSERT_EQ(r.exitCode, 0u) << r.err;
  EXPECT_NE(r.out.find("USB printers (USB printing class):\r\n  none found"), std::string::npos)
      << "this machine's Wine has no USB printing class:\n" << r.out;
  const std::string row = "  PRINTER:" + queue.Name();
  const size_t at = r.out.find(row);
  ASSERT_NE(at, std::string::npos) << r.out;
  const std::string line = r.out.substr(at, r.out.find('\r', at) - at);
  EXPECT_NE(line.find("driver Halyard Relay Driver, port |socat"), std::string::npos) << line;
  EXPECT_NE(line.find(", ready"), std::string::npos) << line;
  // The value it shows is one add takes.
  std::string a = Device("fromports");
  EXPECT_EQ(Drawerctl("add " + a + " --port \"PRINTER:" + queue.Name() + "\"").exitCode, 0u);
  EXPECT_EQ(ReadText(a, "Port"), "PRINTER:" + queue.Name());
}

TEST_F(DrawerctlConfig, AnExistingDeviceIsReplacedOnlyWhenAsked) {
  std::string a = Device("replace");
  ASSERT_EQ(Drawerctl("add " + a + " --port LPT1").exitCode, 0u);
  ChildResult again = Drawerctl("add " + a + " --port COM4 --pin 5");
  EXPECT_EQ(again.exitCode, 3u);
  EXPECT_NE(again.err.find("--replace"), std::string::npos) << again.err;
  EXPECT_EQ(ReadText(a, "Port"), "LPT1");
  EXPECT_EQ(ReadDword(a, "PinSingle"), 0u);

  ASSERT_EQ(Drawerctl("add " + a + " --port COM4 --pin 5 --replace").exitCode, 0u);
  EXPECT_EQ(ReadText(a, "Port"), "COM4");
  EXPECT_EQ(ReadDword(a, "PinSingle"), 1u);
}

TEST_F(DrawerctlConfig, BadSettingsAreRefusedAndNothingIsWritten) {
  std::string a = Device("bad");
  for (const char* args : {" --port USB1", " --port tcp:", " --port COM1 --pin 3",
                           " --port COM1 --sensor open", "", " --port COM1 --speed 9600"}) {
    ChildResult r = Drawerctl("add " + a + args);
    EXPECT_EQ(r.exitCode, 2u) << args << "\n" << r.out;
    EXPECT_FALSE(r.err.empty()) << args;
    EXPECT_FALSE(KeyExists(a)) << args;
  }
}

TEST_F(DrawerctlConfig, PortValuesAreJudgedByThePortLibrarysGrammar) {
  std::string a = Device("grammar");
  // Every value the port library refuses, in both spellings of the option
  // by turns, and one past the length limit.
  std::vector<std::pair<std::string, ferrule::Error>> bad;
  for (const portvalues::BadValue& b : portvalues::kBadValues) bad.emplace_back(b.text, b.error);
  bad.emplace_back(std::string(255, 'A'), ferrule::Error::ValueTooLong);
  for (size_t i = 0; i < bad.size(); ++i) {
    const auto& [port, code] = bad[i];
    const ferrule::ErrorWords* words = ferrule::PortValueErrorWords(code);
    ASSERT_NE(words, nullptr) << port;
    ChildResult r = Drawerctl("add " + a + (i % 2 ? " --port=\"" : " --port \"") + port + "\"");
    EXPECT_EQ(r.exitCode, 2u) << port << "\n" << r.out;
    EXPECT_NE(r.err.find(std::string(words->word) + " ("), std::string::npos)
        << port << ": " << r.err;
    EXPECT_NE(r.err.find(std::string(words->reason)), std::string::npos) << port << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line: " << r.err;
    EXPECT_FALSE(KeyExists(a)) << port;
  }
  // The documented forms, and the ends of every range.
  for (const char* good : {"COM3:38400,N,8,1", "tcp:[::1]:9100", "COM255", "LPT10", "LPT255",
                           "tcp:till-printer.local:65535", "COM12:115200,E,7,1.5"}) {
    ChildResult r = Drawerctl("add " + a + " --port " + good + " --replace");
    EXPECT_EQ(r.exitCode, 0u) << good << "\n" << r.err;
    EXPECT_EQ(ReadText(a, "Port"), good);
  }
}

TEST_F(DrawerctlConfig, RemoveDeletesOnlyThisServiceObjectsDrawers) {
  std::string ours = Device("ours"), theirs = Device("theirs");
  ASSERT_EQ(Drawerctl("add " + ours + " --port COM1").exitCode, 0u);
  {
    win::UniqueHKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, KeyPath(theirs).c_str(), 0, nullptr, 0,
                              KEY_WRITE, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    const char progId[] = "OtherVendor.CashDrawer";
    RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(progId),
                   sizeof(progId));
  }
  ChildResult refused = Drawerctl("remove " + theirs);
  EXPECT_EQ(refused.exitCode, 3u);
  EXPECT_NE(refused.err.find("OtherVendor.CashDrawer"), std::string::npos) << refused.err;
  EXPECT_TRUE(KeyExists(theirs));

  ChildResult removed = Drawerctl("remove " + ours);
  EXPECT_EQ(removed.exitCode, 0u) << removed.err;
  EXPECT_FALSE(KeyExists(ours));
  EXPECT_EQ(Drawerctl("remove " + ours).exitCode, 3u);
  EXPECT_EQ(Drawerctl("list").out.find(ours), std::string::npos);
}

TEST_F(DrawerctlConfig, AServiceObjectThatCannotBeCreatedIsACreationFailure) {
  std::string a = Device("noprogid");
  ASSERT_EQ(Drawerctl("add " + a + " --port COM1").exitCode, 0u);
  {
    win::UniqueHKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyPath(a).c_str(), 0, KEY_WRITE, key.put()),
              ERROR_SUCCESS);
    const char progId[] = "No.Such.ServiceObject";
    RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(progId),
                   sizeof(progId));
  }
  ChildResult r = Drawerctl("status " + a);
  EXPECT_EQ(r.exitCode, 4u) << r.out << r.err;
  // Only this process's view got the other ProgID.
  EXPECT_NE(r.out.find(TwoViews() ? "registry views: 32-bit, 64-bit, with different settings"
                                  : "registry views: 32-bit;"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.err.find("served by another service object, No.Such.ServiceObject, not by Halyard"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("regsvr32"), std::string::npos) << "registering cannot help: " << r.err;

  // A polarity of the wrong type is no missing one.
  {
    win::UniqueHKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyPath(a).c_str(), 0, KEY_WRITE, key.put()),
              ERROR_SUCCESS);
    RegSetValueExA(key.get(), "OpenSingle", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
  }
  std::vector<std::string> rows = RowsOf(Drawerctl("list").out, a);
  ASSERT_FALSE(rows.empty());
  EXPECT_NE(rows.back().find("not DWORD"), std::string::npos) << rows.back();

  ChildResult missing = Drawerctl("open " + TestDevice("never-added"));
  EXPECT_EQ(missing.exitCode, 3u);
  EXPECT_NE(missing.err.find("drawerctl add"), std::string::npos) << missing.err;
}

TEST_F(DrawerctlConfig, AddWritesBothViewsAndRemoveDeletesBoth) {
  if (!TwoViews()) GTEST_SKIP() << kOneView;
  std::string a = Device("views");
  ASSERT_EQ(Drawerctl("add " + a + " --port COM3 --pin 5").exitCode, 0u);
  ASSERT_EQ(Drawerctl("add " + a + " --port COM4 --pin 5 --replace").exitCode, 0u);
  for (REGSAM view : {kView32, kView64}) {
    EXPECT_EQ(ReadText(a, nullptr, view), "SOTarvoCash.SOTvCash") << view;
    EXPECT_EQ(ReadText(a, "Port", view), "COM4") << view;
    EXPECT_EQ(ReadDword(a, "PinSingle", view), 1u) << view;
    EXPECT_EQ(ReadDword(a, "OpenSingle", view), 0u) << view;
  }
  EXPECT_NE(RowsOf(Drawerctl("list").out, a).at(0).find("32-bit, 64-bit"), std::string::npos);

  ChildResult removed = Drawerctl("remove " + a);
  EXPECT_EQ(removed.exitCode, 0u) << removed.err;
  EXPECT_FALSE(KeyExists(a, kView32));
  EXPECT_FALSE(KeyExists(a, kView64));
}

TEST_F(DrawerctlConfig, ADrawerInOneViewIsListedAsSuchAndStillCounts) {
  if (!TwoViews()) GTEST_SKIP() << kOneView;
  std::string only32 = Device("only32"), only64 = Device("only64");
  WriteKey(only32, kView32, "COM5");
  WriteKey(only64, kView64, "COM6");
  ChildResult list = Drawerctl("list");
  ASSERT_EQ(RowsOf(list.out, only32).size(), 1u) << list.out;
  ASSERT_EQ(RowsOf(list.out, only64).size(), 1u) << list.out;
  EXPECT_NE(RowsOf(list.out, only32)[0].find("32-bit only"), std::string::npos) << list.out;
  EXPECT_NE(RowsOf(list.out, only64)[0].find("64-bit only"), std::string::npos) << list.out;

  // drawerctl reads its own view, as the service object it creates does.
  bool own64 = sizeof(void*) == 8;
  ChildResult status = Drawerctl("status " + (own64 ? only32 : only64));
  EXPECT_EQ(status.exitCode, 3u) << status.out << status.err;
  EXPECT_NE(status.err.find(own64 ? "32-bit only" : "64-bit only"), std::string::npos)
      << status.err;

  // 32-bit tills use it: adding it again needs --replace, as in one view.
  EXPECT_EQ(Drawerctl("add " + only32 + " --port COM7").exitCode, 3u);
  EXPECT_FALSE(KeyExists(only32, kView64));
  ChildResult removed = Drawerctl("remove " + only32);
  EXPECT_EQ(removed.exitCode, 0u) << removed.err;
  EXPECT_FALSE(KeyExists(only32, kView32));
}

TEST_F(DrawerctlConfig, ViewsWithDifferentSettingsAreBothListed) {
  if (!TwoViews()) GTEST_SKIP() << kOneView;
  std::string a = Device("differs");
  ASSERT_EQ(Drawerctl("add " + a + " --port COM1").exitCode, 0u);
  WriteKey(a, kView64, "COM2");
  ChildResult list = Drawerctl("list");
  std::vector<std::string> rows = RowsOf(list.out, a);
  ASSERT_EQ(rows.size(), 2u) << list.out;
  EXPECT_NE(rows[0].find("32-bit (differs)"), std::string::npos) << rows[0];
  EXPECT_NE(rows[0].find("COM1"), std::string::npos) << rows[0];
  EXPECT_NE(rows[1].find("64-bit (differs)"), std::string::npos) << rows[1];
  EXPECT_NE(rows[1].find("COM2"), std::string::npos) << rows[1];
}

// Lets everyone do anything with the device key but set its values, as a
// locked-down machine may have it in one view.
void LockValues(const std::string& name, REGSAM view) {
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof(everyone);
  ASSERT_TRUE(CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize));
  alignas(DWORD) BYTE aclBytes[256];
  ACL* acl = reinterpret_cast<ACL*>(aclBytes);
  ASSERT_TRUE(InitializeAcl(acl, sizeof(aclBytes), ACL_REVISION));
  ASSERT_TRUE(AddAccessDeniedAce(acl, ACL_REVISION, KEY_SET_VALUE, everyone));
  ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone));
  SECURITY_DESCRIPTOR sd;
  ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE));
  win::UniqueHKey key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyPath(name).c_str(), 0, WRITE_DAC | view,
                          key.put()),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
}

// The 64-bit view refuses the write after the 32-bit view has taken it.
TEST_F(DrawerctlConfig, AViewThatRefusesTheWriteIsNamedAndNoSuccessIsClaimed) {
  if (!TwoViews()) GTEST_SKIP() << kOneView;
  std::string a = Device("locked");
  WriteKey(a, kView64, "COM1");
  LockValues(a, kView64);

  ChildResult r = Drawerctl("add " + a + " --port COM9 --replace");
  EXPECT_EQ(r.exitCode, 3u) << r.out << r.err;
  EXPECT_NE(r.err.find("64-bit view"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("denied"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("replaced"), std::string::npos) << r.out;
  EXPECT_EQ(ReadText(a, "Port", kView64), "COM1");
  EXPECT_EQ(ReadText(a, "Port", kView32), "COM9");  // and the message says so
  EXPECT_NE(r.err.find("32-bit view already holds"), std::string::npos) << r.err;
}

TEST(DrawerctlHelp, ToolAndEveryCommandAnswerHelp) {
  ChildResult tool = Drawerctl("--help");
  EXPECT_EQ(tool.exitCode, 0u);
  EXPECT_NE(tool.out.find("exit codes"), std::string::npos);
  for (const char* c : {"list", "add", "remove", "open", "status", "watch", "wait", "health",
                        "cycle"}) {
    ChildResult r = Drawerctl(std::string(c) + " --help");
    EXPECT_EQ(r.exitCode, 0u) << c;
    EXPECT_EQ(r.out.find(std::string("usage: drawerctl ") + c), 0u) << r.out;
  }
  EXPECT_EQ(Drawerctl("").exitCode, 2u);
  EXPECT_EQ(Drawerctl("frobnicate").exitCode, 2u);
  EXPECT_EQ(Drawerctl("open").exitCode, 2u);
  EXPECT_EQ(Drawerctl("health X --level 4").exitCode, 2u);
  EXPECT_EQ(Drawerctl("watch X --seconds -1").exitCode, 2u);
  EXPECT_EQ(Drawerctl("watch X --seconds 4294968").exitCode, 2u);
}

}  // namespace
