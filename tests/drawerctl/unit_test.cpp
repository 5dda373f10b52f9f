// drawerctl's own logic, without a service object: what an operator types
// and what drawerctl tells back.
#include <gtest/gtest.h>

#include <cstdio>

#include "args.h"
#include "commands.h"
#include "create_diagnosis.h"
#include "device_config.h"
#include "log_tail.h"
#include "opos_names.h"
#include "port_choice.h"
#include "printer_list.h"
#include "tests/support/scratch_files.h"

namespace drawerctl {
namespace {

TEST(PortChoice, AcceptsTheThreeKindsInCanonicalForm) {
  EXPECT_EQ(ParsePort("tcp:192.168.1.50").value, "tcp:192.168.1.50");
  EXPECT_EQ(ParsePort("TCP:till-printer.local:9100").value, "tcp:till-printer.local:9100");
  EXPECT_EQ(ParsePort("com3").value, "COM3");
  EXPECT_EQ(ParsePort("com3:38400,n,8,1").value, "COM3:38400,N,8,1");
  EXPECT_EQ(ParsePort(" tcp:[::1]:9100 ").value, "tcp:[::1]:9100");
  EXPECT_EQ(ParsePort("lpt1").value, "LPT1");
}

TEST(PortChoice, UsbAndQueueFormsKeepWhatFollowsTheirWordAsTyped) {
  EXPECT_EQ(ParsePort("usb").value, "USB");
  EXPECT_EQ(ParsePort("Usb:j6ef012345").value, "USB:j6ef012345");
  EXPECT_EQ(ParsePort("usb:\\\\.\\pipe\\Till Printer").value, "USB:\\\\.\\pipe\\Till Printer");
  EXPECT_EQ(ParsePort(" printer:EPSON TM-T20II Receipt ").value, "PRINTER:EPSON TM-T20II Receipt");
}

// A USB printer is named by its serial where it has one, else by the part
// of its path Windows made up; what a list row shows of it.
TEST(PortsReport, UsbPrintersAreNamedByWhatFindsThemAgain) {
  ferrule::UsbPrinter withSerial;
  withSerial.path = "\\\\?\\usb#vid_04b8&pid_0202#j6ef012345#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
  withSerial.instance = "j6ef012345";
  withSerial.serial = "J6EF012345";
  withSerial.id.maker = "EPSON";
  withSerial.id.model = "TM-T88V";
  ferrule::UsbPrinter without;
  without.path = "\\\\?\\usb#vid_0519&pid_0001#6&2b0e1a7&0&1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
  without.instance = "6&2b0e1a7&0&1";
  without.idError = ERROR_SHARING_VIOLATION;
  const FoundPrinter a = DescribeUsbPrinter(withSerial), b = DescribeUsbPrinter(without);
  EXPECT_EQ(a.port, "USB:J6EF012345");
  EXPECT_EQ(a.description, "EPSON TM-T88V, serial J6EF012345, " + withSerial.path);
  EXPECT_EQ(b.port, "USB:6&2b0e1a7&0&1");
  EXPECT_EQ(b.description.rfind("maker and model unknown (device ID: error 32), serial none", 0),
            0u)
      << b.description;
  for (const FoundPrinter& f : {a, b}) EXPECT_TRUE(ParsePort(f.port).ok) << f.port;

  std::vector<std::string> one = PortsReport({a}, {});
  EXPECT_EQ(one, (std::vector<std::string>{
                     "USB printers (USB printing class):",
                     "  USB:J6EF012345                 " + a.description,
                     "  (the only one: --port USB selects it too)", "printer queues:", "  none"}));
  EXPECT_EQ(PortsReport({a, b}, {}).size(), 5u) << "no note with two";
}

TEST(PortChoice, RefusesWhatThePortLibraryCouldNotOpen) {
  for (const char* bad : {"", "tcp:", "tcp::9100", "tcp:host:", "tcp:host:0", "tcp:host:65536",
                          "tcp:host:91x", "tcp:ho st", "COM", "COM0", "COM256", "LPT0", "USB1",
                          "192.168.1.50"}) {
    PortChoice p = ParsePort(bad);
    EXPECT_FALSE(p.ok) << bad;
    EXPECT_FALSE(p.error.empty()) << bad;
  }
  EXPECT_EQ(ParsePort("COM256").error.rfind("SerialNumberInvalid (18) at character 4: ", 0), 0u)
      << ParsePort("COM256").error;
}

TEST(ResultNames, EveryOposResultHasANameAndAHint) {
  EXPECT_EQ(ResultLabel(0), "OPOS_SUCCESS (0)");
  for (LONG code = 101; code <= 114; ++code) {
    const ResultInfo* r = FindResult(code);
    ASSERT_NE(r, nullptr) << code;
    EXPECT_EQ(r->name.substr(0, 7), "OPOS_E_") << code;
    EXPECT_FALSE(ResultHint("anything", code).empty()) << code;
  }
  EXPECT_EQ(ResultLabel(111), "OPOS_E_FAILURE (111)");
  EXPECT_EQ(ResultLabel(115), "unknown result (115)");
}

TEST(ResultNames, AFailedOpenPointsAtThePortAndTheLog) {
  std::string_view afterOpen = ResultHint("OpenService", 111);
  EXPECT_NE(afterOpen.find("Port"), std::string_view::npos);
  EXPECT_NE(afterOpen.find("log"), std::string_view::npos);
  EXPECT_NE(afterOpen, ResultHint("ReleaseDevice", 111));
}

TEST(ResultNames, AClaimHeldElsewhereIsNamedAsSuch) {
  constexpr std::string_view kClaimed = "claimed by another application";
  EXPECT_EQ(ResultHint("openDrawer", 102).substr(0, kClaimed.size()), kClaimed);
  EXPECT_EQ(ResultHint("ClaimDevice", 112).substr(0, kClaimed.size()), kClaimed);
  EXPECT_EQ(ResultHint("anything", 112).find(kClaimed), std::string_view::npos)
      << "a timeout elsewhere is the printer's";
}

TEST(PropertyNames, DescribeValuesAnOperatorReads) {
  const PropertyInfo* state = FindProperty("state");
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->index, 9);
  EXPECT_EQ(DescribePropertyValue(*state, 3), "3 OPOS_S_BUSY");
  EXPECT_EQ(DescribePropertyValue(*FindProperty("DrawerOpened"), 1), "1 (open)");
  EXPECT_EQ(DescribePropertyValue(*FindProperty("PowerState"), 2000), "2000 OPOS_PS_UNKNOWN");
  EXPECT_EQ(DescribePropertyValue(*FindProperty("CapPowerReporting"), 2), "2 OPOS_PR_ADVANCED");
  EXPECT_EQ(FindProperty("ServiceObjectDescription")->kind, PropertyKind::Text);
  EXPECT_EQ(FindProperty("CheckHealthText")->index, 1000001);
  EXPECT_EQ(FindProperty("NoSuchProperty"), nullptr);
}

TEST(DeviceSettings, WordsMatchTheServiceObjectsReading) {
  EXPECT_EQ(PinChoice("2"), 0u);
  EXPECT_EQ(PinChoice("5"), 1u);
  EXPECT_FALSE(PinChoice("3"));
  EXPECT_EQ(SensorChoice("high-open"), 1u);
  EXPECT_EQ(SensorChoice("high-shut"), 0u);
  // The service takes any PinSingle but 0 as pin 5 and any OpenSingle but 1 as high-shut.
  EXPECT_EQ(PinWord(7), "5");
  EXPECT_EQ(SensorWord(2), "high-shut");
}

TEST(DeviceSettings, NamesThatCannotBeAKeyAreRefused) {
  EXPECT_TRUE(CheckDeviceName("KX8-Front till").empty());
  EXPECT_FALSE(CheckDeviceName("").empty());
  EXPECT_FALSE(CheckDeviceName("a\\b").empty());
  EXPECT_TRUE(CheckDeviceName(std::string(154, 'x')).empty());
  EXPECT_FALSE(CheckDeviceName(std::string(155, 'x')).empty());
}

TEST(LogTail, InstallDirComesFromTheUninstallerPath) {
  EXPECT_EQ(InstallDirFromUninstallString("\"C:\\Setup\\unins000.exe\""), "C:\\Setup\\");
  EXPECT_EQ(InstallDirFromUninstallString("C:\\Setup\\unins000.exe"), "C:\\Setup\\");
  EXPECT_EQ(InstallDirFromUninstallString("\"Z:\\a b\\uninstall.exe\"\""), "Z:\\a b\\");
  EXPECT_EQ(InstallDirFromUninstallString("uninstall.exe"), "");
}

TEST(LogTail, ShowsOnlyTheLastLinesOfErrorLevel) {
  std::string log =
      "2026-12-09 04:01:37.800 [DEBUG] [12] Cash.OpenService(...)\r\n"
      "2026-12-09 04:01:37.801 [ERROR] [12] Cash.OpenService 1:OpenPort 31 10061\r\n"
      "2026-12-09 04:01:37.802 [DEBUG] [12] SetDeviceEnabled Failed ERROR\r\n"
      "04:01:38.000 CRIT x\r\n04:01:38.001 FATAL y\r\n04:01:38.002 DEBUG z\r\n";
  EXPECT_EQ(DiagnosticLines(log, 2),
            (std::vector<std::string>{"04:01:38.000 CRIT x", "04:01:38.001 FATAL y"}));
  EXPECT_EQ(DiagnosticLines(log, 5).size(), 3u) << "a DEBUG line saying ERROR is no error";
  EXPECT_TRUE(DiagnosticLines("a DEBUG b\nc INFO d\n", 2).empty());
  EXPECT_TRUE(DiagnosticLines("", 3).empty());
}

TEST(LogTail, ReadsOnlyWhatFollowsTheMarkUnlessTheFileRolledOver) {
  char dir[MAX_PATH];
  ASSERT_NE(GetTempPathA(MAX_PATH, dir), 0u);
  const std::string path =
      std::string(dir) + "drawerctl-logtail-" + std::to_string(GetCurrentProcessId()) + ".log";
  auto write = [&](const char* text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(text, f);
    std::fclose(f);
  };
  write("before [ERROR] old\r\nduring [ERROR] new\r\n");
  EXPECT_EQ(ReadLogFrom(path, 20), "during [ERROR] new\r\n");
  write("x [ERROR] y\r\n");  // rolled over: shorter than the mark
  EXPECT_EQ(ReadLogFrom(path, 20), "x [ERROR] y\r\n");
  DeleteFileA(path.c_str());
  EXPECT_FALSE(ReadLogFrom(path, 0).has_value());
}

TEST(LogTail, TheDateModeNamesTodaysFile) {
  SYSTEMTIME day{};
  day.wYear = 2026;
  day.wMonth = 12;
  day.wDay = 9;
  EXPECT_EQ(LogFileName("Log_Mode_Date", day), "CashRollback-2026-12-09.log");
  EXPECT_EQ(LogFileName("Log_Mode_Rollback", day), "CashRollback.log");
  EXPECT_EQ(LogFileName("", day), "CashRollback.log");
}

TEST(Commands, EveryCommandHasHelpNamingItsUsage) {
  for (const char* name : {"list", "add", "remove", "open", "status", "watch", "wait", "health",
                           "cycle"}) {
    const CommandSpec* c = FindCommand(name);
    ASSERT_NE(c, nullptr) << name;
    std::string help = CommandHelp(*c);
    EXPECT_EQ(help.find(std::string("usage: drawerctl ") + name), 0u) << help;
    EXPECT_NE(ToolHelp().find(std::string("  ") + name), std::string::npos) << name;
    for (size_t i = 0; i < c->optionCount; ++i)
      EXPECT_NE(help.find("--" + std::string(c->options[i].name)), std::string::npos) << name;
  }
}

// The service object beside this test, copied alone into a folder: what a
// till meets when an installation lost its libraries.
TEST(CreateDiagnosis, AServerWithoutItsLibrariesNamesThemAndDoesNotSayRegisterAgain) {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string bin(self);
  bin.resize(bin.find_last_of('\\') + 1);
  ASSERT_TRUE(scratch::Exists(bin + "Halyard.dll")) << bin;
  EXPECT_EQ(WhyServerCannotLoad(bin + "Halyard.dll"), "") << "it loads where it was built";

  scratch::ScratchDir dir;
  ASSERT_TRUE(CopyFileA((bin + "Halyard.dll").c_str(), (dir / "Halyard.dll").c_str(), FALSE));
  const std::string why = WhyServerCannotLoad(dir / "Halyard.dll");
  EXPECT_NE(why.find("Quire.dll"), std::string::npos) << why;
  EXPECT_NE(why.find("registering again cannot help"), std::string::npos) << why;
  EXPECT_EQ(why.find("regsvr32"), std::string::npos) << why;
}

}  // namespace
}  // namespace drawerctl
