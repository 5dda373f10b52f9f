// From the setup's uninstall entry and "OPOSLog.ini" to the logging
// library's set-up record, on the real registry and INI reader of the prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "diag/log_config.h"
#include "tests/support/log_installation.h"
#include "so/service_object.h"

namespace {

using namespace logconfig;

TEST(LogConfigPaths, InstallDirIsTheUninstallersDirectoryQuotedOrNot) {
  struct Case { const char* value; const char* dir; };
  const Case cases[] = {
      {"C:\\Setup\\unins000.exe", "C:\\Setup\\"},
      {"\"C:\\Setup\\unins000.exe\"", "C:\\Setup\\"},
      {"\"\"C:\\Setup\\unins000.exe\"\"", "C:\\Setup\\"},
      {"C:\\Program Files\\OPOS\\unins000.exe\"", "C:\\Program Files\\OPOS\\"},
      {"\"", ""},
      {"unins000.exe", ""},
  };
  for (const Case& c : cases) {
    char dir[MAX_PATH];
    InstallDirFromUninstallString(c.value, dir);
    EXPECT_STREQ(dir, c.dir) << c.value;
  }
}

TEST(LogConfigPaths, PathsThatWouldNotFitAreRefusedNotCut) {
  char ini[MAX_PATH];
  char log[MAX_PATH];
  ASSERT_TRUE(FormPaths("C:\\Setup\\", ini, log));
  EXPECT_STREQ(ini, "C:\\Setup\\OPOSLog.ini");
  EXPECT_STREQ(log, "C:\\Setup\\Cashlog\\CashRollback.log");

  // The log path is the longer one: 24 characters after the directory.
  std::string dir = "C:\\" + std::string(231, 'd') + "\\";
  ASSERT_EQ(dir.size(), 235u);
  ASSERT_TRUE(FormPaths(dir.c_str(), ini, log));
  EXPECT_EQ(std::strlen(log), 259u);
  dir.insert(3, "e");
  EXPECT_FALSE(FormPaths(dir.c_str(), ini, log));
}

class LogConfigFile : public ::testing::Test {
 protected:
  diagtest::Installation install_{"halyard_logcfg_"};
  std::string ini_ = install_.dir() + "OPOSLog.ini";
};

TEST_F(LogConfigFile, EveryKeyIsReadAndTranslated) {
  install_.WriteIni(
      "[Other]\r\nlevel=Log_Level_Fatal\r\n"
      "[Cash_Log]\r\n"
      "level=Log_Level_Debug\r\nmode=Log_Mode_Date\r\nmax_file_size=30000000\r\n"
      "max_backup_index=150\r\nflush_size=4096\r\nformat=%D %T %m\r\n");
  LogConfig config;
  std::memset(&config, 0x5a, sizeof(config));
  ReadLogConfig(ini_.c_str(), "C:\\x\\Cashlog\\CashRollback.log", config);
  EXPECT_STREQ(config.path, "C:\\x\\Cashlog\\CashRollback.log");
  EXPECT_EQ(config.level, 2);
  EXPECT_EQ(config.mode, 3);
  EXPECT_EQ(config.max_file_size, 20971520);
  EXPECT_EQ(config.max_backup_index, 99);
  EXPECT_EQ(config.flush_size, 1024);
  EXPECT_STREQ(config.format, "%D %T %m");
}

TEST_F(LogConfigFile, MissingFileOrSectionGivesTheDefaults) {
  for (bool withFile : {false, true}) {
    if (withFile) install_.WriteIni("[Cash]\r\nlevel=Log_Level_Debug\r\n");
    LogConfig config;
    std::memset(&config, 0x5a, sizeof(config));
    ReadLogConfig(ini_.c_str(), "C:\\log", config);
    EXPECT_EQ(config.level, 9) << withFile;
    EXPECT_EQ(config.mode, 2) << withFile;
    EXPECT_EQ(config.max_file_size, 0) << withFile;
    EXPECT_EQ(config.max_backup_index, 0) << withFile;
    EXPECT_EQ(config.flush_size, 0) << withFile;
    EXPECT_STREQ(config.format, "") << withFile;
  }
}

TEST_F(LogConfigFile, LongFormatIsCutToItsFieldAndNothingBeyondIsWritten) {
  const std::string format(100, 'f');
  install_.WriteIni("[Cash_Log]\r\nformat=" + format + "\r\n");
  struct Guarded {
    LogConfig config;
    char after[16];
  } g;
  std::memset(&g, 0x5a, sizeof(g));
  ReadLogConfig(ini_.c_str(), "C:\\log", g.config);
  EXPECT_EQ(std::string(g.config.format), format.substr(0, 63));
  for (char c : g.after) EXPECT_EQ(c, 0x5a);
}

class LogConfigInstallation : public LogConfigFile {
 protected:
  diagtest::UninstallEntry entry_;
};

TEST_F(LogConfigInstallation, UninstallEntryLeadsToTheIniAndTheLogPath) {
  install_.WriteIni("[Cash_Log]\r\nlevel=Log_Level_Info\r\n");
  for (const std::string& value :
       {install_.dir() + "unins000.exe", "\"" + install_.dir() + "unins000.exe\""}) {
    ASSERT_TRUE(entry_.Set(value));
    char dir[MAX_PATH];
    ASSERT_TRUE(logconfig::GetInstallDir(dir)) << value;
    EXPECT_EQ(std::string(dir), install_.dir());
    LogConfig config{};
    ASSERT_TRUE(LogConfigForInstallation(config));
    EXPECT_EQ(std::string(config.path), install_.LogPath());
    EXPECT_EQ(config.level, 3);
  }
}

TEST_F(LogConfigInstallation, NoUsableEntryMeansNoSetUp) {
  char dir[MAX_PATH];
  LogConfig config{};
  entry_.Remove();
  EXPECT_FALSE(logconfig::GetInstallDir(dir));
  EXPECT_FALSE(LogConfigForInstallation(config));

  ASSERT_TRUE(entry_.Set("", REG_DWORD));
  EXPECT_FALSE(logconfig::GetInstallDir(dir)) << "a number is not a path";

  // 260 characters do not fit the 260-byte buffer with their terminator.
  ASSERT_TRUE(entry_.Set("C:\\" + std::string(247, 'd') + "\\unins.exe"));
  EXPECT_FALSE(logconfig::GetInstallDir(dir));
  ASSERT_TRUE(entry_.Set("C:\\" + std::string(246, 'd') + "\\unins.exe"));
  EXPECT_TRUE(logconfig::GetInstallDir(dir));
  // The directory fits, but its log file path would not: no set-up at all
  // rather than a log file somewhere else.
  EXPECT_FALSE(LogConfigForInstallation(config));
}

}  // namespace
