// drawerctl.exe run as an operator runs it, against the Wine registry: the
// device key it writes is exactly what the service object and the port
// library read, and it never touches another vendor's drawer.
#include <gtest/gtest.h>

#include <string>

#include "child_process.h"
#include "common/win32_raii.h"
#include "device_config.h"

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

bool KeyExists(const std::string& name) {
  win::UniqueHKey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, KeyPath(name).c_str(), 0, KEY_READ, key.put()) ==
         ERROR_SUCCESS;
}

struct RawValue {
  DWORD type = REG_NONE;
  std::string bytes;
};

RawValue ReadRaw(const std::string& name, const char* value) {
  RawValue v;
  char data[256] = {};
  DWORD size = sizeof(data);
  if (RegGetValueA(HKEY_LOCAL_MACHINE, KeyPath(name).c_str(), value, RRF_RT_ANY, &v.type, data,
                   &size) == ERROR_SUCCESS)
    v.bytes.assign(data, size);
  return v;
}

DWORD ReadDword(const std::string& name, const char* value) {
  RawValue v = ReadRaw(name, value);
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_DWORD)) << value;
  DWORD d = 0xDEAD;
  if (v.bytes.size() == sizeof(DWORD)) memcpy(&d, v.bytes.data(), sizeof(d));
  return d;
}

std::string ReadText(const std::string& name, const char* value) {
  RawValue v = ReadRaw(name, value);
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ)) << (value ? value : "(default)");
  return std::string(v.bytes.c_str());
}

class DrawerctlConfig : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const auto& n : created_) {
      win::UniqueHKey root;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, drawerctl::kCashDrawerKey, 0, KEY_ALL_ACCESS,
                        root.put()) == ERROR_SUCCESS)
        RegDeleteTreeA(root.get(), n.c_str());
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
  EXPECT_NE(r.err.find("No.Such.ServiceObject"), std::string::npos) << r.err;

  ChildResult missing = Drawerctl("open " + TestDevice("never-added"));
  EXPECT_EQ(missing.exitCode, 3u);
  EXPECT_NE(missing.err.find("drawerctl add"), std::string::npos) << missing.err;
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
