// File naming and the file's own roll-over and day change,
// driven directly with chosen times and days.
#include <gtest/gtest.h>

#include <string>

#include "quire/file_naming.h"
#include "quire/local_clock.h"
#include "quire/log_file.h"
#include "quire/settings.h"
#include "quire_test_util.h"

TEST(FileNaming, DayGoesBeforeTheExtensionOfTheLastComponent) {
  char out[MAX_PATH];
  ASSERT_TRUE(quire::DatedFileName("C:\\Shop\\Cashlog\\CashRollback.log", 20261208, out, sizeof(out)));
  EXPECT_STREQ(out, "C:\\Shop\\Cashlog\\CashRollback-2026-12-08.log");
  ASSERT_TRUE(quire::DatedFileName("C:\\v1.2\\trace", 20270101, out, sizeof(out)));
  EXPECT_STREQ(out, "C:\\v1.2\\trace-2027-01-01");
  EXPECT_FALSE(quire::DatedFileName("C:\\a.log", 20270101, out, 10));
  ASSERT_TRUE(quire::BackupFileName("C:\\a.log", 12, out, sizeof(out)));
  EXPECT_STREQ(out, "C:\\a.log.12");
}

TEST(LogFile, DateModeMovesToTheNewDaysFileAtTheFirstLineOfThatDay) {
  quire_test::ScratchDir dir;
  std::string base = dir / "sub\\Day.log";
  quire::LogFile file(base.c_str(), LOG_MODE_DATE);
  file.Open(20261231);
  file.Append("a\r\n", 3, 20261231);
  file.Append("b\r\n", 3, 20270101);
  file.Append("c\r\n", 3, 20270101);
  EXPECT_EQ(quire_test::ReadAll(dir / "sub\\Day-2026-12-31.log"), "a\r\n");
  EXPECT_EQ(quire_test::ReadAll(dir / "sub\\Day-2027-01-01.log"), "b\r\nc\r\n");
}

TEST(LogFile, BatchAcrossTheLimitIsSplitAtLineBoundaries) {
  quire_test::ScratchDir dir;
  std::string base = dir / "r.log";
  quire::LogFile file(base.c_str(), LOG_MODE_ROLLBACK);
  file.SetLimits(10, 3);
  file.Open(0);
  file.Append("1234\r\n5678\r\nab\r\n", 16, 0);  // 6 + 6 + 4 bytes
  file.Append("0123456789abcdef\r\n", 18, 0);   // longer than the limit on its own
  EXPECT_EQ(quire_test::ReadAll(base + ".2"), "1234\r\n");
  EXPECT_EQ(quire_test::ReadAll(base + ".1"), "5678\r\nab\r\n");
  EXPECT_EQ(quire_test::ReadAll(base), "0123456789abcdef\r\n");
}

TEST(LocalClock, AgreesWithTheSystemsLocalTime) {
  auto ticks = [](const SYSTEMTIME& t) {
    FILETIME f;
    SystemTimeToFileTime(&t, &f);
    return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
  };
  for (int i = 0; i < 3; ++i) {
    SYSTEMTIME before, mine, after;
    GetLocalTime(&before);
    quire::LocalNow(&mine);
    GetLocalTime(&after);
    EXPECT_LE(ticks(before), ticks(mine));
    EXPECT_LE(ticks(mine), ticks(after));
  }
}
