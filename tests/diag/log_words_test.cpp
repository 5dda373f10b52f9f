// The value words and numbers of the installation's log settings, as the
// logging library gets them.
#include <gtest/gtest.h>

#include <cstdint>

#include "diag/log_words.h"

namespace {

using namespace logconfig;

TEST(LogConfigWords, LevelIsTheFirstValueWordFoundAnywhereInTheText) {
  struct Case { const char* text; std::int32_t level; };
  const Case cases[] = {
      {"Log_Level_Trace", 1}, {"Log_Level_Debug", 2}, {"Log_Level_Info", 3},
      {"Log_Level_Notice", 4}, {"Log_Level_Warn", 5}, {"Log_Level_Error", 6},
      {"Log_Level_Crit", 7}, {"Log_Level_Fatal", 8},
      {"xx Log_Level_Info yy", 3},
      {"Log_Level_Fatal,Log_Level_Trace", 1},  // table order, not text order
      {"Log_Level_Disable", 9}, {"log_level_debug", 9}, {"LOG_LEVEL_DEBUG", 9}, {"", 9},
  };
  for (const Case& c : cases) EXPECT_EQ(LevelFromText(c.text), c.level) << c.text;
}

TEST(LogConfigWords, ModeDefaultsToRollback) {
  EXPECT_EQ(ModeFromText(""), 2);
  EXPECT_EQ(ModeFromText("Log_Mode_Simple"), 1);
  EXPECT_EQ(ModeFromText("Log_Mode_Rollback"), 2);
  EXPECT_EQ(ModeFromText("Log_Mode_Date"), 3);
  EXPECT_EQ(ModeFromText("log_mode_date"), 2);
}

TEST(LogConfigWords, NumbersAreCappedFromAboveOnly) {
  EXPECT_EQ(NumberFromText("30000000", 20971520), 20971520);
  EXPECT_EQ(NumberFromText("20971520", 20971520), 20971520);
  EXPECT_EQ(NumberFromText("-5", 20971520), -5);
  EXPECT_EQ(NumberFromText("12abc", 20971520), 12);
  EXPECT_EQ(NumberFromText("  +7", 99), 7);
  EXPECT_EQ(NumberFromText("abc", 99), 0);
  EXPECT_EQ(NumberFromText("", 99), 0);
  EXPECT_EQ(NumberFromText("150", 99), 99);
  EXPECT_EQ(NumberFromText("4096", 1024), 1024);
  EXPECT_EQ(NumberFromText("99999999999999999999", 1024), 1024);
}

}  // namespace
