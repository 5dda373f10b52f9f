// drawerctl reading the service object's log as a technician would: the
// excerpt after a failure holds only the error lines of this command, from
// the file the settings name (a Date-mode day file too), and a log that
// cannot be written is said so by status and health.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "emulated_drawer.h"
#include "tests/support/log_installation.h"

namespace {

std::string Today() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char day[16];
  std::snprintf(day, sizeof(day), "%04u-%02u-%02u", t.wYear, t.wMonth, t.wDay);
  return day;
}

// An installation of its own for the life of a test, logging at the debug level.
struct LoggingInstallation {
  explicit LoggingInstallation(const char* name, const char* mode) : installation(name) {
    installation.WriteIni(std::string("[Cash_Log]\r\nlevel=Log_Level_Debug\r\nmode=") + mode +
                          "\r\n");
    EXPECT_TRUE(entry.Set(installation.dir() + "unins000.exe"));
  }
  diagtest::Installation installation;
  diagtest::UninstallEntry entry;
};

TEST(DrawerctlLog, TheExcerptHoldsOnlyThisCommandsErrorsFromTodaysDateFile) {
  LoggingInstallation setup("drawerctl-date-log", "Log_Mode_Date");
  const std::string folder = setup.installation.dir() + "Cashlog\\";
  const std::string file = folder + "CashRollback-" + Today() + ".log";
  CreateDirectoryA(folder.c_str(), nullptr);
  {
    // An earlier run's error, of another drawer, already in today's file.
    std::ofstream earlier(file, std::ios::binary);
    earlier << Today() << " 06:00:00.000 [ERROR] [7] Cash.OpenService 1:RegQuery OpenSingle "
            << "earlier-run\r\n";
  }
  EmulatedDrawer drawer("log-absent", {2, 2, -1, -1});
  ChildResult r = drawer.Run("open");
  EXPECT_EQ(r.exitCode, 1u) << r.out << r.err;
  const std::string named = "  log: " + file;
  size_t at = r.out.find(named);
  ASSERT_NE(at, std::string::npos) << r.out;
  EXPECT_TRUE(r.out[at + named.size()] == '\r' || r.out[at + named.size()] == '\n') << r.out;
  EXPECT_NE(FindFrom(r.out, "[ERROR]", at), std::string::npos) << r.out;
  EXPECT_NE(FindFrom(r.out, "OpenPort 31 10061", at), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("earlier-run"), std::string::npos) << "an earlier run's line: " << r.out;
  EXPECT_EQ(r.out.find("[DEBUG]"), std::string::npos) << "only error lines: " << r.out;
  EXPECT_EQ(r.out.find("log: no installation"), std::string::npos) << r.out;
}

TEST(DrawerctlLog, StatusAndHealthSayWhenTheLogCannotBeWritten) {
  LoggingInstallation setup("drawerctl-blocked-log", "Log_Mode_Rollback");
  // A file where the log's folder should be.
  const std::string blocker = setup.installation.dir() + "Cashlog";
  { std::ofstream(blocker, std::ios::binary) << "not a folder"; }
  EmulatedDrawer drawer("log-blocked");
  const std::string said = "  log: cannot write " + blocker + "\\CashRollback.log: ";
  const std::pair<const char*, const char*> commands[] = {{"status", ""},
                                                          {"health", "--level 1"}};
  for (const auto& [command, options] : commands) {
    ChildResult r = drawer.Run(command, options);
    EXPECT_EQ(r.exitCode, 0u) << command << "\n" << r.out << r.err;
    size_t at = r.out.find(said);
    ASSERT_NE(at, std::string::npos) << command << "\n" << r.out;
    EXPECT_NE(r.out.find('(', at + said.size()), std::string::npos) << "a reason: " << r.out;
  }
  DeleteFileA(blocker.c_str());
}

}  // namespace
