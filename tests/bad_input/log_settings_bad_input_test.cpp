// The log settings as a damaged installation leaves them: an OPOSLog.ini of
// random bytes, of UTF-16, with 100,000-character values, numbers past any
// range and sections cut short; an uninstall entry of every wrong type,
// length and shape. The set-up record must come out in range with nothing
// written past it, and a service object built on it must work and go.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>

#include "diag/log_config.h"
#include "so/service_object.h"
#include "tests/support/log_installation.h"

namespace {

struct Guarded {
  char before[16];
  LogConfig config;
  char after[16];
};

void ExpectInRange(const Guarded& g, const std::string& what) {
  for (char c : g.before) ASSERT_EQ(c, 0x5a) << what << ": written before the record";
  for (char c : g.after) ASSERT_EQ(c, 0x5a) << what << ": written past the record";
  EXPECT_TRUE(g.config.level >= 1 && g.config.level <= 9) << what << " level " << g.config.level;
  EXPECT_TRUE(g.config.mode >= 1 && g.config.mode <= 3) << what << " mode " << g.config.mode;
  EXPECT_LE(g.config.max_file_size, 20971520) << what;
  EXPECT_LE(g.config.max_backup_index, 99) << what;
  EXPECT_LE(g.config.flush_size, 1024) << what;
  EXPECT_LT(strnlen(g.config.format, sizeof(g.config.format)), sizeof(g.config.format)) << what;
  EXPECT_LT(strnlen(g.config.path, sizeof(g.config.path)), sizeof(g.config.path)) << what;
}

// Builds a service object on the installation, lets it log and drops it.
void UseServiceObject() {
  auto* so = new SOTvCash();
  so->AddRef();
  LONG rc = 0;
  so->ClaimDevice(0, &rc);
  EXPECT_EQ(rc, 110);
  win::UniqueBstr text = win::MakeBstr(std::wstring(100000, L'x').c_str());
  so->SetPropertyString(1, text.get());
  so->Release();
}

std::string RandomBytes(std::mt19937& rng, size_t n) {
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

class LogSettingsBadInput : public ::testing::Test {
 protected:
  diagtest::UninstallEntry entry_;
  diagtest::Installation install_{"halyard_badini_"};
  std::string ini_ = install_.dir() + "OPOSLog.ini";

  void Check(const std::string& body, const std::string& what) {
    install_.WriteIni(body);
    Guarded g;
    std::memset(&g, 0x5a, sizeof(g));
    logconfig::ReadLogConfig(ini_.c_str(), "C:\\log\\CashRollback.log", g.config);
    ExpectInRange(g, what);
    ASSERT_TRUE(entry_.Set("\"" + install_.dir() + "unins000.exe\""));
    UseServiceObject();
  }
};

}  // namespace

TEST_F(LogSettingsBadInput, GarbageHugeAndBrokenIniFiles) {
  std::mt19937 rng(7);
  const std::string huge(100000, '9');
  const std::string hugeWord(100000, 'L');
  const std::string bodies[] = {
      RandomBytes(rng, 4096),
      "[Cash_Log]\r\n" + RandomBytes(rng, 4096),
      std::string("\xFF\xFE[\0C\0a\0s\0h\0_\0L\0o\0g\0]\0\r\0\n\0", 24),  // UTF-16 with BOM
      "[Cash_Log]\r\nlevel=" + hugeWord + "Log_Level_Debug\r\nformat=" + hugeWord + "\r\n",
      "[Cash_Log]\r\nmax_file_size=" + huge + "\r\nmax_backup_index=-" + huge +
          "\r\nflush_size=" + huge + "\r\n",
      "[Cash_Log]\r\nmax_file_size=0x7fffffff\r\nmax_backup_index=1e9\r\nflush_size= \t-5x\r\n",
      "[Cash_Log\r\nlevel=Log_Level_Debug\r\n",
      "[Cash_Log]\r\nlevel\r\nmode\r\n=\r\n==\r\nformat=%s%n%x%p%1000000d\r\n",
      "[Cash_Log]\r\n[Cash_Log]\r\nlevel=Log_Level_Trace\r\n[Cash_Log]\r\nlevel=junk\r\n",
      std::string(300000, '['),
      "[Cash_Log]\r\nlevel=Log_Level_Debug\r\nformat=" + std::string(63, '%') + "\r\n",
      "",
  };
  int n = 0;
  for (const std::string& body : bodies) {
    ASSERT_NO_FATAL_FAILURE(Check(body, "INI body " + std::to_string(n++)));
  }
}

TEST_F(LogSettingsBadInput, UninstallEntriesOfEveryShape) {
  install_.WriteIni("[Cash_Log]\r\nlevel=Log_Level_Debug\r\n");
  const std::string values[] = {
      "",
      "\"",
      "\"\"\"\"",
      "unins000.exe",
      "C:",
      "\\\\?\\",
      std::string(259, 'a'),
      std::string(260, 'a'),
      "C:\\" + std::string(10000, 'd') + "\\unins000.exe",
      "\"" + install_.dir() + std::string(200, 'p') + "\\unins000.exe\"",
      std::string("C:\\x\0y\\unins000.exe", 20),
  };
  int n = 0;
  for (const std::string& v : values) {
    ASSERT_TRUE(entry_.Set(v)) << n;
    LogConfig config;
    if (logconfig::LogConfigForInstallation(config)) {
      EXPECT_LT(strnlen(config.path, sizeof(config.path)), sizeof(config.path)) << n;
    }
    UseServiceObject();
    ++n;
  }
  // Stored as a number, as bytes, as a list: no installation directory.
  const DWORD number = 12345;
  for (DWORD type : {DWORD(REG_DWORD), DWORD(REG_BINARY), DWORD(REG_MULTI_SZ), DWORD(REG_QWORD)}) {
    ASSERT_TRUE(entry_.Set(std::string(reinterpret_cast<const char*>(&number), sizeof(number)), type));
    LogConfig config;
    EXPECT_FALSE(logconfig::LogConfigForInstallation(config)) << "type " << type;
    UseServiceObject();
  }
}
